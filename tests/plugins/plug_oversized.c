// A Command plug-in whose texts exceed every fixed buffer of the inspector: a name of about 600
// bytes (two ASCII bytes, then double-byte characters, so a cut at 299 bytes would split one),
// and 99 menu strings of 409 bytes each, together far beyond the 10,000-byte string pool.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

static char name[601];
static char item[411];

static void fill(char* text, int bytes, const char* prefix)
{
    // The ASCII prefix, then "漢" (two bytes) repeated.
    const char* kanji = "漢";
    int i = 0;
    while (*prefix)
        text[i++] = *prefix++;
    while (i + 2 <= bytes) {
        text[i++] = kanji[0];
        text[i++] = kanji[1];
    }
    text[i] = 0;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xB16B16B1u;
    *secondId = 0x00000007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    fill(name, 600, "ab");
    return name;
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    char prefix[4] = {'a', (char)('A' + index % 26), 'x', 0};  // each string differs
    fill(item, 410, prefix);
    return item;
}
