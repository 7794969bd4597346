// The folder walk behind a folder batch.
#include "folderScan.h"

#include "rpFind.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace {

// Deeper than this the walk stops, in case a file system gives no identities for its folders.
constexpr int MaxDepth = 64;

using FolderIdentity = std::tuple<DWORD, DWORD, DWORD>;  // volume serial, file index high, low

// The form of path that the system searches whatever its length ("\\?\C:\..." and
// "\\?\UNC\server\share\..."); a path already in that form, or a relative one, stays.
std::wstring extendedPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

// The folder's identity; false when the system gives none (then only the depth limits the walk).
bool identify(const std::wstring& folder, FolderIdentity* identity)
{
    HANDLE handle = CreateFileW(extendedPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information = {};
    bool known = GetFileInformationByHandle(handle, &information) &&
                 (information.nFileIndexHigh != 0 || information.nFileIndexLow != 0);
    CloseHandle(handle);
    *identity = FolderIdentity(information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow);
    return known;
}

bool hasDllExtension(const std::wstring& name)
{
    return name.size() > 4 && CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".dll", 4, TRUE) == CSTR_EQUAL;
}

bool nameLess(const std::wstring& a, const std::wstring& b)
{
    int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE);
    if (order != CSTR_EQUAL)
        return order == CSTR_LESS_THAN;
    return a < b;  // names that differ in case only (a case-sensitive folder): a fixed order
}

class FolderWalk {
public:
    std::vector<std::wstring> files;

    // Adds the files of folder and its subfolders; false when folder cannot be searched.
    bool walk(const std::wstring& folder, int depth, DWORD* error)
    {
        FolderIdentity identity;
        if (identify(folder, &identity) && !met_.insert(identity).second)
            return true;  // entered before: a link back up the tree, or a second way in
        rpFindWide find;
        if (find.open(extendedPath(folder)) != 0) {
            if (error)
                *error = static_cast<DWORD>(find.lastError);
            return false;
        }
        struct Entry {
            std::wstring name;
            bool folder;
        };
        std::vector<Entry> entries;
        while (find.read()) {
            std::wstring name = find.name();
            if (name == L"." || name == L"..")
                continue;
            bool isDirectory = (find.data().dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isDirectory || hasDllExtension(name))
                entries.push_back({name, isDirectory});
        }
        find.close();
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return nameLess(a.name, b.name); });
        const std::wstring prefix = folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L"\\";
        for (const Entry& entry : entries) {
            if (!entry.folder)
                files.push_back(prefix + entry.name);
            else if (depth < MaxDepth)
                walk(prefix + entry.name, depth + 1, nullptr);
        }
        return true;
    }

private:
    std::set<FolderIdentity> met_;
};

}  // namespace

std::vector<std::wstring> scanFolder(const std::wstring& folder, DWORD* error)
{
    if (error)
        *error = 0;
    FolderWalk walk;
    walk.walk(folder, 0, error);
    return walk.files;
}

bool isFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(extendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
