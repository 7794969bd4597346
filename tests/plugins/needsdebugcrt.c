/* A dependency built in a debug configuration: it imports a debug C runtime, which machines
   without the compiler lack. */
__declspec(dllimport) int __cdecl debugRuntimeFunction(void);

__declspec(dllexport) int __cdecl needsDebugRuntime(void) { return debugRuntimeFunction(); }
