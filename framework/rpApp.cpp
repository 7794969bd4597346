// The application object: start-up, command-line parsing and the message loop. The process
// entry and execApp, which calls the application's body, live in entry/.
#include "rpApp.h"

#include "rpStrings.h"
#include "rpWin.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

rpApp App;
rpApp* pApp = nullptr;

rpApp::rpApp() : argBuffer(nullptr), showCommand(SW_SHOW), argc(0), argv(nullptr), envp(nullptr)
{
    Module = this;
}

rpApp::~rpApp()
{
    freeArgs();
    if (Module == this)
        Module = nullptr;
}

int rpApp::startup002(HINSTANCE instance, const char* commandLine, int show)
{
    owner = false;
    handle = instance;
    char path[300];
    DWORD n = GetModuleFileNameA(instance, path, sizeof path);
    if (n >= sizeof path)
        n = 0;  // a cut path would name another file
    path[n] = 0;
    storePathname0(path);
    showCommand = show;
    owner = false;
    xSetupArgs(commandLine);
    InitCommonControls();
    accelerators = LoadAcceleratorsA(handle, "KeyAccel");
    return 0;
}

void rpApp::freeArgs()
{
    delete[] argv;
    delete[] argBuffer;
    argv = nullptr;
    argBuffer = nullptr;
    argc = 0;
}

namespace {
// Lead byte of a two-byte character in the ANSI code page the command line is written in.
// (Half-width katakana are single bytes: they never swallow a closing quote or a blank.)
bool isLead(const unsigned char* p)
{
    return p[1] != 0 && IsDBCSLeadByte(p[0]);
}

// Collects one argument in the fixed working buffer. Once a character does not fit, nothing
// more is taken, so a cut argument is a true prefix on a whole character.
class Token {
public:
    void add(const unsigned char* p, int size)
    {
        if (full_ || length_ + size >= rpApp::TokenBufferSize) {
            full_ = true;
            return;
        }
        std::memcpy(text_ + length_, p, static_cast<size_t>(size));
        length_ += size;
    }
    const char* text()
    {
        text_[length_] = 0;
        return text_;
    }
    int length() const { return length_; }

private:
    char text_[rpApp::TokenBufferSize];
    int length_ = 0;
    bool full_ = false;
};
}  // namespace

int rpApp::xSetupArgs(const char* commandLine)
{
    freeArgs();
    if (!commandLine)
        commandLine = "";
    size_t lineLength = std::strlen(commandLine);
    size_t pathLength = std::strlen(pathname.path);
    size_t bufferSize = pathLength + lineLength + 10 + 1;
    size_t slots = lineLength / 2 + 3;
    argBuffer = new char[bufferSize];
    argv = new char*[slots];

    std::memcpy(argBuffer, pathname.path, pathLength + 1);
    argv[0] = argBuffer;
    argc = 1;
    size_t used = pathLength + 1;

    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    while (*p) {
        while (*p >= 0x01 && *p <= 0x20)
            ++p;
        Token token;
        if (*p == '"') {
            ++p;
            while (*p) {
                if (*p == '"') {
                    if (p[1] == '"') {
                        token.add(p, 1);
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                int size = isLead(p) ? 2 : 1;
                token.add(p, size);
                p += size;
            }
        } else {
            while (*p > 0x20) {
                // A byte of 0x20 or less is never a second byte: it ends the token even after a
                // lead byte.
                int size = isLead(p) && p[1] > 0x20 ? 2 : 1;
                if (*p != '"')
                    token.add(p, size);
                p += size;
            }
        }
        // The buffer holds every argument with room to spare (each token consumes at least as
        // many bytes of the line as it adds, bar one); the checks only keep that promise.
        size_t length = static_cast<size_t>(token.length());
        if (static_cast<size_t>(argc) >= slots || used + length + 1 > bufferSize)
            break;
        std::memcpy(argBuffer + used, token.text(), length + 1);
        argv[argc++] = argBuffer + used;
        used += length + 1;
    }
    return argc;
}

int rpApp::startup(int, char**, char**)
{
    return 0;
}

void rpApp::terminal(int&) {}

int rpApp::run()
{
    MSG msg;
    // GetMessageA answers -1 on failure; only 0 (WM_QUIT) ends the loop normally.
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            break;
        if (got == -1)
            return -1;
        MsgTransaction(msg);
    }
    return static_cast<int>(msg.wParam);
}

int rpApp::MsgPump(int removeFlag)
{
    // Always removes: a message left in the queue would be found again forever. The other
    // flags (PM_NOYIELD, PM_QS_*) are kept.
    const UINT flags = static_cast<UINT>(removeFlag) | PM_REMOVE;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, flags)) {
        if (msg.message == WM_QUIT) {
            // Not ours to act on: put it back for the loop that ends with it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        App.MsgTransaction(msg);
    }
    return 0;
}

int rpApp::MsgTransaction(MSG& msg)
{
    if (accelerators) {
        int translated = TranslateAcceleratorA(msg.hwnd, accelerators, &msg);
        if (translated)
            return translated;
    }
    if (checkModeless(&msg) == 1)
        return 1;
    TranslateMessage(&msg);
    return static_cast<int>(DispatchMessageA(&msg));
}

int rpApp::checkModeless(MSG* msg)
{
    for (rpDialogModeless* dialog : modelessDialogs) {
        if (dialog->hwnd && IsDialogMessageA(dialog->hwnd, msg))
            return 1;
    }
    return 0;
}

void rpApp::appendDialog(rpDialogModeless* dialog)
{
    modelessDialogs.push_front(dialog);
}

rpDialogModeless::~rpDialogModeless()
{
    App.modelessDialogs.remove(this);
}

void rpApp::removeDialog(rpDialogModeless* dialog)
{
    auto found = std::find(modelessDialogs.begin(), modelessDialogs.end(), dialog);
    if (found != modelessDialogs.end())
        modelessDialogs.erase(found);
}
