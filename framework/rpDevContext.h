// Device contexts: rpDevInfo holds an HDC (and deletes it when it created it), rpDevContext adds
// a selection table of the drawing objects selected through it, rpWinDC gets and releases a
// window's (or the screen's) context. A borrowed context (owner false) is never released here.
#ifndef RP_DEV_CONTEXT_H
#define RP_DEV_CONTEXT_H

#include <windows.h>

#include "rpObject.h"

class rpWin;

// Kinds of selectable drawing objects; the palette (selected with SelectPalette) is kind 5.
enum WHICHOBJ {
    RP_PEN = 0,
    RP_BRUSH = 1,
    RP_FONT = 2,
    RP_BITMAP = 3,
    RP_REGION = 4,
    RP_PALETTE = 5,
};

// A GDI object with its wrapper; a context may hold it and delete it through the virtual
// destructor, which deletes the GDI object when `owns` is set.
class rpDrawObj : public rpObject {
public:
    explicit rpDrawObj(HGDIOBJ object, bool owning = true);
    ~rpDrawObj() override;
    rpDrawObj(const rpDrawObj&) = delete;
    rpDrawObj& operator=(const rpDrawObj&) = delete;

    HGDIOBJ handle;  // owned when `owns` is set
    bool owns;
};

class rpDevInfo : public rpObject {
public:
    // owning: the context was created for this object and is ended with DeleteDC.
    explicit rpDevInfo(HDC dc = nullptr, bool owning = false);
    ~rpDevInfo() override;
    rpDevInfo(const rpDevInfo&) = delete;
    rpDevInfo& operator=(const rpDevInfo&) = delete;

    HDC hdc;  // null when there is none; owned when `owner` is set
};

class rpDevContext : public rpDevInfo {
public:
    static constexpr int Kinds = 6;

    // Wraps a context that belongs to someone else (owner false).
    explicit rpDevContext(HDC dc);
    // Puts back what it found in the context and deletes the objects it owns.
    ~rpDevContext() override;

    void initTable();
    // Selects handle into the context and returns the handle selected before (for the region
    // kind, SelectObject's region complexity). The entry this kind held is released (deleted
    // when it was owned); autoDelete hands handle to the context. Selecting the entry the kind
    // already holds changes nothing, and it stays owned if it was. When the selection fails
    // (no context, unusable handle) the result is null, the table and the context keep what
    // they had, and an owned handle passed in is deleted at once: it was never selected.
    HGDIOBJ select(WHICHOBJ kind, HGDIOBJ handle, bool autoDelete);
    HGDIOBJ select(WHICHOBJ kind, rpDrawObj* object, bool autoDelete);
    // One kind, or all six in order when kind is -1: puts back the object the context held
    // before the first select through this table (for the region kind, its clip region), then
    // deletes the owned entry.
    void restoreSelection(int kind);

    rpDrawObj* drawObj[Kinds];  // wrapper selected through select(kind, rpDrawObj*); owned when autoDelete
    HGDIOBJ selected[Kinds];    // handle last selected through this object
    bool autoDelete[Kinds];     // the entry of that kind is owned by the context
    HGDIOBJ original[Kinds];    // what the context held before the first select; not owned
    // The region kind has no handle to put back: SelectObject copies a region into the clip.
    HRGN clipFound;             // owned: copy of the clip region found before the first region
                                // select; null when the context had none
    bool clipSaved;             // clipFound is what restoring the region kind puts back

protected:
    rpDevContext(HDC dc, bool owning);

private:
    HGDIOBJ selectRaw(int kind, HGDIOBJ handle);
    HGDIOBJ selectEntry(int kind, HGDIOBJ handle, rpDrawObj* object, bool owned);
    void saveClip();
};

// The context of a window (mode 0: client area, GetDC; mode 1: whole window, GetWindowDC) or,
// with no window, of the screen. Released with ReleaseDC at destruction.
class rpWinDC : public rpDevContext {
public:
    rpWinDC(HWND window, rpWin* winObject, int mode);
    ~rpWinDC() override;

    // win's handle replaces window when win is given; modes other than 0 and 1 get no context.
    // A context held from an earlier call is restored and released first.
    void setWinHandle(HWND window, rpWin* winObject, int mode);

    rpWin* win;  // not owned
    HWND hwnd;   // the window the context belongs to; null for the screen
};

#endif
