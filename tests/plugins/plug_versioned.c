// A Command plug-in with a version resource (plug_versioned.rc): a file version and a company.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0000BE45u;
    *secondId = 0x00000007u;
}

const char* __cdecl MQGetPlugInName(void) { return "版付き"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "一つ" : 0; }
