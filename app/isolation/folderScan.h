// Collecting a plug-in folder: every .dll file in a folder and its subfolders, in path order,
// for probing the whole folder as one batch, and every folder of the tree that could not be
// searched. Free of any window, so that the window's folder command, a folder on its command
// line and the window-less list mode share it.
#ifndef INSPECTOR_FOLDER_SCAN_H
#define INSPECTOR_FOLDER_SCAN_H

#include <windows.h>

#include <string>
#include <vector>

// A folder of the tree whose entries could not be read: its files are missing from the batch.
struct UnreadableFolder {
    std::wstring path;       // its full path, as the walk reached it
    DWORD error = 0;         // the system code of the failed search
    size_t filesBefore = 0;  // the files found before it: its place among them in path order
};

// What a folder walk found.
struct FolderContents {
    std::vector<std::wstring> files;
    std::vector<UnreadableFolder> unreadable;  // in path order; the folder itself, when it
                                               // cannot be searched at all
};

// The full paths of the files named *.dll (any case) in folder and, depth first, in every
// subfolder, each folder's entries in name order (ignoring case) so that the paths come in
// path order. The names are UTF-16, as the file system has them. A directory already met on
// the way (by volume and file index, so a junction or a symbolic link that leads back up the
// tree, or to a folder already scanned) is not entered again. There is no depth limit: the
// walk keeps its pending entries in a list of its own, not on the stack. A folder that cannot
// be searched (no access, a link that leads nowhere, a path too long for the system) is
// listed in `unreadable` with its error.
FolderContents scanFolder(const std::wstring& folder);

// True when path names an existing directory.
bool isFolder(const std::wstring& path);

#endif
