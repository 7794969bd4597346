// A library whose initialisation fails: the loader refuses it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}

__declspec(dllexport) void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 1;
    *secondId = 1;
}
