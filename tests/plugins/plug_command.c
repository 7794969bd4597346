// A Command plug-in with three menu strings. Also built by the 32-bit preset, where it serves
// as the plug-in of the other bitness.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x12AB34CDu;
    *secondId = 0x00000007u;
}

const char* __cdecl MQGetPlugInName(void) { return "テストコマンド"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    static const char* const items[] = {"表示(&V)", "Second item", "三番目"};
    return index >= 0 && index < 3 ? items[index] : 0;
}

// Present so that a probe that asked the wrong enumeration would show it.
const char* __cdecl MQEnumFileType(int index) { return "must not be asked"; }
const char* __cdecl MQEnumFileExt(int index) { return "bad"; }
