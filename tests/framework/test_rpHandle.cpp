// Owned handles: each handle is closed exactly once, by its last owner. What is observed is the
// write end of a pipe: the read end tells whether it is still open.
#include "rpHandle.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// A pipe whose write end goes to the rpHandle under test; the read end stays here.
struct WatchedPipe {
    WatchedPipe() { EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0)); }
    ~WatchedPipe() { CloseHandle(readEnd); }
    // Whether some handle to the write end is still open.
    bool writerOpen() const
    {
        DWORD available = 0;
        return PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) != 0;
    }
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
};

TEST(HandleTest, TheLastOwnerClosesItsHandleOnce)
{
    WatchedPipe destroyed;
    {
        rpHandle owner(destroyed.writeEnd);
        EXPECT_TRUE(owner.valid());
        EXPECT_EQ(owner.get(), destroyed.writeEnd);
        EXPECT_TRUE(destroyed.writerOpen());
    }
    EXPECT_FALSE(destroyed.writerOpen());

    // A move hands the handle on: the source is empty and closes nothing.
    WatchedPipe moved;
    rpHandle second;
    {
        rpHandle first(moved.writeEnd);
        second = std::move(first);
        EXPECT_FALSE(first.valid());
        rpHandle third(std::move(second));
        second = std::move(third);
    }
    EXPECT_TRUE(moved.writerOpen());
    EXPECT_EQ(second.get(), moved.writeEnd);

    // Moving another handle in, or reset(), closes the one held.
    WatchedPipe replaced;
    rpHandle other(replaced.writeEnd);
    second = std::move(other);
    EXPECT_FALSE(moved.writerOpen());
    EXPECT_TRUE(replaced.writerOpen());
    second.reset();
    EXPECT_FALSE(replaced.writerOpen());
    EXPECT_FALSE(second.valid());
}

TEST(HandleTest, ReleaseHandsTheHandleOverAndInvalidMeansNone)
{
    WatchedPipe pipe;
    HANDLE released = nullptr;
    {
        rpHandle owner(pipe.writeEnd);
        released = owner.release();
        EXPECT_FALSE(owner.valid());
    }
    EXPECT_TRUE(pipe.writerOpen());
    EXPECT_EQ(released, pipe.writeEnd);
    CloseHandle(released);
    EXPECT_FALSE(pipe.writerOpen());

    rpHandle failed(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(failed.valid());
    EXPECT_EQ(failed.get(), nullptr);
    failed.reset(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(failed);
}

}  // namespace
