// Directory search.
#include "rpFind.h"

#include "rpStrings.h"

#include <cstring>

rpFind::rpFind() : rpObject("rpFind"), findHandle(INVALID_HANDLE_VALUE), firstPending(false)
{
    std::memset(&findData, 0, sizeof findData);
    close();
}

rpFind::~rpFind()
{
    close();
}

void rpFind::close()
{
    if (findHandle != INVALID_HANDLE_VALUE)
        FindClose(findHandle);
    findHandle = INVALID_HANDLE_VALUE;
    findData.dwFileAttributes = 0;
    firstPending = false;
}

int rpFind::findFirst(const char* pattern, int attributes)
{
    close();
    if (!pattern) {
        lastError = ERROR_INVALID_PARAMETER;
        return lastError;
    }
    findHandle = FindFirstFileA(pattern, &findData);
    if (findHandle == INVALID_HANDLE_VALUE) {
        lastError = static_cast<int>(GetLastError());
        close();
    } else {
        lastError = 0;
    }
    return lastError;
}

bool rpFind::findNext()
{
    if (!isOpen()) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!FindNextFileA(findHandle, &findData)) {
        lastError = static_cast<int>(GetLastError());
        return false;
    }
    lastError = 0;
    return true;
}

int rpFind::open(const char* dir, int attributes)
{
    char pattern[304];
    close();
    // Room for the text, a backslash, "*.*" and the terminator.
    if (!dir || std::strlen(dir) + 5 > sizeof pattern) {
        lastError = ERROR_INVALID_NAME;
        return lastError;
    }
    std::strcpy(pattern, dir);
    rpAdjustDir(pattern, '+');
    std::strcat(pattern, "*.*");
    int result = findFirst(pattern, attributes);
    firstPending = result == 0;
    return result;
}

bool rpFind::read(char* name)
{
    if (firstPending) {
        firstPending = false;
    } else if (!findNext()) {
        return false;
    }
    if (name)
        std::strcpy(name, findData.cFileName);
    return true;
}

const char* rpFind::getName(char* dst)
{
    if (!isOpen()) {
        if (dst)
            dst[0] = 0;
        return nullptr;
    }
    if (dst)
        std::strcpy(dst, findData.cFileName);
    return findData.cFileName;
}

const char* rpFind::getAlterName(char* dst)
{
    if (!isOpen()) {
        if (dst)
            dst[0] = 0;
        return nullptr;
    }
    if (dst)
        std::strcpy(dst, findData.cAlternateFileName);
    return findData.cAlternateFileName;
}

WIN32_FIND_DATAA* rpFind::getData()
{
    return isOpen() ? &findData : nullptr;
}

// ---- rpFindWide

rpFindWide::rpFindWide() : rpObject("rpFindWide"), findHandle(INVALID_HANDLE_VALUE), firstPending(false)
{
    std::memset(&findData, 0, sizeof findData);
}

rpFindWide::~rpFindWide()
{
    close();
}

void rpFindWide::close()
{
    if (findHandle != INVALID_HANDLE_VALUE)
        FindClose(findHandle);
    findHandle = INVALID_HANDLE_VALUE;
    firstPending = false;
}

int rpFindWide::open(const std::wstring& dir)
{
    close();
    std::wstring pattern = dir;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    findHandle = FindFirstFileW(pattern.c_str(), &findData);
    if (findHandle == INVALID_HANDLE_VALUE) {
        lastError = static_cast<int>(GetLastError());
        return lastError;
    }
    lastError = 0;
    firstPending = true;
    return 0;
}

bool rpFindWide::read()
{
    if (firstPending) {
        firstPending = false;
        return true;
    }
    if (!isOpen()) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!FindNextFileW(findHandle, &findData)) {
        lastError = static_cast<int>(GetLastError());
        return false;
    }
    lastError = 0;
    return true;
}
