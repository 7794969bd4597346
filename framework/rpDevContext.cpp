// Device-context wrappers and their selection table.
#include "rpDevContext.h"

#include "rpWin.h"

// ---- rpDrawObj

rpDrawObj::rpDrawObj(HGDIOBJ object, bool owning) : rpObject("rpDrawObj"), handle(object), owns(owning) {}

rpDrawObj::~rpDrawObj()
{
    if (owns && handle)
        DeleteObject(handle);
    handle = nullptr;
}

// ---- rpDevInfo

rpDevInfo::rpDevInfo(HDC dc, bool owning) : rpObject("rpDevInfo"), hdc(dc)
{
    owner = owning;
}

rpDevInfo::~rpDevInfo()
{
    if (owner && hdc)
        DeleteDC(hdc);
    hdc = nullptr;
}

// ---- rpDevContext

rpDevContext::rpDevContext(HDC dc) : rpDevInfo(dc, false)
{
    initTable();
}

rpDevContext::rpDevContext(HDC dc, bool owning) : rpDevInfo(dc, owning)
{
    initTable();
}

rpDevContext::~rpDevContext()
{
    restoreSelection(-1);
}

void rpDevContext::initTable()
{
    for (int k = 0; k < Kinds; ++k) {
        drawObj[k] = nullptr;
        selected[k] = nullptr;
        autoDelete[k] = false;
        original[k] = nullptr;
    }
    clipFound = nullptr;
    clipSaved = false;
}

HGDIOBJ rpDevContext::selectRaw(int kind, HGDIOBJ handle)
{
    if (!hdc || !handle)
        return nullptr;
    if (kind == RP_PALETTE)
        return SelectPalette(hdc, static_cast<HPALETTE>(handle), FALSE);
    return SelectObject(hdc, handle);
}

void rpDevContext::saveClip()
{
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    if (copy && GetClipRgn(hdc, copy) != 1) {
        DeleteObject(copy);  // no clip region: restoring removes the one selected
        copy = nullptr;
    }
    clipFound = copy;
    clipSaved = true;
}

HGDIOBJ rpDevContext::select(WHICHOBJ kind, HGDIOBJ handle, bool owned)
{
    return selectEntry(kind, handle, nullptr, owned);
}

HGDIOBJ rpDevContext::select(WHICHOBJ kind, rpDrawObj* object, bool owned)
{
    return selectEntry(kind, object ? object->handle : nullptr, object, owned);
}

HGDIOBJ rpDevContext::selectEntry(int kind, HGDIOBJ handle, rpDrawObj* object, bool owned)
{
    if (kind < 0 || kind >= Kinds)
        return nullptr;
    const bool same = handle && handle == selected[kind] && object == drawObj[kind];
    const bool first = !selected[kind];
    if (kind == RP_REGION && first && hdc)
        saveClip();
    HGDIOBJ before = selectRaw(kind, handle);
    if (!before || before == HGDI_ERROR) {
        // What the table holds is still selected, so it stays; an owned newcomer is in use
        // nowhere and goes now.
        if (kind == RP_REGION && first && clipSaved) {
            if (clipFound)
                DeleteObject(clipFound);
            clipFound = nullptr;
            clipSaved = false;
        }
        if (owned && !same) {
            if (object)
                delete object;
            else if (handle)
                DeleteObject(handle);
        }
        return nullptr;
    }
    if (same) {
        autoDelete[kind] = autoDelete[kind] || owned;
        return before;
    }
    if (first && kind != RP_REGION)
        original[kind] = before;
    // The entry this kind held has just been replaced in the context, so it may go.
    if (drawObj[kind]) {
        if (autoDelete[kind])
            delete drawObj[kind];
    } else if (autoDelete[kind] && selected[kind] && selected[kind] != handle) {
        DeleteObject(selected[kind]);
    }
    drawObj[kind] = object;
    selected[kind] = handle;
    autoDelete[kind] = owned;
    return before;
}

void rpDevContext::restoreSelection(int kind)
{
    if (kind == -1) {
        for (int k = 0; k < Kinds; ++k)
            restoreSelection(k);
        return;
    }
    if (kind < 0 || kind >= Kinds)
        return;
    // Put back what the context held before, so that an owned object is no longer selected when
    // it is deleted and a borrowed context is handed back as it was found. A region was copied
    // into the clip when selected, so it is never in use itself.
    bool deselected = false;
    if (kind == RP_REGION) {
        if (clipSaved) {
            if (hdc)
                SelectClipRgn(hdc, clipFound);
            if (clipFound)
                DeleteObject(clipFound);
            clipFound = nullptr;
            clipSaved = false;
        }
        deselected = true;
    } else if (original[kind]) {
        selectRaw(kind, original[kind]);
        deselected = true;
    } else if (selected[kind]) {
        selectRaw(kind, selected[kind]);
    }
    if (drawObj[kind]) {
        if (autoDelete[kind])
            delete drawObj[kind];
    } else if (autoDelete[kind] && selected[kind] && deselected) {
        DeleteObject(selected[kind]);
    }
    selected[kind] = nullptr;
    drawObj[kind] = nullptr;
    original[kind] = nullptr;
}

// ---- rpWinDC

rpWinDC::rpWinDC(HWND window, rpWin* winObject, int mode) : rpDevContext(nullptr, true), win(nullptr), hwnd(nullptr)
{
    setWinHandle(window, winObject, mode);
}

rpWinDC::~rpWinDC()
{
    // Release first; the base destructors then find no context and only delete owned objects.
    // The table is restored while the context still exists, so nothing owned stays selected.
    restoreSelection(-1);
    if (owner && hdc)
        ReleaseDC(hwnd, hdc);
    hdc = nullptr;
}

void rpWinDC::setWinHandle(HWND window, rpWin* winObject, int mode)
{
    // A context already held belongs to the previous window: give it back before taking another.
    if (hdc) {
        restoreSelection(-1);
        if (owner)
            ReleaseDC(hwnd, hdc);
        hdc = nullptr;
    }
    win = winObject;
    hwnd = winObject ? winObject->hwnd : window;
    if (mode == 0)
        hdc = GetDC(hwnd);
    else if (mode == 1)
        hdc = GetWindowDC(hwnd);
}
