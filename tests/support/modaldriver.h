// Driving modal dialogs and message boxes from inside their own modal loops, as a user would:
// steps scheduled on thread timers run in whatever loop the thread is in at that moment.
#ifndef RP_MODAL_DRIVER_H
#define RP_MODAL_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>

namespace testsupport {

// Runs step once, about delayMs from now, from the thread's current message loop.
void runLater(DWORD delayMs, std::function<void()> step);
// Forgets every step not yet run (call at the end of a test).
void cancelPending();

// The visible, enabled dialog-class top-level window of this thread that has a child with id
// `button`, or null. While a message box runs, the dialog that owns it is disabled, so this
// finds the box.
HWND findDialogWithButton(int button);
// The text of a message box (its static text), or an empty string.
std::string messageBoxText(HWND box);

// Waits (polling from the running loops, for up to timeoutMs) for a message box with the button
// `button`, stores its text in *text when text is not null, counts it in *count when count is
// not null, and presses the button.
void answerMessageBox(int button, std::string* text, int* count, DWORD timeoutMs = 3000);

// A failing test must not leave a modal loop running: after ms, every visible dialog-class
// window of this thread is ended with code -7, until the guard is destroyed.
class ModalGuard {
public:
    explicit ModalGuard(DWORD ms = 8000);
    ~ModalGuard();
    ModalGuard(const ModalGuard&) = delete;
    ModalGuard& operator=(const ModalGuard&) = delete;
private:
    UINT_PTR timer_;
};

}  // namespace testsupport

#endif
