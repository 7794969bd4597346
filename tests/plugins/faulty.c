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

#if defined(__i386__)
static EXCEPTION_DISPOSITION __cdecl passOn(struct _EXCEPTION_RECORD* record, void* frame, struct _CONTEXT* context,
                                             void* dispatcher)
{
    (void)record; (void)frame; (void)context; (void)dispatcher;
    return ExceptionContinueSearch;
}
#endif

/* Faults while a handler frame of its own is on the thread's chain, as 32-bit code built with
   frame-based exception handling does: the frame lies on the stack that the fault abandons. On
   64 bits, where handlers are found through tables, it is a plain access violation. */
__declspec(dllexport) int faultInHandlerFrame(void)
{
#if defined(__i386__)
    struct {
        void* next;
        void* handler;
    } frame;
    void* head = &frame;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(frame.next));
    frame.handler = (void*)passOn;
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
    int value = faultAccess();
    __asm__ volatile("movl %0, %%fs:0" : : "r"(frame.next) : "memory");
    return value;
#else
    return faultAccess();
#endif
}

__declspec(dllexport) int answer(void)
{
    return 42;
}
