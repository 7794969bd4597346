// Helpers shared by the test programs: the recording diagnostic sink, the folder of the test
// program (where the fixture DLLs are built), temporary folders, and pumping messages.
#ifndef RP_TEST_SUPPORT_H
#define RP_TEST_SUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Every text the framework passed to dbout since the last clear, formatted.
const std::vector<std::string>& dboutLog();
void clearDbout();

// Folder of the running test program, with a trailing backslash; the fixture DLLs of the same
// build are there.
std::string binDir();
// binDir() + name.
std::string fixturePath(const std::string& name);
// The same folder of the other bitness's preset, for bitness checks: build\win64\bin\ from
// the 32-bit tests, build\win32\bin\ from the 64-bit ones. Its fixtures are built by that
// preset, so both presets are built before either suite runs.
std::string otherBitnessBinDir();

// True when this is a 32-bit test program running under the 32-bit runner's emulator
// (qemu-user), which the runner states in the environment variable RP_EMULATOR. Always false in
// a 64-bit build: 64-bit programs run natively, and their checks are never relaxed.
bool underEmulator();

// The exception code with which a fault of kind `code` reaches the program: `code` itself, except
// under the emulator, where Wine is handed a wrong trap number and reports an access violation
// and a stack overflow as an illegal instruction (c000001d), and an integer division by zero as
// c0000090. Windows never does this; only tests that check an exact fault code use it.
DWORD reportedFaultCode(DWORD code);

// How many times longer than natively the tests give things to happen: 4 under the emulator
// (Wine starts a 32-bit program in about half a second there, and runs it several times slower),
// else 1. For waits on another process only; no check on a result depends on it.
DWORD slowdown();

// ANSI text as UTF-16.
std::wstring wide(const std::string& ansi);
// The whole file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

// A fresh folder under the system's temporary folder, removed with everything in it at
// destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }   // no trailing backslash
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    // Writes bytes to a file inside the folder and returns its full path.
    std::string writeFile(const std::string& name, const std::string& bytes) const;
private:
    std::string path_;
};

// Starts exe with the whole command line commandLine (program name included) in folder dir
// (null: this process's). Wine under load now and then refuses a start with an internal error,
// so a failed start is tried again a few times. Returns false (GetLastError set) when every
// try failed.
bool startProcess(const std::string& exe, const std::string& commandLine, const char* dir, PROCESS_INFORMATION* process);

// The CF_TEXT on the clipboard up to its NUL, read with the raw API so that the code under test
// is checked independently: "<none>" without text, "<busy>" when the clipboard stays held by
// another window for a second.
std::string clipboardText();
// Empties the clipboard and puts text on it as CF_TEXT (raw API); false when it cannot be opened.
bool setClipboardText(const std::string& text);

// Dispatches the thread's queued messages for about `ms` milliseconds.
void pumpMessages(DWORD ms);

}  // namespace testsupport

#endif
