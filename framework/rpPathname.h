// rpPathname: one file path, made absolute, held both as its full text and as its parts
// (server, drive, directory, name, extension); answers questions about the file on disk.
// Ownership: all text lives inside the object (fixed arrays); the part pointers point into it,
// so a pathname cannot be copied.
#ifndef RP_PATHNAME_H
#define RP_PATHNAME_H

#include "rpObject.h"

#include <windows.h>

class rpPathname : public rpObject {
public:
    static constexpr int MaxLength = 260;  // longest path accepted, in bytes

    explicit rpPathname(const char* src = nullptr);
    ~rpPathname() override;
    rpPathname(const rpPathname&) = delete;
    rpPathname& operator=(const rpPathname&) = delete;

    // The file name without extension (not the class name).
    using rpObject::name;
    const char* name() override;

    void clear();
    // Parses src, makes it absolute against the current directory of its drive and rebuilds
    // the path. Returns 0; 123 for a text over 260 bytes or a UNC name without a separator
    // after the host; the system's code (-1 when it gives none) when the current directory of
    // the drive cannot be read. On failure the pathname is empty. src may be this pathname's
    // own path.
    int storeName(const char* src);
    // Builds the pathname from parts (any may be null or empty, or this pathname's own parts;
    // ext without its dot). Returns 0, or 123 when the parts add up to more than 260 bytes (the
    // pathname is then empty).
    int make(const char* server, const char* drive, const char* dir, const char* name, const char* ext);
    // Copies server, drive and directory (with the trailing backslash) into dst (room for
    // 300 bytes) and returns dst.
    char* getFilePos(char* dst);

    // True when at least one directory entry matches path (wildcards count).
    static bool IsExist(const char* path);
    // Deletes the file; 0 when it was deleted or does not exist, else the system code.
    static int Remove(const char* path);
    // MoveFileExA with flags passed through; 0 or the system code.
    static int Rename(const char* from, const char* to, int flags);
    int remove();
    // Renames the file on disk; the stored path keeps the old name.
    int rename(const char* to, int flags);

    // Reads the directory entry of path into findData (and out when not null). 0 or the
    // search's system code.
    int getStatus(WIN32_FIND_DATAA* out);
    // Attribute tests; each reads the disk once and then answers from findData. False when
    // the file cannot be found.
    bool isReadOnly();
    bool isHidden();
    bool isSystem();
    bool isDirectory();
    bool isArchive();
    bool isNormal();
    bool isTemporary();
    bool isCompressed();
    // True for the extensions com, exe and bat in any letter case.
    bool isExecutable();
    int setupDirectory();

    char emptyText;             // always 0: every absent part points here
    char path[300];             // the full path, at most 261 bytes long
    char parts[331];            // the parts present, each terminated, one after another
    char* server;               // "\\host" of a UNC path, or empty (points into parts)
    char* drive;                // "D:", or empty
    char* dir;                  // directory with its trailing backslash, or empty
    char* fname;                // file name without extension
    char* ext;                  // extension without its dot
    char* filePos;              // into path: the file name with its extension
    bool statValid;             // findData holds the last successful getStatus
    WIN32_FIND_DATAA findData;  // the directory entry of path

private:
    bool attribute(DWORD bit);
    char* storePart(const char* text);
    int failStore(int code);
    size_t partsUsed;           // bytes of parts in use
};

#endif
