/* Stand-in for an API set: the system resolves such names itself, so an import of one is never
   a missing library, even where no file of that name exists. */
__declspec(dllexport) int __cdecl rptestApiSet(void) { return 1; }
