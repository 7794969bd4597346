// Answering the system's open and save dialogs as a user would: the file-name box gets the typed
// text, then OK is pressed. The box is control 1148 (an edit inside a combo box) in the explorer
// style dialog, the edit 1152 in the older one. Works on dialogs of this thread (from a step
// inside their modal loop) and of other processes.
#ifndef RP_FILE_DIALOG_DRIVER_H
#define RP_FILE_DIALOG_DRIVER_H

#include <windows.h>

#include <string>

namespace testsupport {

constexpr int FileNameBox = 1148;
constexpr int OldFileNameEdit = 1152;

// The visible, enabled file dialog (a dialog-class window with the file-name box) among the
// top-level windows of the thread, or null.
HWND findFileDialog(DWORD threadId);
// Waits for up to timeoutMs for findFileDialog (polling; only for use from another thread or
// process than the dialog's).
HWND waitForFileDialog(DWORD threadId, DWORD timeoutMs);
// Types text into the file-name box and presses OK (posted). False when the box has no edit.
bool chooseInFileDialog(HWND dialog, const std::string& text);
// Presses Cancel (posted).
void cancelFileDialog(HWND dialog);
// The text of the file-name box; empty when there is none.
std::string fileNameIn(HWND dialog);
// For a dialog about to run on this thread: from inside its modal loop, waits (up to 5 s) for
// the file dialog, then types text and presses OK, or presses Cancel when cancel is true; a
// dialog that is still open a moment later (it was still settling) is answered again. Sets
// *answered (when given) once it did, and *offered (when given) to the name the dialog
// offered in its file-name box before it was answered.
void answerFileDialog(const std::string& text, bool cancel = false, bool* answered = nullptr,
                      std::string* offered = nullptr);

}  // namespace testsupport

#endif
