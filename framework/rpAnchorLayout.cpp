// Anchored placement of a dialog's controls.
#include "rpAnchorLayout.h"

void rpAnchorLayout::add(int id, unsigned anchors)
{
    items_.push_back({id, anchors, {0, 0, 0, 0}});
}

void rpAnchorLayout::capture(HWND dialog)
{
    dialog_ = dialog;
    RECT client = {0, 0, 0, 0};
    GetClientRect(dialog, &client);
    client_ = {client.right, client.bottom};
    RECT window = {0, 0, 0, 0};
    GetWindowRect(dialog, &window);
    minimum_ = {window.right - window.left, window.bottom - window.top};
    for (Item& item : items_) {
        HWND control = GetDlgItem(dialog, item.id);
        RECT place = {0, 0, 0, 0};
        if (control) {
            GetWindowRect(control, &place);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        }
        item.place = place;
    }
}

void rpAnchorLayout::apply()
{
    if (!dialog_ || IsIconic(dialog_))
        return;
    RECT client = {0, 0, 0, 0};
    GetClientRect(dialog_, &client);
    // A client area smaller than the template's (only while the window is being made, or on a
    // screen smaller than the minimum) keeps the template's places.
    const int dx = client.right > client_.cx ? client.right - client_.cx : 0;
    const int dy = client.bottom > client_.cy ? client.bottom - client_.cy : 0;
    HDWP moves = BeginDeferWindowPos(static_cast<int>(items_.size()));
    for (const Item& item : items_) {
        HWND control = GetDlgItem(dialog_, item.id);
        if (!control)
            continue;
        RECT place = item.place;
        if (item.anchors & Right) {
            place.right += dx;
            if (!(item.anchors & Left))
                place.left += dx;
        }
        if (item.anchors & Bottom) {
            place.bottom += dy;
            if (!(item.anchors & Top))
                place.top += dy;
        }
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
        if (moves)
            moves = DeferWindowPos(moves, control, nullptr, place.left, place.top, place.right - place.left,
                                   place.bottom - place.top, flags);
        else
            SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top, flags);
    }
    if (moves)
        EndDeferWindowPos(moves);
    // Controls that moved leave their old places to be painted by the dialog.
    InvalidateRect(dialog_, nullptr, TRUE);
}
