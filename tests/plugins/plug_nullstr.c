// An Import plug-in that answers null where a text is expected: no name, and an extension that
// is null while its file type is not.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x00000000u;
    *secondId = 0x00000001u;
}

const char* __cdecl MQGetPlugInName(void) { return 0; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_IMPORT; }
const char* __cdecl MQEnumFileType(int index) { return index == 0 ? "無名形式" : index == 1 ? "Second" : 0; }
const char* __cdecl MQEnumFileExt(int index) { return index == 1 ? "*.two" : 0; }
