// rpListBox: the list-box control. When linked, its variable is an int holding the zero-based
// index of the selected item (-1: none); items can be added from a null-terminated array.
#ifndef RP_LISTBOX_H
#define RP_LISTBOX_H

#include "rpControl.h"

#include <string>
#include <vector>

class rpListBox : public rpControl {
public:
    // A list box over item `id` of parent (window class "ListBox"); binds at once when the item
    // exists, and then keeps the item's own style.
    rpListBox(rpWin* parent, int id, int style);
    rpListBox(rpWin* parent, const char* className, int id, int style);
    ~rpListBox() override;

    using rpControl::linkObject;
    // Links the selection variable (not owned) and appends each string of the null-terminated
    // items array with LB_ADDSTRING. The selection is not touched.
    void linkObject(int* selection, char** items);
    void linkMapObject(rpCtrlMap* entry) override;  // selection = object, items = extra
    void updateObject() override;    // LB_GETCURSEL -> variable
    void updateScreen() override;    // variable -> LB_SETCURSEL
    bool isModified() override;      // the selection differs from the variable

    // The selected item's text (LB_GETTEXT); returns its length, or the negative LB_GETCURSEL
    // answer with text emptied when nothing is selected. The caller's buffer must hold the item.
    int getSel(char* text);
    // The same into a buffer of `size` bytes: a longer item is cut at a whole Shift-JIS
    // character and the length of what was stored is returned.
    int getSel(char* text, int size);
    // Scrolls the last item to the top (LB_SETTOPINDEX); returns and records 0 or LB_ERR.
    int showLast();

    // LB_ADDSTRING: the new item's index, or LB_ERR / LB_ERRSPACE.
    int addString(const char* text);
    // LB_INITSTORAGE: reserves room for `items` more items of `bytes` bytes of text in all, so
    // that adding them does not grow the list's storage item by item. Returns the number of
    // items there is room for, or LB_ERRSPACE.
    int initStorage(int items, int bytes);
    // LB_GETCOUNT: the number of items.
    int count();
    // LB_GETTEXT of item index into a buffer of `size` bytes: a longer item is cut at a whole
    // Shift-JIS character. Returns the length stored, or -1 (text emptied) for a bad index.
    int getText(int index, char* text, int size);
    // The whole text of item index (LB_GETTEXTLEN sizes it); empty for a bad index.
    std::string getText(int index);
    // LB_RESETCONTENT: removes every item.
    void resetContent();
    // WM_SETREDRAW: holds (false) or resumes (true) drawing; resuming repaints the list.
    void setRedraw(bool redraw);
    // LB_GETCURSEL: the selected item's index, or LB_ERR when none is selected.
    int getCurSel();

    // LB_GETHORIZONTALEXTENT: how wide, in pixels, the list's items may be scrolled sideways.
    int getHorizontalExtent();
    // LB_SETHORIZONTALEXTENT: a list with WS_HSCROLL shows its horizontal scroll bar while
    // `pixels` is wider than the list.
    void setHorizontalExtent(int pixels);
    // The widest of the texts as the list draws an item: measured in the list's font
    // (WM_GETFONT) with the item's margins, in pixels; 0 for none.
    int textWidth(const std::vector<std::string>& texts);
};

#endif
