// Identifiers shared by the inspector's code and its resource scripts (resources/*.rc).
#ifndef INSPECTOR_RESOURCE_H
#define INSPECTOR_RESOURCE_H

#include "app_version.h"  // generated: version numbers, title, caption, banner

#define IDI_INSPECTOR 1          // the application icon (the first icon is the one Explorer shows)

#define IDC_BANNER 100           // static build-banner label
#define IDC_OPEN 120             // Open button: choose one file and probe it
#define IDC_CLEAR 121            // command without a control: clear the list
#define IDC_COPY 122             // Copy button: the list as text to the clipboard
#define IDC_COPYHTML 123         // command without a control: the last plug-in's strings as HTML rows
#define IDC_STOP 124             // Stop button (and Esc): stop the running batch
#define IDC_OPENFOLDER 125       // command without a control: choose a folder and probe its tree
#define IDC_SAVE 126             // command without a control: save the list as text or HTML
#define IDC_AGAIN 127            // command without a control: probe the list's files again (F5)
#define IDC_FOCUSFILTER 128      // command without a control: the focus to the filter (Ctrl+F)
#define IDC_VALIDATE 129         // command without a control: probe the list's files again with the checks
#define IDC_FILTERLABEL 130      // static label of the filter box
#define IDC_FILTER 131           // edit box: show only the blocks with a line containing its text
#define IDC_PROBLEMS 132         // check box: show only the blocks of files with a problem
#define IDC_STATUS 133           // static status line: the facts of the selected block's file
#define IDC_RESULTS 260          // list box with the probe lines

#endif
