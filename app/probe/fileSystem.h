// Small questions about files that every stage asks: whether a file is there, which file a name
// stands for whatever its spelling, and a name's full and long forms.
#ifndef INSPECTOR_FILE_SYSTEM_H
#define INSPECTOR_FILE_SYSTEM_H

#include <windows.h>

#include <string>
#include <vector>

// True when path names an existing file (not a folder).
bool fileExists(const std::wstring& path);

// What tells two names of one file or folder apart from two files: the volume's serial number
// and the file index, whatever the path's spelling, links or case.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator<(const FileIdentity& other) const;
    bool operator==(const FileIdentity& other) const;
};

// The identity of the file or folder at path; false when it cannot be opened or the system
// gives none (a file system without file indexes).
bool fileIdentity(const std::wstring& path, FileIdentity* identity);
// The same for a file already open (any access).
bool fileIdentity(HANDLE file, FileIdentity* identity);

// Each name as a full path, taken against the current directory as the shell would; a name
// that cannot be expanded stays as it is.
std::vector<std::wstring> fullPaths(const std::vector<std::wstring>& names);

// The form of path that the system searches whatever its length ("\\?\C:\..." and
// "\\?\UNC\server\share\..."); a short path, one already in that form, or a relative one stays.
std::wstring extendedPath(const std::wstring& path);

#endif
