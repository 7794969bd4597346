// Sample Import plug-in: reads table files, shown by the run script.
#define PLUGIN_BUILD
#include "../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x52503031u;
    *secondId = 0x00020001u;
}

const char* __cdecl MQGetPlugInName(void) { return "表形式ファイル読み込み"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_IMPORT; }

const char* __cdecl MQEnumFileType(int index)
{
    static const char* const types[] = {"CSV ファイル", "タブ区切りテキスト"};
    return index >= 0 && index < 2 ? types[index] : 0;
}

const char* __cdecl MQEnumFileExt(int index)
{
    static const char* const exts[] = {"*.csv", "*.tsv;*.txt"};
    return index >= 0 && index < 2 ? exts[index] : 0;
}
