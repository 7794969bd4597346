/* A dependency that is present but itself imports a library that is missing. */
__declspec(dllimport) int __cdecl goneFunction(void);

__declspec(dllexport) int __cdecl needsGone(void) { return goneFunction(); }
