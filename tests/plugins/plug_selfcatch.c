// A Command plug-in that checks a pointer by reading through it and recovers from the access
// violation with a vectored handler of its own, a common defensive habit: it must work in the
// inspector as it does in the host. Under the 32-bit emulator the fault arrives as an illegal
// instruction, which the handler accepts for the same read.
#define PLUGIN_BUILD
#include "../../app/probe/pluginapi.h"

#define BAD_POINTER ((UINT_PTR)0x10)

static volatile int fallback = 7;

static LONG CALLBACK recover(EXCEPTION_POINTERS* info)
{
    DWORD code = info->ExceptionRecord->ExceptionCode;
    CONTEXT* context = info->ContextRecord;
#ifdef _WIN64
    UINT_PTR* pointer = (UINT_PTR*)&context->Rcx;
#else
    UINT_PTR* pointer = (UINT_PTR*)&context->Ecx;
#endif
    if ((code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION) && *pointer == BAD_POINTER) {
        // Retry the read from a valid place.
        *pointer = (UINT_PTR)&fallback;
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Reads *p through the C register, so the handler knows where the address is.
static int readThrough(volatile int* p)
{
    int value;
    __asm__ volatile("movl (%1), %0" : "=r"(value) : "c"(p) : "memory");
    return value;
}

void __cdecl MQGetPlugInID(DWORD* firstId, DWORD* secondId)
{
    *firstId = 0x5AFEu;
    *secondId = 0x0007u;
}

const char* __cdecl MQGetPlugInName(void)
{
    PVOID handler = AddVectoredExceptionHandler(1, recover);
    int value = readThrough((volatile int*)BAD_POINTER);
    RemoveVectoredExceptionHandler(handler);
    return value == 7 ? "自分で回復" : "not recovered";
}

int __cdecl MQGetPlugInType(void) { return PLUGIN_TYPE_COMMAND; }

const char* __cdecl MQEnumString(int index)
{
    static const char* const items[] = {"一番", "二番"};
    return index >= 0 && index < 2 ? items[index] : 0;
}
