// The real plugin-inspector.exe as a process of its own, driven from the test process the way a
// user would: found by its main dialog, its list watched, its buttons clicked, and closed with
// its exit code checked. The process is ended at tear-down if a test left it running.
#ifndef RP_TEST_RUNNING_INSPECTOR_H
#define RP_TEST_RUNNING_INSPECTOR_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// The inspector of this build: one folder above the test programs (build\<preset>\).
std::string inspectorPath();

// Where the inspector keeps its placement and folders, under HKEY_CURRENT_USER: the tests' Wine
// prefix is the build's own, so each test that starts the inspector starts without them and
// removes what it left.
constexpr char InspectorSettingsKey[] = "Software\\plugin-inspector";

// The expected copy of probe lines: each line followed by CR LF.
std::string crlfBlock(const std::vector<std::string>& lines);

class InspectorProcess : public testing::Test {
protected:
    // Removes the inspector's settings, starts it with arguments() in the test programs' folder
    // and waits until its main dialog is visible.
    void SetUp() override;
    // Ends the inspector if it still runs, and removes its settings.
    void TearDown() override;
    // Starts the inspector once more (with its settings as the last run left them), after the
    // test closed it.
    void startAgain();

    // Waits until the list shows `count` lines (or 20 s pass); the count when it stopped.
    LRESULT waitForLines(LRESULT count);
    // A click on one of the dialog's buttons, posted so this process never waits on the dialog
    // (the Open button runs a modal dialog, the Close button ends the process).
    void click(int id);
    // A click on a button whose command finishes by itself (Copy): returns once it was handled.
    void clickAndWait(int id);
    // Closes the dialog with its Close button and expects the process to end with code 0.
    void closeAndExpectExitCode0();
    // Drops files on the window as the shell does (a DROPFILES block with UTF-16 names in the
    // inspector's memory); returns once the window has taken the drop.
    bool dropFiles(const std::vector<std::wstring>& files);
    // Copy, and the clipboard's text afterwards.
    std::string copiedList();
    // The window's caption.
    std::string caption();
    // Brings the window to the front and presses a key there, with Ctrl and Shift as asked, as
    // a user would (SendInput). The window takes it when its thread gets to it.
    void pressKey(WORD key, bool control = false, bool shift = false);
    // The control that has the focus in the inspector's window.
    HWND focus();
    // Waits (up to 20 s) until the caption contains text; whether it did.
    bool waitForCaption(const std::string& text);

    // What follows the program's path on its command line.
    virtual std::string arguments() { return ""; }
    // The program to start.
    virtual std::string executable() { return inspectorPath(); }

    PROCESS_INFORMATION process = {};
    HWND window = nullptr;  // the inspector's main dialog

private:
    void start();
    void end();
};

}  // namespace testsupport

#endif
