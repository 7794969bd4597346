/* The installed version of a dependency: it exports only the first of the functions that
   plug_missingfn.dll imports from it. */
__declspec(dllexport) int __cdecl partdepPresent(void) { return 1; }
