// A Command plug-in that shows a window and pumps messages for a second and a half while it is
// asked for its name, as plug-ins with a splash or a progress window do.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x9040u;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    HWND splash = CreateWindowExA(0, "Static", "pump", WS_POPUP | WS_VISIBLE, 0, 0, 60, 20, NULL, NULL, NULL, NULL);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    DestroyWindow(splash);
    return "ポンプ";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index) { return index == 0 ? "待った" : 0; }
