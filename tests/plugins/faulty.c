/* Exports that fault in each of the ways a broken plug-in can: the fault guard must survive them. */
#include <windows.h>

__declspec(dllexport) int faultAccess(void)
{
    volatile int* volatile p = (int*)16;
    return *p;
}

__declspec(dllexport) int faultIllegal(void)
{
    __builtin_trap();
    return 0;
}

__declspec(dllexport) int faultDivide(void)
{
    volatile int zero = 0;
    return 100 / zero;
}

/* Recurses until the stack runs out; the limit only keeps the compiler from calling it endless. */
static int recurse(volatile int depth)
{
    volatile char pad[4096];
    pad[0] = (char)depth;
    if (depth == -1)
        return 0;
    return recurse(depth + 1) + pad[0];
}

__declspec(dllexport) int faultStack(void)
{
    return recurse(0);
}

__declspec(dllexport) int answer(void)
{
    return 42;
}
