// Facts of probed files: attributes, header, version resource and hash.
#include "fileFacts.h"

#include "peImage.h"

#include <bcrypt.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The CompanyName of a version resource: under the languages its translation table lists,
// then under the two most common ones when the table is missing.
std::wstring companyName(const std::vector<BYTE>& info)
{
    std::vector<DWORD> languages;
    void* table = nullptr;
    UINT tableSize = 0;
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &table, &tableSize) && table) {
        const WORD* pairs = static_cast<const WORD*>(table);
        for (UINT i = 0; i + 1 < tableSize / sizeof(WORD); i += 2)
            languages.push_back(MAKELONG(pairs[i + 1], pairs[i]));
    }
    languages.push_back(MAKELONG(1200, 0x0409));
    languages.push_back(MAKELONG(1252, 0x0409));
    for (DWORD language : languages) {
        wchar_t key[64];
        std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\CompanyName", HIWORD(language), LOWORD(language));
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueW(info.data(), key, &value, &length) && value && length > 0) {
            std::wstring company(static_cast<const wchar_t*>(value), length);
            company.resize(wcsnlen(company.c_str(), company.size()));
            if (!company.empty())
                return company;
        }
    }
    return std::wstring();
}

void readVersion(const std::wstring& path, FileFacts* facts)
{
    // Each call reads the file's resources anew: one call into a buffer that holds an ordinary
    // version resource, and a second only for a larger one (the size the system asks for has
    // room for the resource and its conversions).
    std::vector<BYTE> info(16384);
    if (!GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        return;
    WORD length = 0;
    std::memcpy(&length, info.data(), sizeof length);
    if (2ull * length + 4 > info.size()) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        if (size == 0)
            return;
        info.assign(size, 0);
        if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data()))
            return;
    }
    void* fixedInfo = nullptr;
    UINT fixedSize = 0;
    if (VerQueryValueW(info.data(), L"\\", &fixedInfo, &fixedSize) && fixedInfo && fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(fixedInfo);
        if (fixed->dwSignature == VS_FFI_SIGNATURE) {
            char text[64];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                          HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
            facts->fileVersion = text;
        }
    }
    facts->company = companyName(info);
}

// Hashes what is left of the open file with SHA-256; empty when a read or the provider fails.
std::string sha256Of(HANDLE file)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return std::string();
    BCRYPT_HASH_HANDLE hash = nullptr;
    UCHAR digest[32] = {};
    bool whole = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    std::vector<UCHAR> chunk(1 << 16);
    for (DWORD got = 1; whole && got > 0;) {
        whole = ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) &&
                BCRYPT_SUCCESS(BCryptHashData(hash, chunk.data(), got, 0));
    }
    whole = whole && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!whole)
        return std::string();
    std::string hex;
    for (UCHAR byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

}  // namespace

FileFacts readFileFacts(const std::wstring& path)
{
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return facts;
    facts.found = true;
    facts.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.modified = data.ftLastWriteTime;
    bool hasResources = true;
    WORD machine = peMachine(path, &hasResources);
    facts.bitness = machine == IMAGE_FILE_MACHINE_I386 ? 32 : machine == IMAGE_FILE_MACHINE_AMD64 ? 64 : 0;
    // An image without a resource directory has no version resource to look for.
    if (hasResources)
        readVersion(path, &facts);
    return facts;
}

std::string sha256AsFound(const std::wstring& path, const FileFacts& facts)
{
    if (!facts.found)
        return std::string();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    // Checked on the handle that is hashed, so the file cannot change between check and read
    // (writers are shut out while it is open).
    BY_HANDLE_FILE_INFORMATION now = {};
    std::string hex;
    if (GetFileInformationByHandle(file, &now) &&
        ((static_cast<ULONGLONG>(now.nFileSizeHigh) << 32) | now.nFileSizeLow) == facts.size &&
        CompareFileTime(&now.ftLastWriteTime, &facts.modified) == 0)
        hex = sha256Of(file);
    CloseHandle(file);
    return hex;
}

std::string utcTimestamp(const FILETIME& time)
{
    SYSTEMTIME utc = {};
    if (!FileTimeToSystemTime(&time, &utc))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return text;
}

std::string localTimestamp(const FILETIME& time)
{
    SYSTEMTIME utc = {}, local = {};
    if (!FileTimeToSystemTime(&time, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
                  local.wMinute, local.wSecond);
    return text;
}

std::string groupedNumber(ULONGLONG value)
{
    std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}
