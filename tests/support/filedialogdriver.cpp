// Answering the system's file dialogs from tests.
#include "filedialogdriver.h"

#include "modaldriver.h"

namespace testsupport {
namespace {

struct Search {
    HWND found;
};

BOOL CALLBACK collectFileDialog(HWND h, LPARAM data)
{
    char name[16] = {};
    GetClassNameA(h, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(h) && IsWindowEnabled(h) &&
        (GetDlgItem(h, FileNameBox) || GetDlgItem(h, OldFileNameEdit))) {
        reinterpret_cast<Search*>(data)->found = h;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK findEdit(HWND h, LPARAM data)
{
    char name[16] = {};
    GetClassNameA(h, name, sizeof name);
    if (lstrcmpiA(name, "Edit") == 0) {
        reinterpret_cast<Search*>(data)->found = h;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND findFileDialog(DWORD threadId)
{
    Search search{nullptr};
    EnumThreadWindows(threadId, collectFileDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForFileDialog(DWORD threadId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = findFileDialog(threadId)) {
            Sleep(300);  // let it settle before it is typed into
            return h;
        }
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

namespace {
// The edit of the file-name box, or null.
HWND fileNameEdit(HWND dialog)
{
    Search search{nullptr};
    if (HWND box = GetDlgItem(dialog, FileNameBox))
        EnumChildWindows(box, findEdit, reinterpret_cast<LPARAM>(&search));
    else
        search.found = GetDlgItem(dialog, OldFileNameEdit);
    return search.found;
}
}  // namespace

std::string fileNameIn(HWND dialog)
{
    char text[600] = "";
    if (HWND edit = fileNameEdit(dialog))
        SendMessageA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

bool chooseInFileDialog(HWND dialog, const std::string& text)
{
    HWND edit = fileNameEdit(dialog);
    if (!edit)
        return false;
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return true;
}

void cancelFileDialog(HWND dialog)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
}

namespace {

struct Answer {
    std::string text;
    bool cancel;
    bool* answered;
    std::string* offered;  // set at the first answer only
    DWORD deadline;
};

bool beforeDeadline(const Answer& a)
{
    return static_cast<LONG>(GetTickCount() - a.deadline) < 0;
}

// Types the answer into `dialog` while it is still open; looks again a moment later, since a
// dialog that was still settling may have ignored it.
void answerNow(Answer a, HWND dialog)
{
    if (findFileDialog(GetCurrentThreadId()) != dialog)
        return;
    if (a.offered) {
        *a.offered = fileNameIn(dialog);
        a.offered = nullptr;
    }
    if (a.cancel)
        cancelFileDialog(dialog);
    else
        chooseInFileDialog(dialog, a.text);
    if (a.answered)
        *a.answered = true;
    if (beforeDeadline(a))
        runLater(700, [=] { answerNow(a, dialog); });
}

// Waits for the dialog to appear, then gives it a moment to settle.
void waitThenAnswer(Answer a)
{
    if (HWND dialog = findFileDialog(GetCurrentThreadId()))
        runLater(200, [=] { answerNow(a, dialog); });
    else if (beforeDeadline(a))
        runLater(50, [=] { waitThenAnswer(a); });
}

}  // namespace

void answerFileDialog(const std::string& text, bool cancel, bool* answered, std::string* offered)
{
    Answer a{text, cancel, answered, offered, GetTickCount() + 5000};
    runLater(100, [=] { waitThenAnswer(a); });
}

}  // namespace testsupport
