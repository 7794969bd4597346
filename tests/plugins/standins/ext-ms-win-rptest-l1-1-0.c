/* Stand-in for an extension API set: like api-ms-win-*, never a missing library. */
__declspec(dllexport) int __cdecl rptestExtSet(void) { return 1; }
