// A Command plug-in whose name question sets the process's error mode to the system's default
// (critical-error boxes on) and leaves it so.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xE40Du;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    SetErrorMode(0);
    return "Error mode";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Boxes" : 0; }
