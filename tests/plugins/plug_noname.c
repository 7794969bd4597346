// A plug-in with identifiers and a type but no MQGetPlugInName.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x11111111u;
    *secondId = 0x22222222u;
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
