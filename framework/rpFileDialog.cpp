// The common open, save and folder dialogs.
#include "rpFileDialog.h"

#include "rpStrings.h"

#include <shlobj.h>
#include <vfw.h>

#include <cstring>
#include <new>

char current0[304];

namespace {

constexpr int MmFilterSize = 1000;
constexpr int PatternSize = 112;   // working buffer for the extension taken from a filter

// Length of the zero-terminated string at p, never reading at or past end.
int boundedLength(const char* p, const char* end)
{
    const char* q = p;
    while (q < end && *q)
        ++q;
    return static_cast<int>(q - p);
}

// Keeps the directory of a dialog's answer (its first dirLength bytes) in dst, an array of size
// bytes. A directory too long for it gives way to the longest enclosing folder that fits, with
// its backslash, so the next run starts near the file and not in a name cut in the middle.
void keepDirectory(char* dst, size_t size, const char* answer, size_t dirLength)
{
    rpStrncpy(dst, answer, static_cast<int>(size));
    if (dirLength < size) {
        dst[dirLength] = 0;
        return;
    }
    if (char* last = rpLastBackslash(dst))
        last[1] = 0;
    else
        dst[0] = 0;
}

}  // namespace

// ---- rpGetFileName

rpGetFileName::rpGetFileName(rpWin* parent)
    : rpDialogModal(parent),
      filterBuf(nullptr),
      defExt(nullptr),
      mmFilterBuf(nullptr),
      preview(false),
      flags(0)
{
    fileBuf[0] = 0;
    initialDir[0] = 0;
    title[0] = 0;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = parent ? parent->hwnd : nullptr;
    ofn.lpstrFile = fileBuf;
    ofn.nMaxFile = MaxFile;
    ofn.lpstrFileTitle = nullptr;
    ofn.nMaxFileTitle = MaxFile;
    ofn.lpstrInitialDir = initialDir;
    ofn.lpstrTitle = title;
}

rpGetFileName::~rpGetFileName()
{
    delete[] filterBuf;
    delete[] defExt;
    delete[] mmFilterBuf;
}

bool rpGetFileName::setFilters(const char* const* filters)
{
    if (!filters)
        return false;
    int count = 0;
    size_t total = 0;
    while (count < maxfilter2 && filters[count]) {
        total += std::strlen(filters[count]) + 1;
        ++count;
    }
    if (count == 0 || count % 2 != 0)
        return false;

    char* list = new (std::nothrow) char[total + count + 4];
    if (!list)
        return false;
    char* p = list;
    for (int i = 0; i < count; ++i) {
        size_t n = std::strlen(filters[i]) + 1;
        std::memcpy(p, filters[i], n);
        p += n;
    }
    p[0] = 0;
    p[1] = 0;
    delete[] filterBuf;
    filterBuf = list;
    ofn.lpstrFilter = filterBuf;
    return true;
}

bool rpGetFileName::setMMfilters(bool saving)
{
    // The old list goes only once the new one is had: the record must never point at freed
    // memory.
    char* list = new (std::nothrow) char[MmFilterSize];
    if (!list)
        return false;
    std::memset(list, 0, MmFilterSize);
    AVIFileInit();
    AVIBuildFilterA(list, MmFilterSize, saving ? TRUE : FALSE);
    AVIFileExit();
    delete[] mmFilterBuf;
    mmFilterBuf = list;
    ofn.lpstrFilter = mmFilterBuf;
    return true;
}

void rpGetFileName::getFileTitle(char* out, int size)
{
    if (!out || size <= 0)
        return;
    out[0] = 0;
    if (ofn.nFileOffset >= FileBufSize)
        return;
    rpStrncpy(out, fileBuf + ofn.nFileOffset, size);
}

// ---- rpGetOpenFileName

rpGetOpenFileName::rpGetOpenFileName(rpWin* parent)
    : rpGetFileName(parent), fileCount(0), namesLength(0)
{
    flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    rpStrncpy(title, "開く", sizeof title);
}

int rpGetOpenFileName::run(char* path, char* names)
{
    if (path)
        path[0] = 0;
    ofn.Flags = flags;
    ofn.lpstrInitialDir = initialDir;
    // A multi-selection lists every name after the directory: let it use the whole buffer
    // (the two last bytes stay zero, so the list is always terminated).
    const bool multi = (flags & OFN_ALLOWMULTISELECT) != 0;
    ofn.nMaxFile = multi ? FileBufSize - 2 : MaxFile;
    fileBuf[FileBufSize - 2] = 0;
    fileBuf[FileBufSize - 1] = 0;
    // After a multi-selection fileBuf starts with the bare directory, which the dialog would
    // take for a file name and so start in the folder above; start in initialDir instead.
    if (fileCount > 1)
        fileBuf[0] = 0;

    BOOL chosen = preview ? GetOpenFileNamePreviewA(&ofn) : GetOpenFileNameA(&ofn);
    if (!chosen)
        return 0;
    return takeAnswer(path, names);
}

int rpGetOpenFileName::takeAnswer(char* path, char* names)
{
    const bool multi = (flags & OFN_ALLOWMULTISELECT) != 0;
    fileCount = 1;
    if (path)
        rpStrncpy(path, fileBuf, MaxFile);
    keepDirectory(initialDir, sizeof initialDir, fileBuf, ofn.nFileOffset);
    if (!multi)
        return 1;

    const char* end = fileBuf + FileBufSize;
    const int offset = ofn.nFileOffset < FileBufSize ? ofn.nFileOffset : FileBufSize - 1;
    char* first = fileBuf + offset;
    // One name chosen: the answer is the full path and the name lies inside it. Whatever
    // follows its terminator is left over from earlier runs.
    const bool single = offset <= boundedLength(fileBuf, end);
    if (flags & OFN_EXPLORER) {
        // Several names follow the directory as zero-terminated strings, ended by an empty one.
        fileCount = 0;
        namesLength = 0;
        for (const char* p = first; p < end && *p;) {
            int n = boundedLength(p, end) + 1;
            ++fileCount;
            namesLength += n;
            p += n;
            if (single)
                break;
        }
        if (fileCount > 1)
            rpAdjustDir(initialDir, '+');
    } else {
        // The older dialog answers "directory name name ..." in one line.
        if (offset > 0 && offset - 1 < static_cast<int>(sizeof initialDir) - 1)
            initialDir[offset - 1] = 0;
        namesLength = boundedLength(first, end) + 1;
        for (char* p = first; p < first + namesLength - 1; ++p) {
            if (*p == ' ') {
                *p = 0;
                ++fileCount;
            }
        }
        if (fileCount == 1)
            rpAdjustDir(initialDir, '+');
    }
    if (names)
        std::memcpy(names, first, namesLength);
    return fileCount;
}

// ---- rpGetSaveFileName

rpGetSaveFileName::rpGetSaveFileName(rpWin* parent) : rpGetFileName(parent)
{
    flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    rpStrncpy(title, "名前を付けて保存", sizeof title);
}

bool rpGetSaveFileName::setDefaultExtension(const char* ext)
{
    if (!ext)
        return false;
    size_t n = std::strlen(ext) + 1;
    char* copy = new (std::nothrow) char[n];
    if (!copy)
        return false;
    std::memcpy(copy, ext, n);
    delete[] defExt;
    defExt = copy;
    return true;
}

bool rpGetSaveFileName::run(char* path)
{
    if (path)
        path[0] = 0;
    ofn.Flags = flags;
    ofn.lpstrDefExt = defExt;
    ofn.lpstrInitialDir = initialDir;
    ofn.nMaxFile = MaxFile;

    BOOL chosen = preview ? GetSaveFileNamePreviewA(&ofn) : GetSaveFileNameA(&ofn);
    if (!chosen)
        return false;
    return takeAnswer(path);
}

bool rpGetSaveFileName::takeAnswer(char* path)
{
    if (path)
        rpStrncpy(path, fileBuf, MaxFile);
    keepDirectory(initialDir, sizeof initialDir, fileBuf, ofn.nFileOffset);
    // For a name typed without extension the dialog reports either 0 or the offset of the
    // name's terminating zero (Windows does the latter when there is no default extension).
    const bool typedExtension = ofn.nFileExtension != 0 && ofn.nFileExtension < FileBufSize &&
                                fileBuf[ofn.nFileExtension] != 0;
    if (typedExtension || !path)
        return true;

    // No extension typed: take the one of the chosen filter from the list the dialog showed
    // (setFilters' or setMMfilters'); skip 2 * nFilterIndex - 1 strings to reach its pattern.
    const char* p = ofn.lpstrFilter;
    if (!p || ofn.nFilterIndex == 0)
        return true;
    for (DWORD skip = 2 * ofn.nFilterIndex - 1; skip > 0; --skip) {
        if (!*p)
            return true;
        p += std::strlen(p) + 1;
    }
    if (!*p)
        return true;
    char pattern[PatternSize];
    rpStrncpy(pattern, p + 1, sizeof pattern);  // without the pattern's first character ('*')
    if (char* semicolon = rpMbschr(pattern, ';'))
        *semicolon = 0;
    size_t used = std::strlen(path);
    rpStrncpy(path + used, pattern, static_cast<int>(MaxFile - used));
    return true;
}

// ---- rpGetDirectoryName

rpGetDirectoryName::rpGetDirectoryName(rpWin* parent)
    : rpGetFileName(parent), root(CSIDL_DRIVES), image(0), param(0)
{
    flags = BIF_RETURNONLYFSDIRS;
}

bool rpGetDirectoryName::run(char* path, int newFlags)
{
    if (newFlags != -1)
        flags = static_cast<DWORD>(newFlags);
    rpStrncpy(current0, initialDir, sizeof current0);
    if (path)
        path[0] = 0;

    // The shell wants the root as an item list; it is made from the CSIDL_ value.
    LPITEMIDLIST rootList = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, root, &rootList)))
        rootList = nullptr;

    BROWSEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = nullptr;
    info.pidlRoot = rootList;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title;
    info.ulFlags = flags;
    info.lpfn = getDir;
    info.lParam = param;

    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (rootList)
        CoTaskMemFree(rootList);
    if (!chosen)
        return false;
    image = info.iImage;
    char folder[MAX_PATH] = "";
    SHGetPathFromIDListA(chosen, folder);
    if (path)
        rpStrncpy(path, folder, MAX_PATH);
    CoTaskMemFree(chosen);
    return true;
}

int CALLBACK getDir(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data)
{
    switch (msg) {
    case BFFM_INITIALIZED:
        if (current0[0])
            SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(current0));
        break;
    case BFFM_SELCHANGED: {
        char folder[304] = "";
        SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lParam), folder);
        SendMessageA(hwnd, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(folder));
        break;
    }
    default:
        break;
    }
    return 0;
}
