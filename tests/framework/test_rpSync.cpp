// Synchronisation objects: waits with time-out on real kernel objects, the critical-section
// mutex, lock counting and the report of an unbalanced count.
#include "rpSync.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using testsupport::clearDbout;
using testsupport::dboutLog;

namespace {
std::string hex(const void* p)
{
    char text[32];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

// A thread that takes the mutex once and records that it got in. A named stdcall function: on
// 32 bits a lambda does not convert to a thread procedure.
struct LockingThread {
    rpThreadMutex* mutex;  // not owned
    volatile LONG entered;
};

DWORD WINAPI lockOnThread(LPVOID p)
{
    auto* s = static_cast<LockingThread*>(p);
    s->mutex->lock();
    InterlockedExchange(&s->entered, 1);
    s->mutex->unlock();
    return 0;
}
}  // namespace

TEST(SyncObjectTest, WaitsOnAKernelHandleWithTimeOut)
{
    rpSyncObject sync;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    sync.handle(event);
    EXPECT_EQ(sync(), event);

    clearDbout();
    EXPECT_EQ(sync.lock(0), WAIT_TIMEOUT);
    EXPECT_EQ(sync.lastError, 258);
    EXPECT_EQ(sync.lockCount, 0);
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0].rfind("<<rpSync::wait ", 0), 0u) << dboutLog()[0];

    SetEvent(event);
    EXPECT_EQ(sync.lock(0), 0);
    EXPECT_EQ(sync.lastError, 0);
    EXPECT_EQ(sync.lockCount, 1);
    sync.lockCount = 0;

    // The object owns its handle: close() releases it.
    EXPECT_EQ(sync.close(), 0);
    EXPECT_EQ(sync.handle(), nullptr);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(event, &flags));
}

TEST(SyncObjectTest, FailedWaitGivesTheSystemCode)
{
    rpSyncObject sync;
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(event);
    sync.handle(event);
    EXPECT_EQ(sync.lock(0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(sync.lockCount, 0);
    sync.handle(nullptr);
}

TEST(SyncObjectTest, NamesAreCutOnWholeCharacters)
{
    rpSyncObject sync;
    EXPECT_EQ(sync.name(), nullptr);

    std::string ascii(400, 'a');
    sync.name(ascii.c_str());
    EXPECT_EQ(std::string(sync.name()), std::string(299, 'a'));

    std::string kanji;
    for (int i = 0; i < 200; ++i)
        kanji += "\x95\x5C";
    sync.name(kanji.c_str());
    EXPECT_EQ(std::string(sync.name()), kanji.substr(0, 298));

    sync.name(nullptr);
    EXPECT_EQ(sync.name(), nullptr);

    rpSyncObject named("event1");
    EXPECT_STREQ(named.name(), "event1");
}

TEST(SyncObjectTest, OwnedSecurityAttributesAreReplaced)
{
    rpSyncObject sync;
    auto* first = new SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    auto* second = new SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    sync.security(first, true);
    sync.security(first, true);  // the same block again is kept, not freed
    EXPECT_EQ(sync.secAttr, first);
    sync.security(second, true);
    EXPECT_EQ(sync.secAttr, second);
    EXPECT_TRUE(sync.ownsSecurity);
    SECURITY_ATTRIBUTES borrowed{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    sync.security(&borrowed, false);
    EXPECT_FALSE(sync.ownsSecurity);
}

TEST(ThreadMutexTest, CreateOnceAndCountNestedLocks)
{
    clearDbout();
    {
        rpThreadMutex mutex;
        EXPECT_FALSE(mutex.csReady);
        EXPECT_EQ(mutex.close(), 0);
        EXPECT_EQ(mutex.create(), 0);
        EXPECT_TRUE(mutex.csReady);
        mutex.lock();
        EXPECT_EQ(mutex.create(), 0);  // a second initialisation would lose the held lock
        mutex.lock();
        EXPECT_EQ(mutex.lockCount, 2);
        EXPECT_EQ(mutex.unlock(), 0);
        EXPECT_EQ(mutex.unlock(), 0);
        EXPECT_EQ(mutex.lockCount, 0);
        EXPECT_EQ(mutex(), static_cast<HANDLE>(&mutex.cs));
    }
    std::vector<std::string> expected = {"rpSyncObject 0\n", "rpThreadMutex \n", "rpThreadMutex close 0\n",
                                         "~rpThreadMutex 0\n", "rpThreadMutex close 0\n"};
    EXPECT_EQ(dboutLog(), expected);
}

TEST(ThreadMutexTest, UnmatchedLockIsReportedAtDestruction)
{
    auto* mutex = new rpThreadMutex;
    mutex->create();
    mutex->lock();
    std::string address = hex(mutex);
    clearDbout();
    delete mutex;
    std::vector<std::string> expected = {"~rpThreadMutex 1\n", "rpThreadMutex close 1\n",
                                         "<<unmach lockCount 1 " + address + " (rpSync)>>\n"};
    EXPECT_EQ(dboutLog(), expected);
}

TEST(ThreadMutexTest, ExcludesOtherThreadsUntilUnlocked)
{
    rpThreadMutex mutex;
    mutex.create();
    mutex.lock();

    LockingThread shared{&mutex, 0};
    HANDLE thread = CreateThread(nullptr, 0, lockOnThread, &shared, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(shared.entered, 0);
    mutex.unlock();
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.entered, 1);
    EXPECT_EQ(mutex.lockCount, 0);
    CloseHandle(thread);
}

TEST(ThreadMutexTest, UnusableBeforeCreate)
{
    rpThreadMutex mutex;
    mutex.lock();
    EXPECT_EQ(mutex.lockCount, 0);
    EXPECT_EQ(mutex.unlock(), -1);
    EXPECT_EQ(mutex.open(), 0);
    EXPECT_TRUE(mutex.csReady);
}
