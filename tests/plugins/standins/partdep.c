/* Stand-in for partdep.dll as a newer version would export it: fixtures that link against it
   import two functions that the partdep.dll next to them lacks. */
int __cdecl partdepPresent(void) { return 1; }
int __cdecl partdepAbsent(void) { return 2; }
int __cdecl partdepByOrdinal(void) { return 3; }
