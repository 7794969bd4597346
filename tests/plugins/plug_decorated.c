// A Command plug-in whose entry points carry the decorations of __stdcall functions exported
// without a .def file: the probe finds none of them by its plain name. The .def beside it gives
// the exact names (the functions themselves are cdecl).
#include <windows.h>

void __cdecl decoratedId(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xDEC0u;
    *secondId = 0x0007u;
}

const char* __cdecl decoratedName(void) { return "Decorated"; }
int __cdecl decoratedType(void) { return 7; }
const char* __cdecl decoratedEnumString(int index) { return index == 0 ? "Item" : 0; }
