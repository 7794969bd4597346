// A plug-in that imports a library that is not installed, and two API sets (which the system
// resolves itself). Its load fails with "module not found".
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

__declspec(dllimport) int __cdecl goneFunction(void);
__declspec(dllimport) int __cdecl rptestApiSet(void);
__declspec(dllimport) int __cdecl rptestExtSet(void);

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = (DWORD)goneFunction() + (DWORD)rptestApiSet() + (DWORD)rptestExtSet();
    *secondId = 1;
}
