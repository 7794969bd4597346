// Everyday operations on a live window (placement, focus, text, message boxes) and the parent's
// forwarding of owner-draw, measure, compare, notify and scroll messages to control objects.
#include "rpWin.h"

#include "rpDevContext.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "rpModule.h"

namespace {
// SetWindowPos takes 16-bit coordinates on a live window: wrap, do not saturate.
inline int wrap16(int v) { return static_cast<short>(static_cast<unsigned short>(v & 0xFFFF)); }

constexpr int NumberTextMax = 300;  // getInt/getFloat read at most this many characters
}  // namespace

bool rpWin::setPos(rpPoint* pos, rpPoint* size)
{
    if (!pos && !size)
        return true;
    if (!hwnd) {
        // No window yet: only the frame for create(). A missing point keeps that part of it.
        if (pos) {
            int w = static_cast<int>(static_cast<unsigned>(frame.right) - static_cast<unsigned>(frame.left));
            int h = static_cast<int>(static_cast<unsigned>(frame.bottom) - static_cast<unsigned>(frame.top));
            frame.left = pos->x;
            frame.top = pos->y;
            if (!size) {
                frame.right = static_cast<int>(static_cast<unsigned>(w) + static_cast<unsigned>(frame.left));
                frame.bottom = static_cast<int>(static_cast<unsigned>(h) + static_cast<unsigned>(frame.top));
            }
        }
        if (size) {
            frame.right = static_cast<int>(static_cast<unsigned>(size->x) + static_cast<unsigned>(frame.left));
            frame.bottom = static_cast<int>(static_cast<unsigned>(size->y) + static_cast<unsigned>(frame.top));
        }
        return true;
    }
    UINT flags = SWP_NOZORDER;
    int x = 0, y = 0, cx = 0, cy = 0;
    if (pos) {
        x = wrap16(pos->x);
        y = wrap16(pos->y);
    } else {
        flags |= SWP_NOMOVE;
    }
    if (size) {
        cx = wrap16(size->x);
        cy = wrap16(size->y);
    } else {
        flags |= SWP_NOSIZE;
    }
    return SetWindowPos(hwnd, HWND_TOP, x, y, cx, cy, flags) != FALSE;
}

void rpWin::moveCenter()
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(hwnd, &r);
    rpPoint pos;
    pos.x = (GetSystemMetrics(SM_CXFULLSCREEN) - (r.right - r.left)) / 2;
    pos.y = (GetSystemMetrics(SM_CYFULLSCREEN) - (r.bottom - r.top)) / 2;
    setPos(&pos, nullptr);
}

bool rpWin::getPlacement(WINDOWPLACEMENT& placement)
{
    placement.length = sizeof(WINDOWPLACEMENT);
    return GetWindowPlacement(hwnd, &placement) != FALSE;
}

void rpWin::SetControl(HWND control, bool send)
{
    if (send)
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), 1);
    else
        PostMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), 1);
}

void rpWin::NextControl(bool send)
{
    if (send)
        SendMessageA(hwnd, WM_NEXTDLGCTL, 0, 0);
    else
        PostMessageA(hwnd, WM_NEXTDLGCTL, 0, 0);
}

void rpWin::PrevControl(bool send)
{
    if (send)
        SendMessageA(hwnd, WM_NEXTDLGCTL, 1, 0);
    else
        PostMessageA(hwnd, WM_NEXTDLGCTL, 1, 0);
}

bool rpWin::postParent(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND target = nullptr;
    if (parent)
        target = parent->hwnd;  // even when null: then the message goes to this thread's queue
    else if (hwnd)
        target = GetParent(hwnd);
    if (!parent && !target)
        return false;
    PostMessageA(target, msg, wParam, lParam);
    return true;
}

bool rpWin::peekMsg(UINT first, UINT last, UINT remove, MSG* msg)
{
    MSG scratch;
    return PeekMessageA(msg ? msg : &scratch, hwnd, first, last, remove) != FALSE;
}

int rpWin::msgBox(const char* text, int type, const char* caption)
{
    std::string title;
    if (caption) {
        title = caption;
    } else {
        if (Module)
            title = Module->moduleName;
        else
            title = "Rok++4";
    }
    return MessageBoxA(hwnd, text, title.c_str(), static_cast<UINT>(type));
}

// ---- Text as string and number

int rpWin::getText(std::string& out)
{
    int n = getTextLen();
    char local[904];
    char* buffer = local;
    if (n > 900) {
        buffer = new (std::nothrow) char[static_cast<size_t>(n) + 4];
        if (!buffer)
            return -1;
    } else if (n < 0) {
        n = 0;
    }
    int max = n + 4;
    buffer[0] = '\0';
    int got = getText(buffer, max);
    buffer[max - 1] = '\0';
    out.assign(buffer);
    if (buffer != local)
        delete[] buffer;
    return got;
}

void rpWin::setInt(int value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format ? format : "%d", value);
    setText(text);
}

int rpWin::getInt()
{
    char text[NumberTextMax + 1] = "";
    getText(text, NumberTextMax);
    text[NumberTextMax] = '\0';
    return std::atoi(text);
}

void rpWin::setFloat(float value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format ? format : "%g", static_cast<double>(value));
    setText(text);
}

float rpWin::getFloat()
{
    char text[NumberTextMax + 1] = "";
    getText(text, NumberTextMax);
    text[NumberTextMax] = '\0';
    return static_cast<float>(std::atof(text));
}

int rpWin::textHeight()
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    HDC dc = GetWindowDC(hwnd);
    HGDIOBJ previous = nullptr;
    if (font)
        previous = SelectObject(dc, font);
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, "abcdefgh", 8, &extent);
    if (font)
        SelectObject(dc, previous);
    ReleaseDC(hwnd, dc);
    return extent.cy;
}

// ---- Forwarding to the control objects

bool rpWin::drawItem(int itemId, DRAWITEMSTRUCT* dis)
{
    rpDevContext dc(dis->hDC);  // borrowed: the context stays the system's
    rpWin* control = GetWin(GetDlgItem(hwnd, itemId));
    if (!control)
        return false;
    rpRect rect;
    rect.left = dis->rcItem.left;
    rect.top = dis->rcItem.top;
    rect.right = dis->rcItem.right;
    rect.bottom = dis->rcItem.bottom;
    control->paint(dc, rect, *dis);
    return true;
}

bool rpWin::measureItem(int itemId, MEASUREITEMSTRUCT* mis)
{
    rpWin* control = GetWin(GetDlgItem(hwnd, itemId));
    rpPoint size;
    if (control) {
        size = control->measureItem(mis);
    } else {
        size.x = 200;
        size.y = 10;
    }
    mis->itemWidth = static_cast<UINT>(size.x);
    mis->itemHeight = static_cast<UINT>(size.y);
    return true;
}

bool rpWin::compareItem(rpEvent& e)
{
    COMPAREITEMSTRUCT* cis = reinterpret_cast<COMPAREITEMSTRUCT*>(e.lParam);
    rpWin* control = GetWin(GetDlgItem(hwnd, static_cast<int>(e.wParam)));
    if (control)
        e.result = control->compareItem(reinterpret_cast<void*>(cis->itemData1),
                                         reinterpret_cast<void*>(cis->itemData2), cis);
    else
        e.result = 0;
    return true;
}

bool rpWin::notified(int, NMHDR* nm, LRESULT& result)
{
    rpWin* sender = nm ? GetWin(nm->hwndFrom) : nullptr;
    return sender ? sender->notified(nm, result) : false;
}

bool rpWin::scrolled(int itemId, int code, int pos)
{
    rpWin* control = GetWin(GetDlgItem(hwnd, itemId));
    return control ? control->scrollRequest(code, pos) : false;
}
