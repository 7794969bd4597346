// Synchronisation objects: rpSyncObject holds a kernel object handle (owned: closed by close()
// and at destruction), waits on it with a time-out and counts successful locks; rpThreadMutex
// replaces the handle with a process-local critical section.
#ifndef RP_SYNC_H
#define RP_SYNC_H

#include "rpObject.h"

#include <windows.h>

class rpSyncObject : public rpObject {
public:
    explicit rpSyncObject(const char* name = nullptr);
    ~rpSyncObject() override;
    rpSyncObject(const rpSyncObject&) = delete;
    rpSyncObject& operator=(const rpSyncObject&) = delete;

    // The kernel object's name, or null for an unnamed object.
    const char* name() override;
    // Sets the object name (at most 299 bytes, cut on a whole character); null: unnamed.
    void name(const char* n) override;

    // Kinds of kernel object are defined by subclasses; the base answers -1.
    virtual int unlock();
    virtual int open();
    virtual int create();
    // Closes the handle; a failure is reported with "close".
    virtual int close();
    virtual HANDLE operator()();
    virtual HANDLE handle();
    // Takes h as the object's handle; the old one is not closed.
    virtual void handle(HANDLE h);

    // Waits up to timeout ms (INFINITE: no limit). 0 when signalled (counted as a lock), 258 on
    // time-out, or the system code of a failed wait.
    int lock(int timeout);
    // Security attributes for creating the kernel object. When owns is true, sa must come from
    // new and is deleted by the object (on the next call or at destruction).
    void security(SECURITY_ATTRIBUTES* sa, bool owns);

    char objName[300];
    HANDLE hObject;               // owned kernel object, or 0
    char* namePtr;                // objName, or null when unnamed
    bool ownsSecurity;            // secAttr is deleted by this object
    SECURITY_ATTRIBUTES* secAttr; // owned when ownsSecurity, else not owned; may be null
    int lockCount;                // successful locks minus unlocks
};

class rpThreadMutex : public rpSyncObject {
public:
    rpThreadMutex();
    ~rpThreadMutex() override;

    // Leaves the critical section (uncounting first while it is still held). Returns 0, or -1
    // before create().
    int unlock() override;
    int open() override;
    // Initialises the critical section once. Returns 0.
    int create() override;
    // Deletes the critical section when it is initialised.
    int close() override;
    // The critical section.
    HANDLE operator()() override;
    HANDLE handle() override;
    using rpSyncObject::handle;

    // Enters the critical section (re-entrant for the owning thread) and counts the lock;
    // does nothing before create().
    void lock();

    bool csReady;          // cs is initialised
    CRITICAL_SECTION cs;
};

#endif
