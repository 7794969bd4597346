// Path names: parsing, building, and the file behind them.
#include "rpPathname.h"

#include "rpFind.h"
#include "rpStrings.h"

#include <direct.h>
#include <mbctype.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int BufferSize = 300;  // every part of a source of at most 260 bytes fits

// Splits src as the runtime's _splitpath does: drive letter and colon (only when drv is given),
// directory with its final separator (backslash or slash), name, and extension with its dot,
// double-byte aware. The runtime's routine empties every part once one reaches 256 bytes;
// here each part of a source of at most 260 bytes fits its BufferSize-byte buffer.
void splitPath(const char* src, char* drv, char* folder, char* base, char* extension)
{
    if (drv) {
        drv[0] = 0;
        if (src[0] && src[1] == ':') {
            drv[0] = src[0];
            drv[1] = ':';
            drv[2] = 0;
            src += 2;
        }
    }
    const char* name = src;
    const char* dot = nullptr;
    for (const char* p = src; *p;) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
            dot = nullptr;
        } else if (*p == '.') {
            dot = p;
        }
        p += _ismbblead(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
    }
    const char* end = name + std::strlen(name);
    if (!dot)
        dot = end;
    auto put = [](char* dst, const char* from, const char* to) {
        std::memcpy(dst, from, static_cast<size_t>(to - from));
        dst[to - from] = 0;
    };
    put(folder, src, name);
    put(base, name, dot);
    put(extension, dot, end);
}
}  // namespace

rpPathname::rpPathname(const char* src) : rpObject("rpPathname"), emptyText(0)
{
    std::memset(&findData, 0, sizeof findData);
    storeName(src);
}

rpPathname::~rpPathname() = default;

const char* rpPathname::name()
{
    return fname;
}

void rpPathname::clear()
{
    statValid = false;
    path[0] = 0;
    parts[0] = 0;
    partsUsed = 0;
    server = drive = dir = fname = ext = filePos = &emptyText;
    lastError = 0;
}

char* rpPathname::storePart(const char* text)
{
    // make() admits at most 261 bytes of text in five parts, so the store never runs full;
    // the bound only keeps that promise visible.
    if (partsUsed + 1 >= sizeof parts)
        return &emptyText;
    char* part = parts + partsUsed;
    int n = rpStrncpy(part, text, static_cast<int>(sizeof parts - partsUsed - 1));
    partsUsed += static_cast<size_t>(n) + 1;
    parts[partsUsed] = 0;
    return part;
}

int rpPathname::failStore(int code)
{
    clear();
    return viewError(code, "store", 5);
}

int rpPathname::storeName(const char* source)
{
    if (source && std::strlen(source) > MaxLength)
        return failStore(ERROR_INVALID_NAME);
    // The source may be this pathname's own text, which clear() empties.
    char src[MaxLength + 1] = "";
    if (source)
        std::strcpy(src, source);
    clear();
    if (!*src)
        return 0;

    char srv[BufferSize] = "";
    char drv[BufferSize] = "";
    char folder[BufferSize * 2] = "";
    char base[BufferSize] = "";
    char extension[BufferSize] = "";

    if (!(src[0] == '\\' && src[1] == '\\')) {
        splitPath(src, drv, folder, base, extension);
        if (!drv[0]) {
            drv[0] = static_cast<char>(64 + _getdrive());
            drv[1] = ':';
            drv[2] = 0;
        }
        if (folder[0] != '\\') {
            // The drive number comes from the letter's code, so a lower-case letter would name
            // no drive at all. The path is completed in the system's spelling of the drive; an
            // absolute one keeps the letter as given.
            drv[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(drv[0])));
            char cwd[BufferSize];
            SetLastError(0);
            if (!_getdcwd(drv[0] - 64, cwd, sizeof cwd)) {
                DWORD code = GetLastError();
                return failStore(code ? static_cast<int>(code) : -1);
            }
            char joined[BufferSize * 2];
            int n = rpStrncpy(joined, cwd + 2, BufferSize);
            joined[n] = 0;
            rpAdjustDir(joined, '+');
            size_t used = std::strlen(joined);
            rpStrncpy(joined + used, folder, static_cast<int>(sizeof joined - used));
            std::strcpy(folder, joined);
        }
    } else {
        const char* sep = rpMbschr(src + 2, '\\');
        if (!sep)
            return failStore(ERROR_INVALID_NAME);
        // By its byte length: a host ending in a single high byte (half-width katakana) would
        // look like the lead byte of a pair with the separator to a character-wise copy.
        std::memcpy(srv, src, static_cast<size_t>(sep - src));
        srv[sep - src] = 0;
        splitPath(sep, nullptr, folder, base, extension);
    }
    const char* dotless = extension[0] == '.' ? extension + 1 : extension;
    return make(srv, drv, folder, base, dotless);
}

int rpPathname::make(const char* server_, const char* drive_, const char* dir_, const char* name_, const char* ext_)
{
    // The parts may be this pathname's own, which clear() overwrites: work from copies. A part
    // over the limit fails below anyway.
    const char** given[5] = {&server_, &drive_, &dir_, &name_, &ext_};
    char copies[5][MaxLength + 1];
    for (int i = 0; i < 5; ++i) {
        const char* part = *given[i];
        if (!part || !*part)
            continue;
        if (std::strlen(part) > MaxLength)
            return failStore(ERROR_INVALID_NAME);
        std::strcpy(copies[i], part);
        *given[i] = copies[i];
    }
    clear();
    size_t total = 0;
    auto present = [](const char* s) { return s && *s; };
    auto tooLong = [&](size_t add) {
        total += add;
        return total > static_cast<size_t>(MaxLength);
    };

    if (present(server_)) {
        if (tooLong(std::strlen(server_)))
            return failStore(ERROR_INVALID_NAME);
        char text[BufferSize];
        rpStrncpy(text, server_, sizeof text);
        rpAdjustDir(text, '-');
        std::strcpy(path, text);
        server = storePart(text);
    }
    if (present(drive_)) {
        if (tooLong(std::strlen(drive_)))
            return failStore(ERROR_INVALID_NAME);
        std::strcat(path, drive_);
        drive = storePart(drive_);
    }
    if (present(dir_)) {
        if (tooLong(std::strlen(dir_)))
            return failStore(ERROR_INVALID_NAME);
        char text[BufferSize + 1];
        rpStrncpy(text, dir_, BufferSize);
        rpAdjustDir(text, '+');
        std::strcat(path, text);
        dir = storePart(text);
    }
    filePos = path + std::strlen(path);
    if (present(name_)) {
        if (tooLong(std::strlen(name_)))
            return failStore(ERROR_INVALID_NAME);
        std::strcat(path, name_);
        fname = storePart(name_);
    }
    if (present(ext_)) {
        if (tooLong(std::strlen(ext_) + 1))
            return failStore(ERROR_INVALID_NAME);
        std::strcat(path, ".");
        std::strcat(path, ext_);
        ext = storePart(ext_);
    }
    if (!*fname) {
        // ".profile": the only dot starts the name. The extension was stored last, so the
        // whole name takes its place in the part store.
        if (*ext) {
            partsUsed = static_cast<size_t>(ext - parts);
            ext = &emptyText;
        }
        if (*filePos)
            fname = storePart(filePos);
    }
    lastError = 0;
    return 0;
}

char* rpPathname::getFilePos(char* dst)
{
    size_t n = static_cast<size_t>(filePos - path);
    if (filePos == &emptyText)
        n = 0;
    std::memcpy(dst, path, n);
    dst[n] = 0;
    return dst;
}

bool rpPathname::IsExist(const char* path)
{
    if (!path || !*path)
        return false;
    rpFind find;
    bool found = find.findFirst(path, 0xFF) == 0;
    find.close();
    return found;
}

int rpPathname::Remove(const char* path)
{
    if (!IsExist(path))
        return 0;
    if (!DeleteFileA(path))
        return static_cast<int>(GetLastError());
    return 0;
}

int rpPathname::Rename(const char* from, const char* to, int flags)
{
    if (!MoveFileExA(from, to, static_cast<DWORD>(flags)))
        return static_cast<int>(GetLastError());
    return 0;
}

int rpPathname::remove()
{
    statValid = false;
    lastError = Remove(path);
    return lastError;
}

int rpPathname::rename(const char* to, int flags)
{
    statValid = false;
    lastError = Rename(path, to, flags);
    return lastError;
}

int rpPathname::getStatus(WIN32_FIND_DATAA* out)
{
    statValid = false;
    rpFind find;
    lastError = find.findFirst(path, 0xFF);
    if (lastError) {
        find.close();
        return lastError;
    }
    statValid = true;
    findData = find.findData;
    if (out)
        *out = findData;
    find.close();
    return 0;
}

bool rpPathname::attribute(DWORD bit)
{
    if (!statValid && getStatus(nullptr) != 0)
        return false;
    return (findData.dwFileAttributes & bit) != 0;
}

bool rpPathname::isReadOnly() { return attribute(FILE_ATTRIBUTE_READONLY); }
bool rpPathname::isHidden() { return attribute(FILE_ATTRIBUTE_HIDDEN); }
bool rpPathname::isSystem() { return attribute(FILE_ATTRIBUTE_SYSTEM); }
bool rpPathname::isDirectory() { return attribute(FILE_ATTRIBUTE_DIRECTORY); }
bool rpPathname::isArchive() { return attribute(FILE_ATTRIBUTE_ARCHIVE); }
bool rpPathname::isNormal() { return attribute(FILE_ATTRIBUTE_NORMAL); }
bool rpPathname::isTemporary() { return attribute(FILE_ATTRIBUTE_TEMPORARY); }
bool rpPathname::isCompressed() { return attribute(FILE_ATTRIBUTE_COMPRESSED); }

bool rpPathname::isExecutable()
{
    return _stricmp(ext, "com") == 0 || _stricmp(ext, "exe") == 0 || _stricmp(ext, "bat") == 0;
}

int rpPathname::setupDirectory()
{
    return 1;
}
