// A Command plug-in that answers its ID, name and type, but exports its menu enumeration under
// other cases of letters (the .def beside it gives the exact names).
#include <windows.h>

void __cdecl othercaseId(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xCA5Eu;
    *secondId = 0x0007u;
}

const char* __cdecl othercaseName(void) { return "Other case"; }
int __cdecl othercaseType(void) { return 7; }
const char* __cdecl othercaseEnumString(int index) { return index == 0 ? "Item" : 0; }
