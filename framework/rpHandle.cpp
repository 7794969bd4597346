// Owned kernel object handles.
#include "rpHandle.h"

#include <utility>

namespace {

HANDLE orNone(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

rpHandle::rpHandle(HANDLE handle) : handle_(orNone(handle)) {}

rpHandle::~rpHandle()
{
    reset();
}

rpHandle::rpHandle(rpHandle&& other) noexcept : handle_(other.release()) {}

rpHandle& rpHandle::operator=(rpHandle&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

void rpHandle::reset(HANDLE handle)
{
    HANDLE old = std::exchange(handle_, orNone(handle));
    if (old && old != handle_)
        CloseHandle(old);
}

HANDLE rpHandle::release()
{
    return std::exchange(handle_, nullptr);
}
