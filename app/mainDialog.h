// mainDialog: the inspector's only window, a modal dialog from the template "MainDialog" with
// the result list (item 260), Open, Copy and Close. It probes the files the user picks or drops
// and copies the results to the clipboard.
// Ownership: the dialog and its list-box object belong to their windows and delete themselves
// when the windows are destroyed.
#ifndef INSPECTOR_MAIN_DIALOG_H
#define INSPECTOR_MAIN_DIALOG_H

#include "rpDialog.h"
#include "rpListBox.h"

class mainDialog : public rpDialogModal {
public:
    // Template "MainDialog", no parent window.
    mainDialog();

    // 120 Open, 121 clear, 122 Copy, 123 HTML copy: handled (true). Anything else goes to
    // rpDialog::command, which ends the dialog for IDCANCEL.
    bool command(int id, int code) override;
    // Centres the dialog, binds listBox to item 260 and accepts dropped files.
    void onCreate() override;
    // WM_DROPFILES: clears the list once, then probes every dropped file in drop order.
    void dropFiles(HDROP drop, int count, rpPoint* point, bool inClient) override;

    // Lets the user choose one file; true (with dllName and fn set) when one was chosen.
    bool getFile();
    // Probes dllName (see probe.h), appending to the list.
    void checkDll();
    // Every list line, each ended by CR LF, as CF_TEXT. An empty list leaves the clipboard alone.
    void dataCopy();
    // The last plug-in's collected strings as HTML table rows, as CF_TEXT.
    void dataCopy2();
    // LB_RESETCONTENT on the list.
    void clearList();

    rpListBox* listBox;  // not owned: deletes itself with item 260; null before onCreate
};

#endif
