// A Command plug-in whose second ID is its process's id: each load in another process answers
// differently.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x5EEDu;
    *secondId = GetCurrentProcessId();
}

const char* __cdecl MQGetPlugInName(void) { return "Unstable"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Roll" : 0; }
