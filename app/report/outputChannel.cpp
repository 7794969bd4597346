// Output of the modes without a window: a file, a redirected standard handle, or a console.
#include "outputChannel.h"

#include "textCodec.h"
#include <algorithm>

namespace {

bool isConsoleHandle(HANDLE handle)
{
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// Attaches to the console of the program that started this one; true when this process then
// has a console (a second call finds it attached already).
bool attachParentConsole()
{
    return AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

OutputChannel::~OutputChannel()
{
    close();
}

void OutputChannel::close()
{
    if (owned_ && handle_)
        CloseHandle(handle_);
    handle_ = nullptr;
    owned_ = false;
    console_ = false;
    if (!temporary_.empty())
        DeleteFileW(temporary_.c_str());
    temporary_.clear();
    target_.clear();
}

bool OutputChannel::openStandard(DWORD which)
{
    close();
    HANDLE standard = GetStdHandle(which);
    if (standard && standard != INVALID_HANDLE_VALUE) {
        DWORD type = GetFileType(standard);
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
            handle_ = standard;
            return true;
        }
        if (type == FILE_TYPE_CHAR) {
            // A console this process is not part of yet answers no console call; a character
            // device that is no console (NUL) takes bytes.
            if (!isConsoleHandle(standard))
                attachParentConsole();
            handle_ = standard;
            console_ = isConsoleHandle(standard);
            return true;
        }
    }
    // Not redirected: the console of the program that started the inspector, if it has one.
    if (!attachParentConsole())
        return false;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return false;
    handle_ = console;
    owned_ = true;
    console_ = true;
    return true;
}

DWORD OutputChannel::openFile(const std::wstring& path)
{
    close();
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_ACCESS_DENIED;  // as creating a file over a folder fails, and before any work
    // A device is written as it is: there is no file to replace.
    HANDLE existing = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        if (GetFileType(existing) != FILE_TYPE_DISK) {
            handle_ = existing;
            owned_ = true;
            return 0;
        }
        CloseHandle(existing);
    }
    // The temporary file goes beside the target, so that commit() is a rename within one
    // folder (and one volume) that happens whole or not at all.
    wchar_t full[32768];
    wchar_t* name = nullptr;
    DWORD length = GetFullPathNameW(path.c_str(), 32768, full, &name);
    if (length == 0 || length >= 32768 || !name)
        return length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    std::wstring folder(full, static_cast<size_t>(name - full));
    wchar_t temporary[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), L"rpi", 0, temporary))
        return GetLastError();
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DeleteFileW(temporary);
        return error;
    }
    handle_ = file;
    owned_ = true;
    target_ = full;
    temporary_ = temporary;
    return 0;
}

DWORD OutputChannel::commit()
{
    if (temporary_.empty())
        return 0;
    DWORD error = 0;
    if (!FlushFileBuffers(handle_))
        error = GetLastError();
    CloseHandle(handle_);
    handle_ = nullptr;
    owned_ = false;
    if (!error && !MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (!error)
        temporary_.clear();
    close();  // deletes the temporary file that could not be put in place
    return error;
}

bool OutputChannel::write(const std::string& text, UINT codePage)
{
    if (!handle_)
        return true;  // nowhere to write: dropped
    if (!console_) {
        for (size_t done = 0; done < text.size();) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 20));
            DWORD written = 0;
            if (!WriteFile(handle_, text.data() + done, chunk, &written, nullptr) || written == 0) {
                error_ = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
                return false;
            }
            done += written;
        }
        return true;
    }
    // A console takes characters: in pieces, because older consoles refuse very long writes,
    // never splitting a surrogate pair.
    std::wstring wide = toWide(text, codePage);
    for (size_t done = 0; done < wide.size();) {
        size_t chunk = std::min<size_t>(wide.size() - done, 8192);
        if (done + chunk < wide.size() && IS_HIGH_SURROGATE(wide[done + chunk - 1]))
            --chunk;
        DWORD written = 0;
        if (!WriteConsoleW(handle_, wide.data() + done, static_cast<DWORD>(chunk), &written, nullptr) || written == 0) {
            error_ = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
            return false;
        }
        done += written;
    }
    return true;
}
