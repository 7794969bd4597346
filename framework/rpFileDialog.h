// The common file-open, file-save and folder dialogs. Each object keeps its own buffers and the
// directory of its last result, which becomes the starting directory of its next run.
// Ownership: filterBuf, defExt and mmFilterBuf are owned (freed when replaced or destroyed). The
// objects are run by the system's dialog functions, never bound to a window, so they may live on
// the stack.
#ifndef RP_FILE_DIALOG_H
#define RP_FILE_DIALOG_H

#include "rpDialog.h"

#include <windows.h>
#include <commdlg.h>

// The folder to preselect while a browse dialog is open (one browse dialog at a time).
extern char current0[304];

// Common base: the record handed to the file dialogs and the filter list.
class rpGetFileName : public rpDialogModal {
public:
    static constexpr int FileBufSize = 5000;
    static constexpr int MaxFile = 300;      // what the dialog is told fileBuf holds
    static constexpr int maxfilter2 = 100;   // strings setFilters looks at

    explicit rpGetFileName(rpWin* parent);
    ~rpGetFileName() override;

    // Builds the filter list from pairs (display text, pattern) of a null-terminated array (at
    // most 100 strings are looked at). False for no string or an odd count, and when no memory
    // can be had; the previous list then stays.
    bool setFilters(const char* const* filters);
    // The multimedia file types of the system (AVIBuildFilterA), the save variant when saving.
    // False when no memory can be had; the previous list then stays.
    bool setMMfilters(bool saving);
    // The name part of the last result (fileBuf from ofn.nFileOffset) into out, which holds
    // `size` bytes; a longer name is cut at a whole Shift-JIS character.
    void getFileTitle(char* out, int size = MaxFile);

    char fileBuf[FileBufSize];   // the file-name buffer handed to the dialog
    char initialDir[300];        // starting directory of the next run; a result's directory
                                 // too long for it leaves the longest enclosing one that fits
    char* filterBuf;             // owned: the list built by setFilters, or null
    char* defExt;                // owned: default extension of the save dialog, or null
    char title[200];             // dialog title
    char* mmFilterBuf;           // owned: 1000 bytes filled by setMMfilters, or null
    OPENFILENAMEA ofn;           // lStructSize OPENFILENAME_SIZE_VERSION_400A
    bool preview;                // run the preview variants of the dialogs
    DWORD flags;                 // OFN_ flags (file dialogs) or BIF_ flags (folder dialog)
};

class rpGetOpenFileName : public rpGetFileName {
public:
    explicit rpGetOpenFileName(rpWin* parent);

    // Runs the open dialog. Returns 0 when cancelled or failed, otherwise the number of names
    // chosen. path (300 bytes) receives the full path of one file, or with several files what
    // the dialog put first (the directory). With OFN_ALLOWMULTISELECT, names (when not null and
    // large enough) receives the chosen names, each followed by a zero byte.
    int run(char* path, char* names);
    // Turns the answer of a dialog that returned success (fileBuf, ofn.nFileOffset) into the
    // results of run: path, names, fileCount, namesLength and the next initialDir.
    int takeAnswer(char* path, char* names);

    int fileCount;    // names chosen in the last run
    int namesLength;  // bytes of the name list of the last multi-selection, zero bytes included
};

class rpGetSaveFileName : public rpGetFileName {
public:
    explicit rpGetSaveFileName(rpWin* parent);

    // Stores a copy of ext as the default extension (false for null or no memory).
    bool setDefaultExtension(const char* ext);
    // Runs the save dialog; false when cancelled or failed. A name typed without extension gets
    // the extension of the chosen filter (path holds 300 bytes).
    bool run(char* path);
    // Turns the answer of a dialog that returned success (fileBuf, ofn.nFileOffset,
    // ofn.nFileExtension, ofn.nFilterIndex) into the results of run: path and the next
    // initialDir. Always true.
    bool takeAnswer(char* path);
};

class rpGetDirectoryName : public rpGetFileName {
public:
    explicit rpGetDirectoryName(rpWin* parent);

    // Runs the folder dialog; flags other than -1 replace the stored BIF_ flags. False when
    // cancelled; otherwise path (MAX_PATH bytes) holds the chosen folder.
    bool run(char* path, int flags);

    int root;    // CSIDL_ value of the browse root; CSIDL_DRIVES by default
    int image;   // image index the shell reported for the chosen folder
    int param;   // application data handed to the browse callback
};

// Browse callback: preselects current0 when the dialog starts and shows the selected folder as
// the status text. Always 0.
int CALLBACK getDir(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data);

#endif
