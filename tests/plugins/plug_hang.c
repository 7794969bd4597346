// A plug-in whose name entry point never returns.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x4A96u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    for (;;)
        Sleep(1000);
    return "unreachable";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
