// A plug-in that ends the process that asks for its name, with exit code 7.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xE817u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    ExitProcess(7);
    return "unreachable";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
