// A Command plug-in whose one menu string is 9,990 bytes long: it fits the 10,000-byte string
// pool, but not a formatted line of the same size with markup around it.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

static char item[9991];

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x10C510C5u;
    *secondId = 0x00000007u;
}

const char* __cdecl MQGetPlugInName(void) { return "長い項目"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    if (index != 0)
        return 0;
    // "x", then "漢" (two bytes) repeated, then "!" last, so a cut anywhere shows.
    const char* kanji = "漢";
    int i = 0;
    item[i++] = 'x';
    while (i + 2 < 9990) {
        item[i++] = kanji[0];
        item[i++] = kanji[1];
    }
    item[i++] = '!';
    item[i] = 0;
    return item;
}
