// rpAnchorLayout: keeps the controls of a resizable dialog at their places against its edges.
// Each control is anchored to edges of the dialog's client area: it keeps its distance to each
// edge it is anchored to, so a control anchored left and right grows with the width, one
// anchored right only moves with the right edge, and one anchored left only stays. The places
// are taken from the controls as they are when capture() is called, in the pixels of the
// dialog's font and DPI at that time: the template's layout, scaled by the system.
// Ownership: borrows the dialog's window; owns nothing.
#ifndef RP_ANCHOR_LAYOUT_H
#define RP_ANCHOR_LAYOUT_H

#include <windows.h>

#include <vector>

class rpAnchorLayout {
public:
    enum Anchor : unsigned {
        Left = 1,
        Top = 2,
        Right = 4,
        Bottom = 8,
        TopLeft = Left | Top,
        TopRight = Right | Top,
        BottomLeft = Left | Bottom,
        BottomRight = Right | Bottom,
        TopLeftRight = Left | Right | Top,
        BottomLeftRight = Left | Right | Bottom,
        All = Left | Top | Right | Bottom,
    };

    rpAnchorLayout() = default;

    // Anchors item `id` of the dialog; items not added stay where they are.
    void add(int id, unsigned anchors);
    // Takes the dialog's client size, its window size and every added item's rectangle as
    // they are now: the layout that apply() keeps and the least size of the window.
    void capture(HWND dialog);
    // Moves and sizes the added items for the dialog's client size now; nothing before
    // capture() or while the dialog is minimised. Where the client area is smaller than at
    // capture() (a screen smaller than the minimum), the items keep their captured places.
    void apply();
    // The window's size at capture(): the least track size (WM_GETMINMAXINFO). 0, 0 before.
    POINT minimumSize() const { return minimum_; }
    bool captured() const { return dialog_ != nullptr; }

private:
    struct Item {
        int id;
        unsigned anchors;
        RECT place;  // in the client area at capture()
    };

    HWND dialog_ = nullptr;  // not owned
    SIZE client_ = {0, 0};   // the client size at capture()
    POINT minimum_ = {0, 0};
    std::vector<Item> items_;
};

#endif
