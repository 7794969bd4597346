// rpControl: the window object of a child control inside a dialog or window. Binds to a dialog
// item by id, drags a partner item along when shown or enabled, turns F1/Enter/Esc/Tab into
// commands and focus moves for the parent, and links the control to an application variable.
#ifndef RP_CONTROL_H
#define RP_CONTROL_H

#include "rpWin.h"

class rpDialog;
class rpControl;

// One entry of a dialog's control map; a map is an array ending with an entry whose factory is
// null. The dialog calls the factory, then the control's linkMapObject(entry), which decides
// which of objectSize and extra it uses.
struct rpCtrlMap {
    rpControl* (*factory)(rpDialog* dialog, int id);  // must return the control bound to item id
    void* object;      // the application variable shown by the control (not owned)
    int id;            // dialog control id
    int objectSize;    // passed with object to linkObject(void*, int) of a plain control
    void* extra;       // list box: null-terminated item array; scroll bar: min, max, page step
};

class rpControl : public rpWin {
public:
    // Wraps an existing control. link true: subclassed, registered, and deleted with its window;
    // link false: only the handle is kept (the window is neither subclassed nor registered).
    rpControl(HWND handle, bool link);
    // A control of parent with the given window class and id; style is ORed into the creation
    // style. Binds at once when parent's window already has an item with this id.
    rpControl(rpWin* parent, const char* className, int id, int style);
    ~rpControl() override;

    rpControl(const rpControl&) = delete;
    rpControl& operator=(const rpControl&) = delete;

    // Binds to the parent's dialog item `id` if not bound yet; true when bound.
    bool tryLink();

    // Shows/enables the control and then its partner; the answer is the control's own.
    bool show(int cmdShow) override;
    bool enable(bool flag) override;

    // F1 -> WM_COMMAND(20, id), Enter -> WM_COMMAND(21, id), Esc -> WM_COMMAND(IDCANCEL),
    // Tab / Shift+Tab -> next / previous dialog control. Handled keys never reach the control.
    bool kbd(rpEvent& e) override;
    // WM_GETDLGCODE: the control's own code plus DLGC_WANTALLKEYS (not reached through the
    // dispatcher, which routes that message to getDialogCode).
    bool other(rpEvent& e) override;

    virtual void linkObject(void* object, int size);
    virtual void linkMapObject(rpCtrlMap* entry);
    // Finds the dialog item with the next id and makes it the partner.
    virtual void joinPartner();
    virtual void updateObject();   // screen -> variable; nothing here
    virtual void updateScreen();   // variable -> screen; nothing here
    virtual bool isModified();
    virtual void modified(bool flag);
    virtual int getCheck();                          // BM_GETCHECK
    virtual int setCheck(int state);                 // BM_SETCHECK
    virtual int getState();                          // BM_GETSTATE
    virtual int setState(int state);                 // BM_SETSTATE
    virtual int setStyle(int style, bool redraw);    // BM_SETSTYLE
    virtual int click();                             // BM_CLICK

    // The control's id as the window knows it, or the stored id without a window.
    int controlId();

    bool modifiedFlag;
    void* object;        // linked application variable, not owned
    int objectSize;
    // The item with the next id. Its window belongs to the dialog and is never touched when
    // the partner is let go. A plain wrapper made by joinPartner is owned and deleted with this
    // control (or when another item is joined); a partner that was already a registered object
    // belongs to its own window: it is never deleted here, and forgotten when it goes first.
    rpControl* partner;

protected:
    void forget(rpWin* gone) override;

private:
    void releasePartner();
    bool partnerWrapped;     // partner is a plain wrapper made by joinPartner
};

#endif
