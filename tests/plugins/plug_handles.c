// A Command plug-in that opens 40 events when asked for its IDs and never closes them.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    int i;
    for (i = 0; i < 40; ++i)
        CreateEventW(NULL, TRUE, FALSE, NULL);
    *firstId = 0x4A4Du;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Handles"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Open" : 0; }
