// The folder walk behind a folder batch.
#include "folderScan.h"

#include "fileSystem.h"
#include "rpFind.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace {

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

// An entry met on the walk and not taken yet.
struct Entry {
    std::wstring path;
    bool folder;
};

// Reads folder's subfolders and .dll files, in name order, into *entries. Returns 0 or the
// system code of a search that failed (entries then holds what was read before it).
DWORD readFolder(const std::wstring& folder, std::vector<Entry>* entries)
{
    rpFindWide find;
    if (find.open(extendedPath(folder)) != 0) {
        // Only a drive's root lacks "." and "..": an empty one finds nothing at all.
        DWORD error = static_cast<DWORD>(find.lastError);
        return error == ERROR_FILE_NOT_FOUND && isFolder(folder) ? 0 : error;
    }
    const std::wstring prefix = folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L"\\";
    std::vector<std::pair<std::wstring, bool>> named;
    while (find.read()) {
        std::wstring name = find.name();
        if (name == L"." || name == L"..")
            continue;
        bool isDirectory = (find.data().dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDirectory || hasDllExtension(name))
            named.emplace_back(name, isDirectory);
    }
    DWORD error = static_cast<DWORD>(find.lastError) == ERROR_NO_MORE_FILES ? 0 : static_cast<DWORD>(find.lastError);
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return nameLess(a.first, b.first); });
    for (const auto& [name, isDirectory] : named)
        entries->push_back({prefix + name, isDirectory});
    return error;
}

}  // namespace

FolderContents scanFolder(const std::wstring& folder)
{
    FolderContents contents;
    std::set<FileIdentity> met;
    // The entries still to take, the next one last: a folder's entries replace it in reverse
    // order, so that they are taken in path order before what came after it.
    std::vector<Entry> pending = {{folder, true}};
    std::vector<Entry> entries;
    while (!pending.empty()) {
        Entry entry = std::move(pending.back());
        pending.pop_back();
        if (!entry.folder) {
            contents.files.push_back(std::move(entry.path));
            continue;
        }
        FileIdentity identity;
        if (fileIdentity(entry.path, &identity) && !met.insert(identity).second)
            continue;  // entered before: a link back up the tree, or a second way in
        entries.clear();
        if (DWORD error = readFolder(entry.path, &entries))
            contents.unreadable.push_back({entry.path, error, contents.files.size()});
        pending.insert(pending.end(), std::make_move_iterator(entries.rbegin()), std::make_move_iterator(entries.rend()));
    }
    return contents;
}

bool isFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(extendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
