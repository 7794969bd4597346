// File questions shared by every stage.
#include "fileSystem.h"

#include <tuple>

bool fileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileIdentity::operator<(const FileIdentity& other) const
{
    return std::tie(volume, indexHigh, indexLow) < std::tie(other.volume, other.indexHigh, other.indexLow);
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
}

bool fileIdentity(HANDLE file, FileIdentity* identity)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information) || (information.nFileIndexHigh == 0 && information.nFileIndexLow == 0))
        return false;
    *identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    return true;
}

bool fileIdentity(const std::wstring& path, FileIdentity* identity)
{
    // Attributes only, shared every way: any file or folder can be identified, in use or not.
    HANDLE handle = CreateFileW(extendedPath(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = fileIdentity(handle, identity);
    CloseHandle(handle);
    return known;
}

std::vector<std::wstring> fullPaths(const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> full;
    std::wstring buffer(32768, L'\0');
    for (const std::wstring& name : names) {
        DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
        full.push_back(length > 0 && length < buffer.size() ? buffer.substr(0, length) : name);
    }
    return full;
}

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
