// rpHandle: a kernel object handle that is closed with CloseHandle (a process, thread, event,
// file, pipe or file mapping), owned by exactly one object at a time.
// Ownership: owns its handle and closes it at destruction, on reset() and when another handle
// is moved in; release() hands it over. Null and INVALID_HANDLE_VALUE both mean "none", as the
// API returns either for a failure depending on the call.
#ifndef RP_HANDLE_H
#define RP_HANDLE_H

#include <windows.h>

class rpHandle {
public:
    rpHandle() = default;
    // Takes ownership of handle (null or INVALID_HANDLE_VALUE: none).
    explicit rpHandle(HANDLE handle);
    ~rpHandle();
    rpHandle(rpHandle&& other) noexcept;
    rpHandle& operator=(rpHandle&& other) noexcept;
    rpHandle(const rpHandle&) = delete;
    rpHandle& operator=(const rpHandle&) = delete;

    // The handle, still owned; null when there is none.
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr; }
    explicit operator bool() const { return valid(); }
    // Closes the handle held and takes ownership of handle (default: none).
    void reset(HANDLE handle = nullptr);
    // Gives up ownership without closing: the caller closes what is returned (null: none).
    HANDLE release();

private:
    HANDLE handle_ = nullptr;  // owned; never INVALID_HANDLE_VALUE
};

#endif
