// A plug-in whose name is a pointer to nowhere: reading it faults in the probe's own copy.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0BADu;
    *secondId = 0x0004u;
}

const char* __cdecl MQGetPlugInName(void) { return (const char*)(UINT_PTR)0x20; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
