// rpEdit: the edit-box control over a dialog item: its selection and length limit (its text is
// the window text, rpWin::getText).
// Ownership: like every control object, it belongs to its window and deletes itself with it.
#ifndef RP_EDIT_H
#define RP_EDIT_H

#include "rpControl.h"

class rpEdit : public rpControl {
public:
    // An edit box over item `id` of parent (window class "Edit"); binds at once when the item
    // exists, and then keeps the item's own style.
    rpEdit(rpWin* parent, int id, int style);
    ~rpEdit() override;

    // EM_SETSEL: selects characters start .. end - 1; (0, -1) selects everything.
    void setSel(int start, int end);
    // EM_LIMITTEXT: the most bytes the user can type into the box.
    void limitText(int bytes);
};

#endif
