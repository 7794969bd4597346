// A Command plug-in that changes the process's current directory (to the Windows folder) and
// leaves it changed.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xCD00u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    char windows[MAX_PATH];
    if (GetWindowsDirectoryA(windows, MAX_PATH))
        SetCurrentDirectoryA(windows);
    return "Chdir";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Move" : 0; }
