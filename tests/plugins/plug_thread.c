// A Command plug-in that starts a timer thread when it is loaded and never stops it. The thread
// waits a second in the plug-in's own code (four under the 32-bit runner's emulator, which runs
// the probe several times slower), so it returns into unmapped code after the release and faults
// in whatever the worker does next. The first question waits until the thread runs (it cannot
// start while the loader is busy with this library).
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

static HANDLE running;

static DWORD WINAPI tick(LPVOID unused)
{
    char emulator[16];
    (void)unused;
    SetEvent(running);
    Sleep(GetEnvironmentVariableA("RP_EMULATOR", emulator, sizeof emulator) ? 4000 : 1000);
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        running = CreateEventW(NULL, TRUE, FALSE, NULL);
        HANDLE thread = CreateThread(NULL, 0, tick, NULL, 0, NULL);
        if (thread)
            CloseHandle(thread);
    }
    return TRUE;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    WaitForSingleObject(running, 5000);
    *firstId = 0x7E1Au;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Timer"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Tick" : 0; }
