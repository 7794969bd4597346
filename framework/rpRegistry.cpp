// Registry keys and their checked values.
#include "rpRegistry.h"

#include <cstring>
#include <vector>

rpRegKey::~rpRegKey()
{
    close();
}

void rpRegKey::close()
{
    if (key_)
        RegCloseKey(key_);
    key_ = nullptr;
}

bool rpRegKey::open(HKEY root, const char* path)
{
    close();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    key_ = key;
    return true;
}

bool rpRegKey::create(HKEY root, const char* path)
{
    close();
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    key_ = key;
    return true;
}

bool rpRegKey::getString(const char* name, std::string* value, DWORD maxBytes)
{
    DWORD type = 0, size = 0;
    if (!key_ || RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size > maxBytes)
        return false;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > maxBytes)
        return false;
    data[size] = '\0';
    value->assign(data.data());
    return true;
}

bool rpRegKey::getBinary(const char* name, void* data, DWORD size)
{
    DWORD type = 0, stored = 0;
    if (!key_ || RegQueryValueExA(key_, name, nullptr, &type, nullptr, &stored) != ERROR_SUCCESS || type != REG_BINARY ||
        stored != size)
        return false;
    std::vector<BYTE> bytes(size);
    if (RegQueryValueExA(key_, name, nullptr, &type, bytes.data(), &stored) != ERROR_SUCCESS || stored != size)
        return false;
    if (size)
        std::memcpy(data, bytes.data(), size);
    return true;
}

bool rpRegKey::setString(const char* name, const std::string& value)
{
    return key_ && RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool rpRegKey::setBinary(const char* name, const void* data, DWORD size)
{
    return key_ && RegSetValueExA(key_, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool rpRegKey::deleteTree(HKEY root, const char* path)
{
    LSTATUS status = RegDeleteTreeA(root, path);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
