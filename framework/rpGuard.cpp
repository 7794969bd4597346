// Fault guard for calls into foreign code: a vectored exception handler that, while a guarded call
// is in progress on the same thread, resumes execution at the point where the call began.
#include "rpGuard.h"

#include <malloc.h>

namespace {

// State of the one guarded call in progress. Volatile: the handler writes these while the
// compiler believes the guarded function is still running.
volatile DWORD guardThread;         // thread of the guarded call, 0 when none
volatile DWORD faultCode;           // code of the fault that ended it
CONTEXT resumeContext;              // registers at the start of the guarded call
PVOID handlerHandle;                // the installed vectored handler (never removed)

#ifndef _WIN64
// 32-bit code chains its exception-handler frames on the stack, from the head in the thread's
// information block. The frames of a faulting call die with it, so the head it had at the start
// is put back; left pointing into dead stack, it would take the thread's next exception there.
void* resumeHandlerChain;           // head of the chain at the start of the guarded call

void* handlerChain()
{
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void setHandlerChain(void* head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

LONG CALLBACK faultHandler(EXCEPTION_POINTERS* info)
{
    if (guardThread == 0 || guardThread != GetCurrentThreadId())
        return EXCEPTION_CONTINUE_SEARCH;
    DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!rpIsGuardedFault(code))
        return EXCEPTION_CONTINUE_SEARCH;
    faultCode = code;
    guardThread = 0;
    // Resume as if the capture in rpGuardedCall had just returned a second time.
    *info->ContextRecord = resumeContext;
#ifndef _WIN64
    setHandlerChain(resumeHandlerChain);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Records in c the registers with which execution resumes right after the call that made the
// record. On x64 RtlCaptureContext does just that. On i386 it describes its caller's frame through
// EBP, as if the caller had just returned; so there it is called from a function with a frame
// pointer that only makes that call, and the record resumes where that function returns.
#ifdef _WIN64
#define CAPTURE_RESUME_POINT(c) RtlCaptureContext(c)
#else
#define CAPTURE_RESUME_POINT(c) captureReturn(c)
__attribute__((noipa, optimize("no-omit-frame-pointer"))) void captureReturn(CONTEXT* c)
{
    RtlCaptureContext(c);
}
#endif

}  // namespace

bool rpIsGuardedFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_STACK_OVERFLOW:
        return true;
    default:
        return false;
    }
}

// Kept out of line so that its frame, which the resume context points into, stays intact.
__attribute__((noinline)) DWORD rpGuardedCall(void (*fn)(void* context), void* context)
{
    if (!handlerHandle)
        handlerHandle = AddVectoredExceptionHandler(1, faultHandler);

    volatile bool resumed = false;
    faultCode = 0;
    CAPTURE_RESUME_POINT(&resumeContext);
    asm volatile("" ::: "memory");
    if (!resumed) {
        resumed = true;
#ifndef _WIN64
        resumeHandlerChain = handlerChain();
#endif
        guardThread = GetCurrentThreadId();
        fn(context);
        guardThread = 0;
        return 0;
    }
    // Back here from the handler: the guarded call faulted.
    DWORD code = faultCode;
    if (code == EXCEPTION_STACK_OVERFLOW)
        _resetstkoflw();  // restore the guard page that the overflow used up
    return code;
}
