// Dialogs: the dialog procedure, the control map, the OK/Cancel/close paths and the modal run.
#include "rpDialog.h"

#include "rpModule.h"

#include <algorithm>
#include <cstdio>
#include <vector>

rpDialog* NewDialog = nullptr;
int resultx = 0;

namespace {
const char CloseQuestion[] = "変更を保存せずに終了してよろしいですか？";

// The modal dialogs running on this thread, innermost last, and the message filter hook that
// serves them while there are any. A slot belongs to one run of create(), which takes it back
// when the dialog-box call returns; a dialog deleted meanwhile (with its window, inside the
// loop) has emptied its slot. Not owned.
thread_local std::vector<rpDialogModal*> runningDialogs;
thread_local HHOOK keyFilter = nullptr;

// The modal loops of the dialog-box calls offer every message here (MSGF_DIALOGBOX) before the
// dialog manager handles it: a key for a running dialog goes to its translateKeys().
LRESULT CALLBACK modalKeyFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && msg && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
        rpDialogModal* target = nullptr;
        for (auto running = runningDialogs.rbegin(); running != runningDialogs.rend() && !target; ++running) {
            HWND dialog = *running ? (*running)->hwnd : nullptr;
            if (dialog && (msg->hwnd == dialog || IsChild(dialog, msg->hwnd)))
                target = *running;
        }
        // The command a key stands for may open another modal loop or end this dialog: nothing
        // here is touched after it.
        MSG copy = *msg;
        if (target && target->translateKeys(copy))
            return TRUE;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The control object on dialog item `id`, or null.
rpControl* mappedControl(HWND dialog, int id)
{
    return dynamic_cast<rpControl*>(rpWin::GetWin(GetDlgItem(dialog, id)));
}
}  // namespace

rpDialog::rpDialog(rpWin* parentWin, const char* name, rpCtrlMap* map)
    : rpWin(parentWin, "rpDialog", RP_AUTO_ID), templateName(name), templateData(nullptr), ctrlMap(map),
      result(IDCANCEL), mapBuilt(false)
{
}

rpDialog::~rpDialog() = default;

bool rpDialog::initialProc()
{
    updateScreen();
    onCreate();
    return true;
}

void rpDialog::updateScreen()
{
    if (!ctrlMap)
        return;
    const bool build = !mapBuilt;
    mapBuilt = true;
    for (rpCtrlMap* entry = ctrlMap; entry->factory; ++entry) {
        rpControl* control = mappedControl(hwnd, entry->id);
        if (build) {
            if (!control) {
                control = entry->factory(this, entry->id);
                if (control && !control->linked) {
                    // No such item (or it is someone else's): nothing would ever free it.
                    if (control->owner)
                        delete control;
                    control = nullptr;
                }
            }
            if (control)
                control->linkMapObject(entry);
        }
        if (control)
            control->updateScreen();
    }
}

bool rpDialog::isModifiedMapData()
{
    if (!ctrlMap)
        return false;
    for (rpCtrlMap* entry = ctrlMap; entry->factory; ++entry) {
        rpControl* control = mappedControl(hwnd, entry->id);
        if (control && control->isModified())
            return true;
    }
    return false;
}

void rpDialog::linkMapObject()
{
    if (!ctrlMap)
        return;
    for (rpCtrlMap* entry = ctrlMap; entry->factory; ++entry) {
        rpControl* control = mappedControl(hwnd, entry->id);
        if (control && control->isModified())
            control->updateObject();
    }
}

bool rpDialog::translateKeys(MSG& msg)
{
    HACCEL accelerators = Module ? Module->accelerators : nullptr;
    return accelerators && hwnd && TranslateAcceleratorA(hwnd, accelerators, &msg) != 0;
}

bool rpDialog::isModified()
{
    return isModifiedMapData();
}

bool rpDialog::queryOk()
{
    return true;
}

void rpDialog::okProc()
{
    if (isModified())
        linkMapObject();
}

bool rpDialog::queryClose()
{
    if (!isModified())
        return true;
    return msgBox(CloseQuestion, MB_YESNO, nullptr) == IDYES;
}

bool rpDialog::command(int commandId, int /*code*/)
{
    switch (commandId) {
    case IDOK:
        if (!queryOk())
            return true;
        result = IDOK;
        okProc();
        destroy();
        return true;
    case IDCANCEL:
        if (!queryClose())
            return true;
        result = IDCANCEL;
        destroy();
        return true;
    default:
        return false;
    }
}

rpDialogModal::rpDialogModal(rpWin* parentWin, const char* name, rpCtrlMap* map)
    : rpDialog(parentWin, name, map)
{
}

rpDialogModal::~rpDialogModal()
{
    std::replace(runningDialogs.begin(), runningDialogs.end(), static_cast<rpDialogModal*>(this),
                 static_cast<rpDialogModal*>(nullptr));
}

bool rpDialogModal::destroy()
{
    return EndDialog(hwnd, result) != 0;
}

int rpDialogModal::run()
{
    create();
    // The object may be gone here (it deleted itself with its window): read only resultx.
    return resultx;
}

bool rpDialogModal::create()
{
    NewDialog = this;
    const size_t slot = runningDialogs.size();
    runningDialogs.push_back(this);
    if (!keyFilter)
        keyFilter = SetWindowsHookExW(WH_MSGFILTER, modalKeyFilter, nullptr, GetCurrentThreadId());
    HWND ownerWindow = parent ? parent->hwnd : nullptr;
    HINSTANCE instance = Instance();
    INT_PTR answer;
    if (templateData)
        answer = DialogBoxIndirectParamA(instance, templateData, ownerWindow, rpDlgProc,
                                         reinterpret_cast<LPARAM>(createParam));
    else
        answer = DialogBoxParamA(instance, templateName, ownerWindow, rpDlgProc,
                                 reinterpret_cast<LPARAM>(createParam));
    resultx = static_cast<int>(answer);
    // The slot goes back (the object may be gone by now: it is not touched).
    runningDialogs.resize(slot);
    if (runningDialogs.empty() && keyFilter) {
        UnhookWindowsHookEx(keyFilter);
        keyFilter = nullptr;
    }
    // A dialog that was bound (WM_INITDIALOG took NewDialog) ran and deleted itself with its
    // window, whatever its end code, -1 included: it must not be touched again.
    if (NewDialog != this)
        return true;
    // Never bound: the object still exists and must not stay named as the pending dialog.
    NewDialog = nullptr;
    if (templateData) {
        dbout("<<rpDialogModal:生成に失敗しました。 [%x]>>\n",
              static_cast<unsigned>(reinterpret_cast<UINT_PTR>(templateData)));
    } else {
        // An integer resource id travels in the pointer; print it as "#id", never as text.
        char number[16];
        const char* shown = templateName;
        if (IS_INTRESOURCE(templateName)) {
            std::snprintf(number, sizeof number, "#%u",
                          static_cast<unsigned>(reinterpret_cast<UINT_PTR>(templateName)));
            shown = number;
        }
        dbout("<<rpDialogModal:生成に失敗しました。 [%s]>>\n", shown);
    }
    lastError = -1;
    return false;
}

INT_PTR CALLBACK rpDlgProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        rpDialog* dialog = NewDialog;
        NewDialog = nullptr;
        if (!dialog)
            return FALSE;
        dialog->linkWin(h);
        return dialog->initialProc() ? TRUE : FALSE;
    }
    if (msg == WM_MEASUREITEM) {
        // Owner-drawn controls with a fixed item height ask before WM_INITDIALOG.
        if (NewDialog) {
            auto size = NewDialog->measureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
            auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            mis->itemWidth = static_cast<UINT>(size.x);
            mis->itemHeight = static_cast<UINT>(size.y);
        }
        return TRUE;
    }
    // Once bound, the dialog meets its messages through rpWinProc, which dispatches them; what
    // its handlers leave comes here through the system's dialog procedure and must not reach
    // them a second time: FALSE lets the default dialog processing run.
    return FALSE;
}
