// A Command plug-in whose entry points were declared __stdcall and are exported under their plain
// names (the build strips the decoration, as --kill-at or a .def does): in a 32-bit build each
// one with arguments removes them from the stack itself, and a host that calls it as cdecl
// removes them again.
#include <windows.h>

__declspec(dllexport) void __stdcall MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x57DCu;
    *secondId = 0x0007u;
}

__declspec(dllexport) const char* __stdcall MQGetPlugInName(void) { return "Stdcall"; }
__declspec(dllexport) int __stdcall MQGetPlugInType(void) { return 7; }

__declspec(dllexport) const char* __stdcall MQEnumString(int index)
{
    return index == 0 ? "One" : index == 1 ? "Two" : 0;
}
