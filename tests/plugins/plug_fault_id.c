// A plug-in whose identifier entry point writes through a bad pointer (access violation).
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    volatile DWORD* volatile nowhere = (DWORD*)(UINT_PTR)0x10;
    *nowhere = 1;
    *firstId = 1;
    *secondId = 2;
}

const char* __cdecl MQGetPlugInName(void) { return "never asked"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
