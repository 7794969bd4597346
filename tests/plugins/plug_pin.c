// A Command plug-in that pins itself when it is loaded: the release leaves it loaded, and its
// file in use, for as long as its process lives.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE self = NULL;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCWSTR)instance, &self);
    }
    return TRUE;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0919u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void) { return "Pinned"; }
int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }
const char* __cdecl MQEnumString(int index) { return index == 0 ? "Stay" : 0; }
