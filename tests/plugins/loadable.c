/* A library that loads cleanly; its export tells the tests that the right file was loaded. */
#include <windows.h>

__declspec(dllexport) int loadableMarker(void)
{
    return 4711;
}
