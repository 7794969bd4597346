// What the file system and a file's version resource say of a probed file: its bitness, its
// version and company, its size, when it last changed, and the SHA-256 of its bytes, which
// collectors use to find copies. Read in the window's (or the list mode's) process without
// loading the file as code: the header is read as bytes, the version resource through
// GetFileVersionInfo, which reads resources as data. The cheap facts are read when a file's
// block arrives; the hash, which reads the whole file, only when an output asks for it.
#ifndef INSPECTOR_FILE_FACTS_H
#define INSPECTOR_FILE_FACTS_H

#include <windows.h>

#include <string>

struct FileFacts {
    bool found = false;          // the file's size and date could be read
    int bitness = 0;             // 32 or 64 from the header's machine; 0 for anything else
    std::string fileVersion;     // "1.2.3.4" of the version resource; empty without one
    std::wstring company;        // its CompanyName; empty when it has none
    ULONGLONG size = 0;          // bytes
    FILETIME modified = {0, 0};  // the last write, UTC
};

// The facts of the file at path as they are now.
FileFacts readFileFacts(const std::wstring& path);

// The SHA-256 of the file's bytes as 64 lower-case hexadecimal digits, hashed with the system's
// BCrypt provider, but only while the file is as `facts` found it (the same size and last
// write): empty when it changed since, cannot be read, or was not found then. So a hash never
// describes another file than the other facts.
std::string sha256AsFound(const std::wstring& path, const FileFacts& facts);

// A time as ISO 8601 in UTC ("2024-05-01T03:04:05Z"), for JSON.
std::string utcTimestamp(const FILETIME& time);
// A time in the user's local time ("2024-05-01 12:04:05"), for people. No slash: the status line
// shortens its text as a path, and would take one for a folder's separator.
std::string localTimestamp(const FILETIME& time);
// A number with thousands separators ("12,345").
std::string groupedNumber(ULONGLONG value);

#endif
