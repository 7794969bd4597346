// Sample Command plug-in: a few text commands, shown by the run script.
#define PLUGIN_BUILD
#include "../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x52503031u;
    *secondId = 0x00010001u;
}

const char* __cdecl MQGetPlugInName(void) { return "テキスト整形ツール 1.0"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    static const char* const commands[] = {
        "文字数を数える",
        "全角英数を半角に変換",
        "行を並べ替える",
        "空白行を削除する",
    };
    return index >= 0 && index < (int)(sizeof commands / sizeof commands[0]) ? commands[index] : 0;
}
