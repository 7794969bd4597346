// Identifiers shared by the inspector's code and its resource scripts (resources/*.rc).
#ifndef INSPECTOR_RESOURCE_H
#define INSPECTOR_RESOURCE_H

#define IDI_INSPECTOR 1          // the application icon (the first icon is the one Explorer shows)

#define IDC_BANNER 100           // static build-banner label
#define IDC_OPEN 120             // Open button: choose one file and probe it
#define IDC_CLEAR 121            // command without a control: clear the list
#define IDC_COPY 122             // Copy button: the list as text to the clipboard
#define IDC_COPYHTML 123         // command without a control: the last plug-in's strings as HTML rows
#define IDC_RESULTS 260          // list box with the probe lines

// The version comes from the CMake project version (RP_VERSION_MAJOR/MINOR/PATCH).
#ifndef RP_VERSION_MAJOR
#define RP_VERSION_MAJOR 0
#define RP_VERSION_MINOR 0
#define RP_VERSION_PATCH 0
#endif
#define RP_VERSION_STR2(x) #x
#define RP_VERSION_STR(x) RP_VERSION_STR2(x)
#define RP_VERSION_STRING \
    RP_VERSION_STR(RP_VERSION_MAJOR) "." RP_VERSION_STR(RP_VERSION_MINOR) "." RP_VERSION_STR(RP_VERSION_PATCH)

// The tool's title; the caption is the title, two blanks and the version.
#define INSPECTOR_TITLE "プラグイン インスペクタ"
#define INSPECTOR_CAPTION INSPECTOR_TITLE "  " RP_VERSION_STRING

#endif
