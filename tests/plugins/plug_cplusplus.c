// A Command plug-in whose MQGetPlugInName was declared without extern "C": it is exported only
// under C++ names, GCC's and MSVC's (the .def beside it gives the exact names).
#include <windows.h>

void __cdecl cplusplusId(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0xC0DEu;
    *secondId = 0x0007u;
}

const char* __cdecl cplusplusName(void) { return "C++"; }
int __cdecl cplusplusType(void) { return 7; }
