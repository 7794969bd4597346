// rpGuardedCall: runs code that the process does not control (a plug-in's entry point) so that a
// hardware fault in it (access violation, illegal instruction, division by zero, stack overflow)
// ends that call instead of the whole process. Only faults raised on the calling thread while a
// guarded call is in progress are caught; everything else takes its usual course.
#ifndef RP_GUARD_H
#define RP_GUARD_H

#include <windows.h>

// Calls fn(context). Returns 0 when fn returned normally, otherwise the code of the fault that
// ended it (for example 0xC0000005). Frames between this call and the fault are abandoned
// without running their destructors, so fn must hold no resources of its own across the call
// into foreign code. Guarded calls do not nest.
DWORD rpGuardedCall(void (*fn)(void* context), void* context);

// True for the exception codes that rpGuardedCall treats as a fault of the called code.
bool rpIsGuardedFault(DWORD code);

#endif
