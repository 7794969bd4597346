// A plug-in with identifiers and a name but no MQGetPlugInType.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x33333333u;
    *secondId = 0x44444444u;
}

const char* __cdecl MQGetPlugInName(void) { return "型なし"; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "unreached" : 0; }
