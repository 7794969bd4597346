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
#define IDC_STOP 124             // command without a control: stop the running batch
#define IDC_OPENFOLDER 125       // command without a control: choose a folder and probe its tree
#define IDC_SAVE 126             // command without a control: save the list as text or HTML
#define IDC_VALIDATE 127         // command without a control: probe the list's files again with the checks
#define IDC_RESULTS 260          // list box with the probe lines

#endif
