// An Import plug-in with two file types but one extension: MQEnumFileExt ends first.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xFA12u;
    *secondId = 0x0001u;
}

const char* __cdecl MQGetPlugInName(void) { return "Unpaired"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_IMPORT; }
const char* __cdecl MQEnumFileType(int index) { return index == 0 ? "Picture" : index == 1 ? "Text" : 0; }
const char* __cdecl MQEnumFileExt(int index) { return index == 0 ? "*.pic" : 0; }
