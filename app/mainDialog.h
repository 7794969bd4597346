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
    // WM_CONTEXTMENU from the list (right-click, Shift+F10, the menu key): the list menu.
    // WM_PROBEARGS: probes the files named on the command line.
    bool other(rpEvent& e) override;

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
    // Stores path as dllName, its file name as fn, and probes it.
    void probeFile(const char* path);
    // Probes the files named after the program's path on the command line (empty arguments
    // skipped), in order, as if they had been dropped on the window.
    void probeArguments(int argc, char** argv);
    // Opens the list menu: Copy (122), HTML copy (123) and Clear (121), each sending its
    // command. screen is where the menu opens; null opens it at the list's selected line.
    void showListMenu(const POINT* screen);

    // Posted by onCreate when the command line names files, so that they are probed once the
    // dialog is on screen.
    static constexpr UINT WM_PROBEARGS = WM_APP + 1;

    rpListBox* listBox;  // not owned: deletes itself with item 260; null before onCreate
};

#endif
