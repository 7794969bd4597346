// Child controls: binding to dialog items, the partner item, keyboard commands, data linking.
#include "rpControl.h"

namespace {
// Command numbers that a control posts to its parent for F1 and Enter.
constexpr WORD HelpCommand = 20;
constexpr WORD EnterCommand = 21;
}  // namespace

rpControl::rpControl(HWND handle, bool link)
    : rpWin(handle, link), modifiedFlag(false), object(nullptr), objectSize(0), partner(nullptr),
      partnerWrapped(false)
{
}

rpControl::rpControl(rpWin* parentWin, const char* className, int controlIdValue, int styleBits)
    : rpWin(parentWin, className, controlIdValue), modifiedFlag(false), object(nullptr),
      objectSize(0), partner(nullptr), partnerWrapped(false)
{
    style |= static_cast<DWORD>(styleBits);
    tryLink();
}

rpControl::~rpControl()
{
    releasePartner();
}

void rpControl::releasePartner()
{
    rpControl* p = partner;
    partner = nullptr;
    // Only the plain wrapper is ours; it owns no window, so deleting it leaves the item alone.
    if (p && partnerWrapped)
        delete p;
    partnerWrapped = false;
}

void rpControl::forget(rpWin* gone)
{
    rpWin::forget(gone);
    if (partner == gone) {
        partner = nullptr;
        partnerWrapped = false;
    }
}

bool rpControl::tryLink()
{
    if (hwnd)
        return true;
    if (!parent || !parent->hwnd)
        return false;
    HWND item = GetDlgItem(parent->hwnd, id);
    // linkWin refuses an item that another object is already bound to.
    return item && linkWin(item);
}

bool rpControl::show(int cmdShow)
{
    bool wasVisible = ShowWindow(hwnd, cmdShow) != 0;
    if (partner)
        partner->show(cmdShow);
    return wasVisible;
}

bool rpControl::enable(bool flag)
{
    bool wasDisabled = EnableWindow(hwnd, flag) != 0;
    if (partner)
        partner->enable(flag);
    return wasDisabled;
}

int rpControl::controlId()
{
    if (hwnd)
        return static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_ID));
    return id;
}

bool rpControl::kbd(rpEvent& e)
{
    const WORD key = LOWORD(e.wParam);
    const LPARAM self = reinterpret_cast<LPARAM>(hwnd);
    if (e.msg == WM_KEYDOWN) {
        if (key != VK_F1)
            return false;
        postParent(WM_COMMAND, MAKEWPARAM(HelpCommand, controlId()), self);
        return true;
    }
    if (e.msg != WM_CHAR)
        return false;
    switch (key) {
    case '\t':
        if (rpWin* dialog = GetWin(GetParent(hwnd))) {
            if (HIBYTE(static_cast<WORD>(GetKeyState(VK_SHIFT))) != 0)
                dialog->PrevControl(false);
            else
                dialog->NextControl(false);
        }
        return true;
    case '\r':
        postParent(WM_COMMAND, MAKEWPARAM(EnterCommand, controlId()), self);
        return true;
    case 27:
        postParent(WM_COMMAND, IDCANCEL, self);
        return true;
    default:
        return false;
    }
}

bool rpControl::other(rpEvent& e)
{
    if (e.msg != WM_GETDLGCODE)
        return false;
    e.result = CallWindowProcA(oldProc, hwnd, e.msg, e.wParam, e.lParam) | DLGC_WANTALLKEYS;
    return true;
}

void rpControl::linkObject(void* value, int size)
{
    object = value;
    objectSize = size;
}

void rpControl::linkMapObject(rpCtrlMap* entry)
{
    linkObject(entry->object, entry->objectSize);
}

void rpControl::joinPartner()
{
    if (!hwnd || !parent)
        return;
    const int partnerId = static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_ID)) + 1;
    HWND item = GetDlgItem(parent->hwnd, partnerId);
    if (partner && item && partner->hwnd == item)
        return;  // joined again (a scroll bar re-applies its defaults): keep the same partner
    releasePartner();
    if (!item)
        return;
    if (rpControl* registered = dynamic_cast<rpControl*>(GetWin(item))) {
        partner = registered;
        return;
    }
    partner = new rpControl(item, false);
    partnerWrapped = true;
}

void rpControl::updateObject() {}
void rpControl::updateScreen() {}

bool rpControl::isModified()
{
    return modifiedFlag;
}

void rpControl::modified(bool flag)
{
    modifiedFlag = flag;
}

int rpControl::getCheck()
{
    return static_cast<int>(SendMessageA(hwnd, BM_GETCHECK, 0, 0));
}

int rpControl::setCheck(int state)
{
    return static_cast<int>(SendMessageA(hwnd, BM_SETCHECK, static_cast<WPARAM>(state), 0));
}

int rpControl::getState()
{
    return static_cast<int>(SendMessageA(hwnd, BM_GETSTATE, 0, 0));
}

int rpControl::setState(int state)
{
    return static_cast<int>(SendMessageA(hwnd, BM_SETSTATE, static_cast<WPARAM>(state), 0));
}

int rpControl::setStyle(int styleBits, bool redraw)
{
    return static_cast<int>(
        SendMessageA(hwnd, BM_SETSTYLE, static_cast<WPARAM>(styleBits), redraw ? 1 : 0));
}

int rpControl::click()
{
    return static_cast<int>(SendMessageA(hwnd, BM_CLICK, 0, 0));
}
