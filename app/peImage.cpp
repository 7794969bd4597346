#include "peImage.h"

namespace {

// Reads size bytes at offset; false when the file is shorter or cannot be read.
bool readAt(HANDLE file, DWORD offset, void* into, DWORD size)
{
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD got = 0;
    return ReadFile(file, into, size, &got, &at) && got == size;
}

}  // namespace

WORD peMachine(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    WORD machine = 0;
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    if (readAt(file, 0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew > 0 &&
        readAt(file, static_cast<DWORD>(dos.e_lfanew), &signature, sizeof signature) && signature == IMAGE_NT_SIGNATURE &&
        readAt(file, static_cast<DWORD>(dos.e_lfanew) + sizeof signature, &header, sizeof header))
        machine = header.Machine;
    CloseHandle(file);
    return machine;
}
