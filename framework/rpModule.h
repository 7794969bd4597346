// rpModule: one executable module, the program itself (through the application object) or a
// library loaded at run time, with its path, base name, accelerators and the process mutex.
// Ownership: releases the library at destruction only when this object loaded it (`owner`).
#ifndef RP_MODULE_H
#define RP_MODULE_H

#include "rpObject.h"
#include "rpPathname.h"

#include <windows.h>

#include <string>

class rpThreadMutex;
class rpWin;
class rpDialogModeless;

class rpModule : public rpObject {
public:
    rpModule();
    explicit rpModule(const char* path);
    ~rpModule() override;
    rpModule(const rpModule&) = delete;
    rpModule& operator=(const rpModule&) = delete;

    void _init();
    // Loads the library path (or, when path is null, the stored pathname). Returns 0, also when
    // a library is already loaded (nothing is loaded again), or the system error code. The
    // path is not stored. Exactly the named file is loaded (no ".dll" is added to a name
    // without an extension), and the system shows no error box during the load.
    int load(const char* path);
    // The same for a UTF-16 path (a name outside the ANSI code page); null: the stored pathname.
    int loadWide(const wchar_t* path);
    // Releases whatever `handle` holds.
    void unload();
    // Stores path and takes the base name from it. Returns 0.
    int storePathname0(const char* path);
    // unload(), then storePathname0(path).
    int storePathname(const char* path);
    // MessageBoxA without owner; the caption defaults to moduleName.
    int msgBox(const char* text, int type, const char* caption);
    // The process-wide critical section of the application; no-ops without threadMutex.
    void threadLock();
    void threadUnlock();

    // Hooks for the application's message loop; empty here.
    virtual void appendDialog(rpDialogModeless* dialog);
    virtual void removeDialog(rpDialogModeless* dialog);
    virtual int MsgTransaction(MSG& msg);

    HINSTANCE handle;            // the module; null when nothing is loaded
    std::string moduleName;      // file name without directory and extension
    rpThreadMutex* threadMutex;  // the process mutex, not owned; null except for the application
    HACCEL accelerators;         // null when the module has none
    rpPathname pathname;         // the module's file path
    rpWin* mainWindow;           // the application's main window, not owned

private:
    // Keeps the handle of a load that succeeded, or records the load's error. Returns lastError.
    int takeLoaded(HINSTANCE h);
};

// The current module object (the application object once it is constructed); window and
// dialog creation take the instance handle from it. Not owned.
extern rpModule* Module;

#endif
