// A plug-in that calls the C runtime's abort() when asked for its type: the runtime would
// report it in a message box in a GUI process, unless that process has said otherwise.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

#include <stdlib.h>

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xAB087u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Abort"; }

int __cdecl MQGetPlugInType(void)
{
    abort();
    return PLUGIN_TYPE_COMMAND;
}
