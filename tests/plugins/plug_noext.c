// An Export plug-in that lists file types but has no MQEnumFileExt.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x77777777u;
    *secondId = 0x00000002u;
}

const char* __cdecl MQGetPlugInName(void) { return "No extensions"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_EXPORT; }
const char* __cdecl MQEnumFileType(int index) { return index == 0 ? "unreached" : 0; }
