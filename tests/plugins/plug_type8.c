// A plug-in that reports the type 8, which the inspector does not know.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x00000008u;
    *secondId = 0xFFFFFFFFu;
}

const char* __cdecl MQGetPlugInName(void) { return "Type 8"; }
int __cdecl MQGetPlugInType(void) { return 8; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "unreached" : 0; }
const char* __cdecl MQEnumFileType(int index) { return index == 0 ? "unreached" : 0; }
const char* __cdecl MQEnumFileExt(int index) { return index == 0 ? "unreached" : 0; }
