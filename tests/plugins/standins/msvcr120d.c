/* Stand-in for a debug C runtime, which only machines with the compiler have: built apart from
   the fixtures, so their import of it is missing when they are loaded. */
__declspec(dllexport) int __cdecl debugRuntimeFunction(void) { return 1; }
