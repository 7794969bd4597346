// rpFind: one directory search (FindFirstFileA/FindNextFileA). Starts a search on a pattern or
// enumerates a directory, and keeps the data of the entry found last.
// Ownership: owns the search handle while a search is open and closes it (close, the next
// search, or destruction).
#ifndef RP_FIND_H
#define RP_FIND_H

#include "rpObject.h"

#include <windows.h>

#include <string>

class rpFind : public rpObject {
public:
    rpFind();
    ~rpFind() override;
    rpFind(const rpFind&) = delete;
    rpFind& operator=(const rpFind&) = delete;

    // Ends the open search, if any; findData's attributes become 0.
    void close();
    // Starts a new search on pattern (wildcards allowed). attributes does not filter: every
    // entry that the system matches is reported. Returns 0 or the system code (2, 3, ...).
    int findFirst(const char* pattern, int attributes);
    // The next entry of the open search; false at the end (error 18) or on failure.
    bool findNext();
    // Enumerates the directory dir (with or without a trailing backslash): searches dir\*.*.
    // Returns 0 or the system code; 123 when dir is too long for the working buffer.
    int open(const char* dir, int attributes);
    // The next entry of an open() enumeration, the first one included; its name is copied
    // into name (MAX_PATH bytes) when name is not null. "." and ".." are reported too.
    bool read(char* name);
    // The current entry's long (short) name, copied into dst (MAX_PATH or 14 bytes) when dst
    // is not null. With no open search dst becomes empty and null is returned.
    const char* getName(char* dst);
    const char* getAlterName(char* dst);
    // The current entry, or null when no search is open.
    WIN32_FIND_DATAA* getData();

    bool isOpen() const { return findHandle != INVALID_HANDLE_VALUE; }

    HANDLE findHandle;         // the open search (owned), or INVALID_HANDLE_VALUE
    WIN32_FIND_DATAA findData; // the entry found last
    bool firstPending;         // open() found an entry that read() has not handed out yet
};

// rpFindWide: the directory enumeration of rpFind with UTF-16 names (FindFirstFileW,
// FindNextFileW), for names that the ANSI code page cannot spell. The directory is named as
// the system takes it, so a path longer than MAX_PATH works in its "\\?\" form.
// Ownership: owns the search handle while a search is open, like rpFind.
class rpFindWide : public rpObject {
public:
    rpFindWide();
    ~rpFindWide() override;
    rpFindWide(const rpFindWide&) = delete;
    rpFindWide& operator=(const rpFindWide&) = delete;

    // Ends the open search, if any.
    void close();
    // Enumerates the directory dir (with or without a trailing backslash): searches dir\*.
    // Returns 0 or the system code, also in lastError.
    int open(const std::wstring& dir);
    // The next entry of the enumeration, the first one included ("." and ".." too); false at
    // the end (lastError 18) or on failure.
    bool read();
    // The entry read last; meaningful after read() returned true.
    const WIN32_FIND_DATAW& data() const { return findData; }
    std::wstring name() const { return findData.cFileName; }

    bool isOpen() const { return findHandle != INVALID_HANDLE_VALUE; }

    HANDLE findHandle;          // the open search (owned), or INVALID_HANDLE_VALUE
    WIN32_FIND_DATAW findData;  // the entry found last
    bool firstPending;          // open() found an entry that read() has not handed out yet
};

#endif
