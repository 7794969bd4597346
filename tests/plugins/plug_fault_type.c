// A plug-in whose type entry point divides by zero.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0BADu;
    *secondId = 0x0002u;
}

const char* __cdecl MQGetPlugInName(void) { return "割り算"; }

int __cdecl MQGetPlugInType(void)
{
    volatile int zero = 0;
    return PLUGIN_TYPE_COMMAND / zero;
}
