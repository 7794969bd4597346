// A Command plug-in that gives 99 menu strings, each after a third of a second: a new line
// comes often, and the whole takes half a minute.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0700u;
    *secondId = 0x0006u;
}

const char* __cdecl MQGetPlugInName(void) { return "Slow"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    Sleep(300);
    return index < 99 ? "item" : 0;
}
