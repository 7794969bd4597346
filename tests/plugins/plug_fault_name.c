// A plug-in whose name entry point executes an illegal instruction.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0BADu;
    *secondId = 0x0001u;
}

const char* __cdecl MQGetPlugInName(void)
{
    __builtin_trap();
    return "unreachable";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
