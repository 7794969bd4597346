// A Command plug-in that names the process that asks for its name ("worker 1234"): two files
// with the same answer were probed by the same worker.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

#include <stdio.h>

static char name[32];

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0A11u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    snprintf(name, sizeof name, "worker %lu", (unsigned long)GetCurrentProcessId());
    return name;
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
