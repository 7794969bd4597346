// A plug-in whose own dependency (needsgone.dll) is present, but imports a library that is not.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

__declspec(dllimport) int __cdecl needsGone(void);

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = (DWORD)needsGone();
    *secondId = 2;
}
