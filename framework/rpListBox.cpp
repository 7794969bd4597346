// The list-box control: items, selection and the linked selection index.
#include "rpListBox.h"

#include "rpStrings.h"

#include <algorithm>
#include <vector>

rpListBox::rpListBox(rpWin* parentWin, int controlIdValue, int styleBits)
    : rpControl(parentWin, "ListBox", controlIdValue, styleBits)
{
}

rpListBox::rpListBox(rpWin* parentWin, const char* className, int controlIdValue, int styleBits)
    : rpControl(parentWin, className, controlIdValue, styleBits)
{
}

rpListBox::~rpListBox() = default;

void rpListBox::linkObject(int* selection, char** items)
{
    object = selection;
    objectSize = 0;
    if (!items)
        return;
    for (char** item = items; *item; ++item)
        SendMessageA(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(*item));
}

void rpListBox::linkMapObject(rpCtrlMap* entry)
{
    linkObject(static_cast<int*>(entry->object), static_cast<char**>(entry->extra));
}

void rpListBox::updateObject()
{
    if (object)
        *static_cast<int*>(object) = static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
}

void rpListBox::updateScreen()
{
    if (object)
        SendMessageA(hwnd, LB_SETCURSEL, static_cast<WPARAM>(*static_cast<int*>(object)), 0);
}

bool rpListBox::isModified()
{
    if (!object)
        return false;
    return static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0)) != *static_cast<int*>(object);
}

int rpListBox::getSel(char* text)
{
    const int index = static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
    if (index < 0) {
        text[0] = '\0';
        return index;
    }
    return static_cast<int>(
        SendMessageA(hwnd, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}

int rpListBox::getSel(char* text, int size)
{
    if (!text || size <= 0)
        return -1;
    text[0] = '\0';
    const int index = static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
    if (index < 0)
        return index;
    return getText(index, text, size);
}

int rpListBox::showLast()
{
    const LRESULT count = SendMessageA(hwnd, LB_GETCOUNT, 0, 0);
    lastError = 0;
    if (count > 0)
        lastError = static_cast<int>(
            SendMessageA(hwnd, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0));
    return lastError;
}

int rpListBox::addString(const char* text)
{
    return static_cast<int>(SendMessageA(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

int rpListBox::initStorage(int items, int bytes)
{
    return static_cast<int>(SendMessageA(hwnd, LB_INITSTORAGE, static_cast<WPARAM>(items), static_cast<LPARAM>(bytes)));
}

int rpListBox::count()
{
    return static_cast<int>(SendMessageA(hwnd, LB_GETCOUNT, 0, 0));
}

std::string rpListBox::getText(int index)
{
    const LRESULT length = SendMessageA(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return std::string();
    std::vector<char> whole(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(hwnd, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(whole.data()));
    return whole.data();
}

int rpListBox::getText(int index, char* text, int size)
{
    if (!text || size <= 0)
        return -1;
    text[0] = '\0';
    const LRESULT length = SendMessageA(hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return -1;
    // An item that fits, the common case, goes straight into the caller's buffer: two messages
    // and no copy, which is what reading a whole list costs per line. LB_GETTEXTLEN may
    // overstate the length, never understate it.
    if (length < size) {
        const LRESULT got =
            SendMessageA(hwnd, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        if (got < 0) {
            text[0] = '\0';
            return -1;
        }
        return static_cast<int>(got);
    }
    std::vector<char> whole(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(hwnd, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(whole.data()));
    return rpStrncpy(text, whole.data(), size);
}

void rpListBox::resetContent()
{
    SendMessageA(hwnd, LB_RESETCONTENT, 0, 0);
}

void rpListBox::setRedraw(bool redraw)
{
    SendMessageA(hwnd, WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
    if (redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

int rpListBox::getCurSel()
{
    return static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
}

int rpListBox::getHorizontalExtent()
{
    return static_cast<int>(SendMessageA(hwnd, LB_GETHORIZONTALEXTENT, 0, 0));
}

void rpListBox::setHorizontalExtent(int pixels)
{
    SendMessageA(hwnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(pixels > 0 ? pixels : 0), 0);
}

int rpListBox::textWidth(const std::vector<std::string>& texts)
{
    if (texts.empty() || !hwnd)
        return 0;
    HDC dc = GetDC(hwnd);
    if (!dc)
        return 0;
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    int widest = 0;
    for (const std::string& text : texts) {
        SIZE size = {0, 0};
        if (!text.empty() && GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size))
            widest = std::max(widest, static_cast<int>(size.cx));
    }
    if (previous)
        SelectObject(dc, previous);
    ReleaseDC(hwnd, dc);
    // The list draws an item's text a pixel in from its left edge; the edges' width on both
    // sides keeps the last character clear of the border when scrolled to the end.
    return widest > 0 ? widest + 2 * GetSystemMetrics(SM_CXEDGE) : 0;
}
