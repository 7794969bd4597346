// A Command plug-in that imports, by name and by ordinal, functions that the installed
// partdep.dll does not export. Windows refuses its load ("procedure not found"); Wine loads it
// and binds stubs, so only its tables show the fault. The probe never calls the missing ones.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

__declspec(dllimport) int __cdecl partdepPresent(void);
__declspec(dllimport) int __cdecl partdepAbsent(void);
__declspec(dllimport) int __cdecl partdepByOrdinal(void);

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0000f00du + (DWORD)partdepPresent() - 1;
    *secondId = 3;
}

const char* __cdecl MQGetPlugInName(void) { return "関数不足"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return 0; }

// Never called by the probe: it only makes the plug-in import the two missing functions.
__declspec(dllexport) int __cdecl missingfnUsesAbsent(void) { return partdepAbsent() + partdepByOrdinal(); }
