// A Command plug-in that starts a thread when asked for its IDs and never ends it: the thread
// waits for ever in the system's code, so it outlives the plug-in's release without running
// into the unmapped code (which plug_thread does). The question returns once the thread waits:
// it signals and starts waiting in one call, so that no instruction of the plug-in is left to
// run after the question returned and the plug-in was released.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

static HANDLE never;  // an event nobody sets

static DWORD WINAPI sleepForEver(LPVOID running)
{
    SignalObjectAndWait((HANDLE)running, never, INFINITE, FALSE);
    return 0;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    HANDLE running = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (!never)
        never = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, sleepForEver, running, 0, NULL);
    if (thread) {
        WaitForSingleObject(running, 10000);
        CloseHandle(thread);
    }
    if (running)
        CloseHandle(running);
    *firstId = 0x5EE9u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Sleeper"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Zzz" : 0; }
