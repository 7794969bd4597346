// A Command plug-in whose name question takes 300 ms.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x5107u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    Sleep(300);
    return "Slow name";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Wait" : 0; }
