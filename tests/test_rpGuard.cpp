// The fault guard: faults in foreign code end the guarded call, not the process.
#include "rpGuard.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using testsupport::reportedFaultCode;

namespace {

typedef int (*IntEntry)();

// GetProcAddress gives a generic entry; going through void(*)() states that the cast is meant.
IntEntry entryOf(HMODULE library, const char* name)
{
    return reinterpret_cast<IntEntry>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

struct Call {
    IntEntry entry;
    int result;
};

void callEntry(void* context)
{
    Call* call = static_cast<Call*>(context);
    call->result = call->entry();
}

// The unhandled-exception filter and the thread procedure are stdcall on 32 bits, which a
// lambda cannot be.
volatile LONG unhandledSeen;

LONG WINAPI endThreadOnUnhandled(EXCEPTION_POINTERS*)
{
    InterlockedExchange(&unhandledSeen, 1);
    ExitThread(7);
}

DWORD WINAPI callEntryOnThread(LPVOID entry)
{
    return static_cast<DWORD>(reinterpret_cast<IntEntry>(entry)());
}

class GuardTest : public testing::Test {
protected:
    void SetUp() override
    {
        library = LoadLibraryA(testsupport::fixturePath("faulty.dll").c_str());
        ASSERT_NE(library, nullptr);
    }
    void TearDown() override
    {
        if (library)
            FreeLibrary(library);
    }
    DWORD run(const char* name, int* result = nullptr)
    {
        Call call{entryOf(library, name), -1};
        EXPECT_NE(call.entry, nullptr) << name;
        DWORD code = rpGuardedCall(callEntry, &call);
        if (result)
            *result = call.result;
        return code;
    }
    HMODULE library = nullptr;
};

}  // namespace

TEST_F(GuardTest, NormalCallReturnsZeroAndItsResult)
{
    int result = 0;
    EXPECT_EQ(run("answer", &result), 0u);
    EXPECT_EQ(result, 42);
}

// Under the 32-bit runner's emulator some faults arrive with another code (reportedFaultCode);
// they must still end only the call.
TEST_F(GuardTest, EachKindOfFaultEndsOnlyTheCall)
{
    int result = 0;
    EXPECT_EQ(run("faultAccess", &result), reportedFaultCode(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(run("faultIllegal"), (DWORD)EXCEPTION_ILLEGAL_INSTRUCTION);
    EXPECT_EQ(run("faultDivide"), reportedFaultCode(EXCEPTION_INT_DIVIDE_BY_ZERO));
    // After every fault the next guarded call works normally.
    EXPECT_EQ(run("answer", &result), 0u);
    EXPECT_EQ(result, 42);
}

TEST_F(GuardTest, StackOverflowIsSurvivedTwice)
{
    // The second overflow proves the stack's guard page was restored after the first. Under the
    // emulator the overflow arrives as an illegal instruction (reportedFaultCode), so there it
    // shows only that the call ends and the thread lives on.
    DWORD overflow = reportedFaultCode(EXCEPTION_STACK_OVERFLOW);
    EXPECT_EQ(run("faultStack"), overflow);
    EXPECT_EQ(run("faultStack"), overflow);
    int result = 0;
    EXPECT_EQ(run("answer", &result), 0u);
    EXPECT_EQ(result, 42);
}

#ifndef _WIN64
// The head of the thread's chain of exception-handler frames (32-bit only).
void* handlerChain()
{
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

TEST_F(GuardTest, AFaultLeavesTheThreadsHandlerChainAsBeforeTheCall)
{
    // 32-bit code keeps its exception-handler frames on the stack, chained from the thread's
    // information block. A fault abandons the plug-in's frames; left on the chain, the next
    // exception of the thread would be dispatched into dead stack.
    void* before = handlerChain();
    EXPECT_EQ(run("faultInHandlerFrame"), reportedFaultCode(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(handlerChain(), before);
    int result = 0;
    EXPECT_EQ(run("answer", &result), 0u);
    EXPECT_EQ(result, 42);
}
#endif

TEST_F(GuardTest, FaultsOutsideAGuardedCallAreNotSwallowed)
{
    // Arm the handler with one guarded call, then fault outside any: the fault must reach the
    // ordinary handlers (here the unhandled-exception filter, which ends the "probe" thread).
    EXPECT_EQ(run("answer"), 0u);
    IntEntry access = entryOf(library, "faultAccess");
    unhandledSeen = 0;
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(endThreadOnUnhandled);
    HANDLE thread = CreateThread(nullptr, 0, callEntryOnThread, reinterpret_cast<LPVOID>(access), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    SetUnhandledExceptionFilter(previous);
    EXPECT_EQ(unhandledSeen, 1);
    EXPECT_EQ(exitCode, 7u);
}

TEST(GuardFaultCodes, OnlyHardwareFaultsAreGuarded)
{
    EXPECT_TRUE(rpIsGuardedFault(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_TRUE(rpIsGuardedFault(EXCEPTION_STACK_OVERFLOW));
    EXPECT_FALSE(rpIsGuardedFault(EXCEPTION_BREAKPOINT));
    EXPECT_FALSE(rpIsGuardedFault(0xE06D7363));  // a C++ exception of another compiler
    EXPECT_FALSE(rpIsGuardedFault(DBG_PRINTEXCEPTION_C));
}
