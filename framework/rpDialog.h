// rpDialog: a dialog box from a resource or in-memory template as a window object. Bound at
// WM_INITDIALOG, it builds its controls from its control map and ends through OK (values copied
// back) or Cancel/close (asks before discarding changes). rpDialogModal runs one modally.
// Ownership: a dialog object belongs to its window and deletes itself when the window is
// destroyed; the template and the control map are not owned.
#ifndef RP_DIALOG_H
#define RP_DIALOG_H

#include "rpControl.h"

class rpDialog : public rpWin {
public:
    // Class name "rpDialog", automatic id, result IDCANCEL.
    explicit rpDialog(rpWin* parent, const char* templateName = nullptr,
                      rpCtrlMap* ctrlMap = nullptr);
    ~rpDialog() override;

    rpDialog(const rpDialog&) = delete;
    rpDialog& operator=(const rpDialog&) = delete;

    // WM_INITDIALOG: controls from the map, then onCreate(). True: the system sets the focus.
    bool initialProc();
    // Shows each mapped variable in its control. The first call builds the controls through
    // their factories and links them; an object that binds to no item is deleted at once. Later
    // calls only refresh the controls already built.
    void updateScreen();
    // Copies the values of the modified mapped controls back into their variables.
    void linkMapObject();
    // Whether any mapped control (found through the registry) is modified.
    bool isModifiedMapData();

    // Cancel or close: asks "変更を保存せずに終了してよろしいですか？" when something is
    // modified; true lets the dialog end.
    bool queryClose() override;
    // IDOK: queryOk(), result 1, okProc(), destroy(). IDCANCEL: queryClose(), result 2,
    // destroy(). Both are then handled; other ids are not.
    bool command(int id, int code) override;
    using rpWin::command;

    // A keyboard message (WM_KEYFIRST..WM_KEYLAST) for the dialog or one of its controls, offered
    // while the dialog runs modally, before the dialog manager sees it: true takes it. Here the
    // module's accelerators (the "KeyAccel" table, rpModule::accelerators) become commands of
    // the dialog, so that they work inside the dialog's own modal loop as in the application's.
    virtual bool translateKeys(MSG& msg);

    virtual bool isModified();   // isModifiedMapData()
    virtual bool queryOk();      // true: OK may end the dialog
    virtual void okProc();       // copies modified values back when anything is modified

    const char* templateName;          // resource name or MAKEINTRESOURCE id; not owned
    const DLGTEMPLATE* templateData;   // in-memory template, preferred when set; not owned
    rpCtrlMap* ctrlMap;                // control map or null; not owned
    int result;                        // end code passed to EndDialog

private:
    bool mapBuilt;                     // updateScreen has built the map's controls
};

// A dialog run modally by the system's dialog-box calls. While one runs, a message filter hook
// (WH_MSGFILTER) of its thread offers its keyboard messages to translateKeys().
class rpDialogModal : public rpDialog {
public:
    explicit rpDialogModal(rpWin* parent, const char* templateName = nullptr,
                           rpCtrlMap* ctrlMap = nullptr);
    // Leaves the thread's running dialogs (the dialog is deleted with its window, inside its
    // modal loop).
    ~rpDialogModal() override;

    // Ends the modal loop with `result` (EndDialog).
    bool destroy() override;

    // Creates and runs the dialog; returns resultx: the end code, or -1 when the dialog box
    // could not be created (a dialog may also end itself with -1: create() tells the two apart).
    // After a dialog that ran, the object has deleted itself.
    virtual int run();
    // Runs the dialog box; true when it ran (the object is then gone, whatever the end code),
    // false (lastError -1) when it could not be created.
    virtual bool create();
};

// The dialog procedure passed to the dialog-box calls; binds NewDialog at WM_INITDIALOG. The
// bound dialog then meets every message once, through rpWinProc: this procedure answers FALSE
// to what the handlers left, so that the system's default dialog processing runs.
INT_PTR CALLBACK rpDlgProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);

// The dialog whose box is being created (set by create(), taken at WM_INITDIALOG).
extern rpDialog* NewDialog;
// The value returned by the last modal dialog-box call.
extern int resultx;

#endif
