// A Station plug-in whose menu enumeration never ends; it counts how often it was asked.
#define PLUGIN_BUILD
#include <stdio.h>
#include "../../app/probe/pluginapi.h"

static int highestIndex = -1;

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0E0E0E0Eu;
    *secondId = 0x00000006u;
}

const char* __cdecl MQGetPlugInName(void) { return "Endless"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_STATION; }

const char* __cdecl MQEnumString(int index)
{
    static char text[32];
    if (index > highestIndex)
        highestIndex = index;
    snprintf(text, sizeof text, "item %d", index);
    return text;
}

// For the tests (which keep the library loaded across the probe): the highest index asked for.
__declspec(dllexport) int __cdecl PlugHighestIndex(void) { return highestIndex; }
