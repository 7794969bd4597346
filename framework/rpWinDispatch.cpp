// The event dispatcher: one message in, one virtual handler called with the decoded parameters,
// and the default answers of every handler.
#include "rpWin.h"

#include <shellapi.h>
#include <windowsx.h>

namespace {
inline int lo(WPARAM v) { return LOWORD(v); }
inline int hi(WPARAM v) { return HIWORD(v); }
inline int lo(LPARAM v) { return LOWORD(v); }
inline int hi(LPARAM v) { return HIWORD(v); }

// The thumb position of a scroll message. The message carries only its low 16 bits; the bar
// (the control in lParam, or the window's own bar) knows the whole 32-bit track position. A
// message whose 16 bits are not those of the bar's position was not sent by the bar: its own
// value is all there is.
int thumbPosition(HWND window, int bar, WPARAM w, LPARAM l)
{
    const int code = lo(w);
    const int pos = hi(w);
    if (code != SB_THUMBTRACK && code != SB_THUMBPOSITION)
        return pos;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    const HWND control = reinterpret_cast<HWND>(l);
    if (!GetScrollInfo(control ? control : window, control ? SB_CTL : bar, &info))
        return pos;
    return (info.nTrackPos & 0xFFFF) == pos ? info.nTrackPos : pos;
}
}  // namespace

bool rpWin::dispatchEvent(rpEvent& e)
{
    const WPARAM w = e.wParam;
    const LPARAM l = e.lParam;

    // Specific messages first. "handler" answers are passed on; fixed answers are noted.
    switch (e.msg) {
    case WM_SIZE:
        if (w == SIZE_MINIMIZED)
            return minimized(lo(l), hi(l));
        return resized(lo(l), hi(l), lo(w));
    case WM_ACTIVATE:        return activated(lo(w), hi(w) != 0);
    case WM_SETFOCUS:        return gotFocus(GetWin(reinterpret_cast<HWND>(w)));
    case WM_KILLFOCUS:       return killedFocus(GetWin(reinterpret_cast<HWND>(w)));
    case WM_ENABLE:          return enabled(lo(w) != 0);
    case WM_PAINT:           return paint();
    case WM_CLOSE:           onClose(); return true;  // never the default (DestroyWindow)
    case WM_SHOWWINDOW:                               // always on to oldProc
        if (w)
            onShow(static_cast<int>(l));
        else
            onHide(static_cast<int>(l));
        return false;
    case WM_GETMINMAXINFO:   return getMinMaxInfo(reinterpret_cast<MINMAXINFO*>(l));
    case WM_DRAWITEM:        return drawItem(static_cast<int>(w), reinterpret_cast<DRAWITEMSTRUCT*>(l));
    case WM_MEASUREITEM:     return measureItem(static_cast<int>(w), reinterpret_cast<MEASUREITEMSTRUCT*>(l));
    case WM_DELETEITEM:      return deleteItem(static_cast<int>(w), reinterpret_cast<DELETEITEMSTRUCT*>(l));
    case WM_COMPAREITEM:     return compareItem(e);
    case WM_NOTIFY:          return notified(static_cast<int>(w), reinterpret_cast<NMHDR*>(l), e.result);
    case WM_GETDLGCODE:      return getDialogCode(e);
    case WM_COMMAND:         return command(lo(w), hi(w), reinterpret_cast<HWND>(l));
    case WM_HSCROLL:
        return scrolled(l ? GetDlgCtrlID(reinterpret_cast<HWND>(l)) : 0, lo(w),
                        thumbPosition(hwnd, SB_HORZ, w, l));
    case WM_VSCROLL:
        return scrolled(l ? GetDlgCtrlID(reinterpret_cast<HWND>(l)) : 1, lo(w),
                        thumbPosition(hwnd, SB_VERT, w, l));
    case WM_INITMENU: {                               // always on to oldProc
        rpMenu menu(reinterpret_cast<HMENU>(w));
        menuInit(menu);
        return false;
    }
    case WM_INITMENUPOPUP: {                          // always on to oldProc
        rpMenu menu(reinterpret_cast<HMENU>(w));
        if (hi(l))
            sysmenuPopup(menu);
        else
            menuPopup(menu, lo(l));
        return false;
    }
    case WM_MENUSELECT: {                             // always on to oldProc
        rpMenu menu(reinterpret_cast<HMENU>(l));
        menuSelect(menu, LOWORD(w), HIWORD(w));
        return false;
    }
    case WM_MDIACTIVATE:
        return activated(hwnd == reinterpret_cast<HWND>(l) ? 1 : 0, IsIconic(hwnd) != 0);
    case WM_DROPFILES:       return dropFiles0(e);
    case RPWM_LAYOUTCHILD:   return layoutChild();
    case RPWM_DDENOTIFY:     return notifiedDDE(static_cast<int>(w), reinterpret_cast<rpDDE*>(l));
    case RPWM_THREADENDED:   return threadEnded(static_cast<int>(w), reinterpret_cast<rpThread*>(l));
    default:
        break;
    }

    // Then the ranges, in this order.
    if (e.msg >= 0x0100 && e.msg <= 0x0108)
        return kbd(e);
    if (e.msg >= 0x0200 && e.msg <= 0x020A) {
        rpPoint pos;
        pos.x = GET_X_LPARAM(l);  // signed: left of or above the client area (captured) is negative
        pos.y = GET_Y_LPARAM(l);
        return mouse(static_cast<int>(e.msg), pos, static_cast<int>(w));
    }
    if (e.msg >= 0x0400 && e.msg <= 0x7FFF)
        return user(e);
    if (e.msg >= 0x03E0 && e.msg <= 0x03E8)
        return dde(e);
    return other(e);
}

bool rpWin::dropFiles0(rpEvent& e)
{
    HDROP drop = reinterpret_cast<HDROP>(e.wParam);
    POINT pt = {0, 0};
    bool inClient = DragQueryPoint(drop, &pt) != FALSE;
    char scratch[300];
    int count = static_cast<int>(DragQueryFileA(drop, 0xFFFFFFFF, scratch, sizeof scratch));
    rpPoint point;
    point.x = pt.x;
    point.y = pt.y;
    dropFiles(drop, count, &point, inClient);
    DragFinish(drop);
    return true;
}

// ---- Default handlers

bool rpWin::queryClose() { return true; }
bool rpWin::queryEndSession() { return queryClose(); }

bool rpWin::onClose()
{
    if (queryClose())
        return destroy();
    return false;
}

void rpWin::onEndSession(bool ending, bool)
{
    if (ending)
        onClose();
}

bool rpWin::terminateCheck() { return true; }
bool rpWin::command(int, int) { return false; }
bool rpWin::command(int id, int code, HWND) { return command(id, code); }
bool rpWin::getMinMaxInfo(MINMAXINFO*) { return false; }
bool rpWin::paint() { return false; }
bool rpWin::activated(int, bool) { return false; }
bool rpWin::enabled(bool) { return false; }
bool rpWin::gotFocus(rpWin*) { return false; }
bool rpWin::killedFocus(rpWin*) { return false; }
void rpWin::onShow(int) {}
void rpWin::onHide(int) {}
bool rpWin::resized(int, int, int) { return layoutChild(); }
bool rpWin::minimized(int, int) { return false; }
bool rpWin::timer(int) { return false; }
bool rpWin::queryMaximize() { return true; }
bool rpWin::deleteItem(int, DELETEITEMSTRUCT*) { return true; }
int rpWin::compareItem(void*, void*, COMPAREITEMSTRUCT*) { return 0; }

rpPoint rpWin::measureItem(MEASUREITEMSTRUCT*)
{
    rpPoint size;
    size.x = 200;
    size.y = 20;
    return size;
}

bool rpWin::paint(rpDevContext&, rpRect&, DRAWITEMSTRUCT&) { return false; }
void rpWin::menuSelect(rpMenu&, unsigned, unsigned) {}
void rpWin::menuInit(rpMenu&) {}
void rpWin::menuPopup(rpMenu&, int) {}
void rpWin::sysmenuPopup(rpMenu&) {}
void rpWin::onCreate() {}
bool rpWin::layoutChild() { return false; }
bool rpWin::notified(NMHDR*, LRESULT&) { return false; }
bool rpWin::other(rpEvent&) { return false; }
void rpWin::dropFiles(HDROP, int, rpPoint*, bool) {}
bool rpWin::mouse(int, rpPoint, int) { return false; }
bool rpWin::kbd(rpEvent&) { return false; }
bool rpWin::user(rpEvent&) { return false; }
bool rpWin::dde(rpEvent&) { return false; }
bool rpWin::getDialogCode(rpEvent&) { return false; }

bool rpWin::threadEnded(int, rpThread* thread)
{
    delete thread;
    return true;
}

bool rpWin::notifiedDDE(int, rpDDE*) { return false; }
bool rpWin::scrollRequest(int, int) { return false; }
