// An Import plug-in whose name, file type and extensions hold control characters (a line
// break, a carriage return, a tab, 0x01) next to Japanese text: none of them may break a list
// line, and the JSON keeps them.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0C0C0C0Cu;
    *secondId = 0x00000001u;
}

const char* __cdecl MQGetPlugInName(void) { return "名前\n二行目"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_IMPORT; }

const char* __cdecl MQEnumFileType(int index) { return index == 0 ? "画像\r\n偽の行\t" : 0; }
const char* __cdecl MQEnumFileExt(int index) { return index == 0 ? "*.a\x01;*.b" : 0; }
