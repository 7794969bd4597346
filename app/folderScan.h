// Collecting a plug-in folder: every .dll file in a folder and its subfolders, in path order,
// for probing the whole folder as one batch. Free of any window, so that the window's folder
// command, a folder on its command line and the window-less list mode share it.
#ifndef INSPECTOR_FOLDER_SCAN_H
#define INSPECTOR_FOLDER_SCAN_H

#include <windows.h>

#include <string>
#include <vector>

// The full paths of the files named *.dll (any case) in folder and, depth first, in every
// subfolder, each folder's entries in name order (ignoring case) so that the paths come in
// path order. The names are UTF-16, as the file system has them. A directory already met on
// the way (by volume and file index, so a junction or a symbolic link that leads back up the
// tree, or to a folder already scanned) is not entered again. Folders that cannot be read are
// left out. error (when not null) gets 0, or the system code when folder itself cannot be
// searched.
std::vector<std::wstring> scanFolder(const std::wstring& folder, DWORD* error = nullptr);

// True when path names an existing directory.
bool isFolder(const std::wstring& path);

#endif
