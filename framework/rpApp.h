// rpApp: the application object, the program's own module. It takes over the instance handle
// at start-up, parses the command line into argc/argv, and runs the message loop, routing each
// message through the accelerators and the registered modeless dialogs.
// Ownership: owns argBuffer and argv; the registered dialogs are not owned. Exactly one exists:
// the global App.
#ifndef RP_APP_H
#define RP_APP_H

#include "rpModule.h"

#include <windows.h>

#include <list>

class rpApp : public rpModule {
public:
    static constexpr int TokenBufferSize = 3000;  // longest argument kept, terminator included

    rpApp();
    ~rpApp() override;

    // Takes over the executable: instance handle (not released), path and base name, show
    // command, arguments, common controls, the "KeyAccel" accelerators. Returns 0.
    int startup002(HINSTANCE instance, const char* commandLine, int showCommand);
    // Parses commandLine into argc/argv (argv[0] is the program's full path). Returns argc.
    // An argument longer than 2,999 bytes is cut there, on a whole character; the rest of it is
    // skipped and does not become another argument.
    int xSetupArgs(const char* commandLine);
    // Frees argv and argBuffer; argc becomes 0.
    void freeArgs();

    // The application's start-up hook; non-zero skips the application and becomes the exit code.
    int startup(int argc, char** argv, char** envp);
    // main(), then the message loop when main returned 0, then terminal(). Returns the exit code.
    int execApp();
    // The application's body, supplied by the application (not by the framework).
    int main();
    // The application's end hook.
    void terminal(int& result);

    // The message loop: runs until WM_QUIT and returns its exit code.
    int run();
    // Handles every queued message without waiting. Each message is removed from the queue,
    // whatever removeFlag asks (its other PeekMessageA flags apply). A quit message ends the
    // pump and is posted again (same code), so that run() still ends with it. Returns 0.
    static int MsgPump(int removeFlag);
    // Routes one message: accelerators, then modeless dialogs, then translate and dispatch.
    int MsgTransaction(MSG& msg) override;
    // 1 when a registered modeless dialog took the message (IsDialogMessageA), else 0.
    int checkModeless(MSG* msg);
    // The most recently registered dialog is offered messages first; no duplicate check.
    void appendDialog(rpDialogModeless* dialog) override;
    // Removes the most recent registration of dialog, if any.
    void removeDialog(rpDialogModeless* dialog) override;

    char* argBuffer;                              // owned: every argument's text, NUL-terminated
    std::list<rpDialogModeless*> modelessDialogs; // not owned, most recent first; a dialog
                                                  // leaves it when it is deleted
    int showCommand;                              // SW_SHOW until start-up stores the real one
    int argc;
    char** argv;                                  // owned array of pointers into argBuffer
    char** envp;                                  // environment for startup; always null
};

// The application object (defined in the framework, so every program that uses rpApp has it),
// and the pointer to it that the process entry sets.
extern rpApp App;
extern rpApp* pApp;

#endif
