// The host application's plug-in interface as the inspector sees it: the six entry points a
// plug-in DLL exports (cdecl, strings are Shift-JIS and owned by the plug-in, valid while it is
// loaded). Plug-ins include this header to export them; the probe uses the pointer types.
#ifndef PLUGIN_API_H
#define PLUGIN_API_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Pointer types used by the probe after GetProcAddress.
typedef void(__cdecl* MQGetPlugInIDProc)(DWORD* firstId, DWORD* secondId);
typedef const char*(__cdecl* MQGetPlugInNameProc)(void);
typedef int(__cdecl* MQGetPlugInTypeProc)(void);
typedef const char*(__cdecl* MQEnumProc)(int index);  // MQEnumString, MQEnumFileType, MQEnumFileExt

// Plug-in types that the inspector knows (1 to 7).
enum {
    PLUGIN_TYPE_IMPORT = 1,
    PLUGIN_TYPE_EXPORT = 2,
    PLUGIN_TYPE_CREATE = 3,
    PLUGIN_TYPE_OBJECT = 4,
    PLUGIN_TYPE_SELECT = 5,
    PLUGIN_TYPE_STATION = 6,
    PLUGIN_TYPE_COMMAND = 7
};

#ifdef PLUGIN_BUILD
// Declarations for a plug-in that exports the entry points by their plain names. A plug-in
// defines only the ones it offers.
#define PLUGIN_EXPORT __declspec(dllexport)
PLUGIN_EXPORT void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId);
PLUGIN_EXPORT const char* __cdecl MQGetPlugInName(void);
PLUGIN_EXPORT int __cdecl MQGetPlugInType(void);
PLUGIN_EXPORT const char* __cdecl MQEnumString(int index);
PLUGIN_EXPORT const char* __cdecl MQEnumFileType(int index);
PLUGIN_EXPORT const char* __cdecl MQEnumFileExt(int index);
#endif

#ifdef __cplusplus
}
#endif

#endif
