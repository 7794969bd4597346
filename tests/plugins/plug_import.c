// An Import plug-in with two file types and their extensions.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xFEDCBA98u;
    *secondId = 0x00000001u;
}

const char* __cdecl MQGetPlugInName(void) { return "画像読み込み"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_IMPORT; }

const char* __cdecl MQEnumFileType(int index)
{
    static const char* const types[] = {"ビットマップ画像", "Text file"};
    return index >= 0 && index < 2 ? types[index] : 0;
}

const char* __cdecl MQEnumFileExt(int index)
{
    static const char* const exts[] = {"*.bmp;*.dib", "*.txt"};
    return index >= 0 && index < 2 ? exts[index] : 0;
}

// Present so that a probe that asked the wrong enumeration would show it.
const char* __cdecl MQEnumString(int index) { return "must not be asked"; }
