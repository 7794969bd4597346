/* Stand-in for a library that is never installed: fixtures link against it, but it is built
   apart from them, so their import of it is missing when they are loaded. */
__declspec(dllexport) int __cdecl goneFunction(void) { return 1; }
