// rpScrollBar: a scroll-bar control used as an integer input. It keeps its own position, range
// and page step, clamps every change into the range, shows the value as decimal text in its
// partner (the item with the next id) and links to an int of the application.
#ifndef RP_SCROLLBAR_H
#define RP_SCROLLBAR_H

#include "rpControl.h"

class rpScrollBar : public rpControl {
public:
    // A bar over item `id` of parent (window class "Scrollbar"), bound at once when the item
    // exists; starts with range 0..100, position 50, page step 10.
    rpScrollBar(rpWin* parent, int id, long style);
    ~rpScrollBar() override;

    // Creates the bar's own window and applies the defaults to it.
    bool create();

    // Moves to pos; false (nothing changes) outside [minimum, maximum]. The partner shows pos.
    bool setSel(int pos, bool redraw);
    // Range (SIF_RANGE; refused when min > max; derives the page step), position (SIF_POS),
    // then clamps the position and mirrors everything to the system bar.
    bool setRangeAll(int min, int max, int pos, int page, unsigned mask, bool redraw);
    // Moves for one WM_HSCROLL/WM_VSCROLL code; always true.
    bool scroll(int code, int thumbPos);

    using rpControl::linkObject;
    // Links the variable (not owned); range, when given, points to min, max and page step.
    void linkObject(int* value, int* range);
    void linkMapObject(rpCtrlMap* entry) override;  // value = object, range = extra
    // Restores the defaults and finds the partner.
    void joinPartner() override;
    void updateObject() override;    // position -> variable
    void updateScreen() override;    // variable -> position (ignored when out of range)
    bool isModified() override;      // the variable differs from the position
    // A scroll message that the parent's scrolled() forwards to this bar: scroll(); true.
    bool scrollRequest(int code, int pos) override;

    int barType;     // SB_CTL: the scroll functions address the control itself
    int position;
    int minimum;
    int maximum;
    int pageStep;
};

#endif
