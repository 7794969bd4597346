// Synchronisation objects and the process's critical-section mutex.
#include "rpSync.h"

#include "rpStrings.h"

#include <cstdint>

namespace {
// The address formats print 32 bits, as the diagnostics always have.
unsigned addressBits(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}
}  // namespace

rpSyncObject::rpSyncObject(const char* name_) : rpObject("rpSync"), hObject(nullptr), namePtr(nullptr), lockCount(0)
{
    objName[0] = 0;
    dbout("rpSyncObject %x\n", addressBits(name_));
    name(name_);
    secAttr = nullptr;
    ownsSecurity = false;
}

rpSyncObject::~rpSyncObject()
{
    if (lockCount != 0)
        dbout("<<unmach lockCount %d %x (%s)>>\n", lockCount, addressBits(this), objectName);
    if (ownsSecurity)
        delete secAttr;
    secAttr = nullptr;
    ownsSecurity = false;
    rpSyncObject::close();
}

const char* rpSyncObject::name()
{
    return namePtr;
}

void rpSyncObject::name(const char* n)
{
    if (n) {
        rpStrncpy(objName, n, sizeof objName);
        namePtr = objName;
    } else {
        namePtr = nullptr;
    }
}

int rpSyncObject::unlock()
{
    return -1;
}

int rpSyncObject::open()
{
    return -1;
}

int rpSyncObject::create()
{
    return -1;
}

int rpSyncObject::close()
{
    lastError = 0;
    if (hObject) {
        if (!CloseHandle(hObject))
            viewError(static_cast<int>(GetLastError()), "close", 5);
        hObject = nullptr;
    }
    return lastError;
}

HANDLE rpSyncObject::operator()()
{
    return hObject;
}

HANDLE rpSyncObject::handle()
{
    return hObject;
}

void rpSyncObject::handle(HANDLE h)
{
    hObject = h;
}

int rpSyncObject::lock(int timeout)
{
    lastError = 0;
    DWORD result = WaitForSingleObject(hObject, static_cast<DWORD>(timeout));
    if (result == WAIT_OBJECT_0)
        ++lockCount;
    else if (result == WAIT_TIMEOUT)
        viewError(WAIT_TIMEOUT, "wait", 5);
    else if (result == WAIT_FAILED)
        viewError(static_cast<int>(GetLastError()), "wait", 5);
    return lastError;
}

void rpSyncObject::security(SECURITY_ATTRIBUTES* sa, bool owns)
{
    if (ownsSecurity && secAttr != sa)
        delete secAttr;
    secAttr = sa;
    ownsSecurity = owns;
}

rpThreadMutex::rpThreadMutex() : rpSyncObject(nullptr), csReady(false)
{
    dbout("rpThreadMutex \n");
}

rpThreadMutex::~rpThreadMutex()
{
    dbout("~rpThreadMutex %d\n", lockCount);
    close();
}

int rpThreadMutex::unlock()
{
    if (!csReady)
        return -1;
    --lockCount;
    LeaveCriticalSection(&cs);
    return 0;
}

int rpThreadMutex::open()
{
    return create();
}

int rpThreadMutex::create()
{
    if (!csReady)
        InitializeCriticalSection(&cs);
    csReady = true;
    return 0;
}

int rpThreadMutex::close()
{
    dbout("rpThreadMutex close %d\n", lockCount);
    if (csReady)
        DeleteCriticalSection(&cs);
    csReady = false;
    return 0;
}

HANDLE rpThreadMutex::operator()()
{
    return &cs;
}

HANDLE rpThreadMutex::handle()
{
    return &cs;
}

void rpThreadMutex::lock()
{
    if (!csReady)
        return;
    EnterCriticalSection(&cs);
    ++lockCount;
}
