// The clipboard for one format: open/empty/close around each data operation.
#include "rpClipboard.h"

#include "rpWin.h"

#include <climits>
#include <cstring>

namespace {
// GetLastError after a failed call, or fallback when the system left it at 0, so that a failure
// is never recorded as success.
int failureCode(DWORD fallback)
{
    DWORD code = GetLastError();
    return static_cast<int>(code ? code : fallback);
}

// Length of the text in a block of size bytes: up to its first NUL, or the whole block when it
// holds none.
size_t boundedLength(const char* text, size_t size)
{
    const void* nul = std::memchr(text, 0, size);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : size;
}
}  // namespace

rpClipboard::rpClipboard(rpWin* window, int format)
    : rpObject("rpClipboard"), format(format), window(window), isOpen(false), emptyFirst(true)
{
}

rpClipboard::~rpClipboard()
{
    if (isOpen)
        close();
}

int rpClipboard::open(rpWin* window)
{
    lastError = 0;
    if (isOpen)
        return 0;
    if (window)
        this->window = window;
    HWND owner = this->window ? this->window->hwnd : nullptr;
    isOpen = OpenClipboard(owner) != FALSE;
    if (!isOpen) {
        lastError = failureCode(ERROR_ACCESS_DENIED);
        dbout("**** rpClipboard::open() error %d\n", lastError);
    }
    return lastError;
}

int rpClipboard::empty()
{
    if (open() != 0)
        return lastError;
    if (!EmptyClipboard()) {
        lastError = failureCode(ERROR_CLIPBOARD_NOT_OPEN);
        dbout("**** rpClipboard::empty() error %d\n", lastError);
    }
    return lastError;
}

int rpClipboard::close()
{
    lastError = 0;
    if (isOpen) {
        if (!CloseClipboard()) {
            lastError = failureCode(ERROR_CLIPBOARD_NOT_OPEN);
            dbout("**** rpClipboard::close() error %d\n", lastError);
        }
        isOpen = false;
    }
    return lastError;
}

int rpClipboard::closeKeepingError()
{
    int outcome = lastError;
    close();
    if (outcome)
        lastError = outcome;
    return lastError;
}

HANDLE rpClipboard::getHandle(int format)
{
    if (!isOpen)
        return nullptr;
    if (format == 0)
        format = this->format;
    HANDLE handle = GetClipboardData(static_cast<UINT>(format));
    if (!handle) {
        lastError = failureCode(ERROR_NOT_FOUND);
        dbout("**** rpClipboard::getHandle() error %d\n", lastError);
    }
    return handle;
}

int rpClipboard::getData(void* dst, int size, int format)
{
    if (format == 0)
        format = this->format;
    if (!IsClipboardFormatAvailable(static_cast<UINT>(format)))
        return -1;
    if (open() != 0)
        return -1;
    int result = -1;
    if (HANDLE handle = getHandle(format)) {
        SIZE_T dataSize = GlobalSize(handle);
        result = dataSize > static_cast<SIZE_T>(INT_MAX) ? INT_MAX : static_cast<int>(dataSize);
        if (size > 0 && dst) {
            if (size < result) {
                lastError = ERROR_NOT_ENOUGH_MEMORY;
                result = -1;
            } else if (const void* bytes = GlobalLock(handle)) {
                std::memcpy(dst, bytes, static_cast<size_t>(result));
                GlobalUnlock(handle);
            } else {
                lastError = failureCode(ERROR_INVALID_HANDLE);
                result = -1;
            }
        }
    }
    closeKeepingError();  // the reason of a failed read outlives the successful close
    return result;
}

int rpClipboard::putHandle(void* handle, int format)
{
    if (format == 0)
        format = this->format;
    lastError = 0;
    // A null handle (delayed rendering) is also the answer on success, so the error state
    // decides then.
    SetLastError(0);
    if (!SetClipboardData(static_cast<UINT>(format), static_cast<HANDLE>(handle))) {
        DWORD code = GetLastError();
        if (handle || code)
            lastError = static_cast<int>(code ? code : ERROR_CLIPBOARD_NOT_OPEN);
    }
    return lastError;
}

int rpClipboard::putData(const void* src, int size, int format)
{
    if (size < 0 || (size > 0 && !src)) {
        lastError = -1;
        return -1;
    }
    if (open() != 0)
        return lastError;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, static_cast<SIZE_T>(size));
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (!bytes) {
        lastError = failureCode(ERROR_NOT_ENOUGH_MEMORY);
        if (block)
            GlobalFree(block);
    } else {
        if (size > 0)
            std::memcpy(bytes, src, static_cast<size_t>(size));
        GlobalUnlock(block);
        if (emptyFirst)
            empty();
        // The clipboard owns the block only once it has accepted it.
        if (putHandle(block, format) != 0)
            GlobalFree(block);
    }
    return closeKeepingError();
}

int rpClipboard::putDelay(int format)
{
    if (open() != 0)
        return lastError;
    if (empty() != 0)
        return lastError;
    return putHandle(nullptr, format);
}

rpClipText::rpClipText(rpWin* window, int format) : rpClipboard(window, format) {}

rpClipText::~rpClipText()
{
    if (isOpen)
        close();
}

int rpClipText::getData(char* dst, int size)
{
    if (!IsClipboardFormatAvailable(static_cast<UINT>(format)))
        return -1;
    if (open() != 0)
        return -1;
    int result = -1;
    if (HANDLE handle = getHandle(format)) {
        if (const char* text = static_cast<const char*>(GlobalLock(handle))) {
            size_t length = boundedLength(text, GlobalSize(handle));
            if (length >= static_cast<size_t>(INT_MAX)) {
                lastError = ERROR_NOT_ENOUGH_MEMORY;
            } else if (size > 0 && dst) {
                if (static_cast<size_t>(size) < length + 1) {
                    lastError = ERROR_NOT_ENOUGH_MEMORY;
                } else {
                    // The block may lack its NUL; the copy always ends with one.
                    std::memcpy(dst, text, length);
                    dst[length] = '\0';
                    result = static_cast<int>(length);
                }
            } else {
                result = static_cast<int>(length);
            }
            GlobalUnlock(handle);
        } else {
            lastError = failureCode(ERROR_INVALID_HANDLE);
        }
    }
    closeKeepingError();
    return result;
}
