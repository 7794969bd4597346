// A Select plug-in that exports its entry points only under names with a leading underscore.
#include <windows.h>

#define UNDERSCORE_EXPORT __declspec(dllexport)

UNDERSCORE_EXPORT void __cdecl _MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x0000ABCDu;
    *secondId = 0x00000005u;
}

UNDERSCORE_EXPORT const char* __cdecl _MQGetPlugInName(void) { return "Underscore"; }
UNDERSCORE_EXPORT int __cdecl _MQGetPlugInType(void) { return 5; }

UNDERSCORE_EXPORT const char* __cdecl _MQEnumString(int index)
{
    return index == 0 ? "選択" : index == 1 ? "Select all" : 0;
}
