// A Command plug-in that shows a message box with a known title when it is asked for its name,
// and waits for an answer that never comes.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0B0Cu;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    MessageBoxA(NULL, "設定ファイルが見つかりません。作成しますか?", "プラグインの質問", MB_YESNO);
    return "Asked";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
