// Thread-timer steps and message-box answering for the dialog tests.
#include "modaldriver.h"

#include <map>
#include <utility>
#include <vector>

namespace testsupport {
namespace {

std::map<UINT_PTR, std::function<void()>>& pending()
{
    static std::map<UINT_PTR, std::function<void()>> steps;
    return steps;
}

void CALLBACK runStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    auto found = pending().find(timer);
    if (found == pending().end())
        return;
    std::function<void()> step = std::move(found->second);
    pending().erase(found);
    step();
}

bool isDialogClass(HWND h)
{
    char name[16] = {};
    GetClassNameA(h, name, sizeof name);
    return lstrcmpA(name, "#32770") == 0;
}

BOOL CALLBACK collectDialog(HWND h, LPARAM list)
{
    if (isDialogClass(h) && IsWindowVisible(h))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
    return TRUE;
}

std::vector<HWND> threadDialogs()
{
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), collectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK endAllDialogs(HWND, UINT, UINT_PTR, DWORD)
{
    for (HWND h : threadDialogs())
        EndDialog(h, -7);
}

void pollForBox(int button, std::string* text, int* count, DWORD deadline)
{
    HWND box = findDialogWithButton(button);
    if (!box) {
        if (static_cast<LONG>(GetTickCount() - deadline) < 0)
            runLater(20, [=] { pollForBox(button, text, count, deadline); });
        return;
    }
    if (text)
        *text = messageBoxText(box);
    if (count)
        ++*count;
    SendMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
}

}  // namespace

void runLater(DWORD delayMs, std::function<void()> step)
{
    UINT_PTR timer = SetTimer(nullptr, 0, delayMs, runStep);
    if (timer)
        pending()[timer] = std::move(step);
}

void cancelPending()
{
    for (auto& entry : pending())
        KillTimer(nullptr, entry.first);
    pending().clear();
}

HWND findDialogWithButton(int button)
{
    for (HWND h : threadDialogs())
        if (IsWindowEnabled(h) && GetDlgItem(h, button))
            return h;
    return nullptr;
}

std::string messageBoxText(HWND box)
{
    // The message text is the box's static control that is not the icon.
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[16] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") != 0 || (GetWindowLongPtrA(child, GWL_STYLE) & SS_ICON))
            continue;
        char buffer[1024] = {};
        GetWindowTextA(child, buffer, sizeof buffer);
        text += buffer;
    }
    return text;
}

void answerMessageBox(int button, std::string* text, int* count, DWORD timeoutMs)
{
    const DWORD deadline = GetTickCount() + timeoutMs;
    runLater(20, [=] { pollForBox(button, text, count, deadline); });
}

ModalGuard::ModalGuard(DWORD ms) : timer_(SetTimer(nullptr, 0, ms, endAllDialogs)) {}

ModalGuard::~ModalGuard()
{
    if (timer_)
        KillTimer(nullptr, timer_);
    cancelPending();
}

}  // namespace testsupport
