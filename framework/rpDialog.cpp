// Dialogs: the dialog procedure, the control map, the OK/Cancel/close paths and the modal run.
#include "rpDialog.h"

#include <cstdio>

rpDialog* NewDialog = nullptr;
int resultx = 0;

namespace {
const char CloseQuestion[] = "変更を保存せずに終了してよろしいですか？";

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

rpDialogModal::~rpDialogModal() = default;

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
