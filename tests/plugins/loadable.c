/* A library that loads cleanly; its export tells the tests that the right file was loaded, and
   the thread's error mode during its initialisation tells them what the loader was allowed to
   show. */
#include <windows.h>

static DWORD errorModeAtLoad;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        errorModeAtLoad = GetThreadErrorMode();
    return TRUE;
}

__declspec(dllexport) int loadableMarker(void)
{
    return 4711;
}

__declspec(dllexport) DWORD loadableErrorModeAtLoad(void)
{
    return errorModeAtLoad;
}
