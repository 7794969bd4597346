// A Command plug-in that needs a debug C runtime through its dependency needsdebugcrt.dll.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

__declspec(dllimport) int __cdecl needsDebugRuntime(void);

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xDEB6u;
    *secondId = (DWORD)needsDebugRuntime();
}

const char* __cdecl MQGetPlugInName(void) { return "Debug build"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Debug" : 0; }
