// A library whose initialisation faults (access violation inside DllMain).
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    volatile int* volatile nowhere = (int*)(UINT_PTR)0x10;
    if (reason == DLL_PROCESS_ATTACH)
        *nowhere = 1;
    return TRUE;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 1;
    *secondId = 1;
}
