// The clipboard objects against the real system clipboard.
#include "rpClipboard.h"
#include "rpWin.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testsupport::clearDbout;
using testsupport::dboutLog;

namespace {

// The clipboard keeps track of who has it open by owner window, so a stand-in for another
// program opens it with a window of its own.
HWND createHiddenWindow()
{
    return CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// Holds the clipboard open from a second thread until release() or destruction, as another
// program would.
class ClipboardHolder {
public:
    ClipboardHolder()
        : opened_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          release_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        thread_ = CreateThread(nullptr, 0, &ClipboardHolder::run, this, 0, nullptr);
        WaitForSingleObject(opened_, 5000);
    }
    ~ClipboardHolder()
    {
        release();
        CloseHandle(opened_);
        CloseHandle(release_);
    }
    void release()
    {
        if (!thread_)
            return;
        SetEvent(release_);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    bool held() const { return held_; }

private:
    static DWORD WINAPI run(void* self)
    {
        auto* holder = static_cast<ClipboardHolder*>(self);
        HWND window = createHiddenWindow();
        holder->held_ = window && OpenClipboard(window);
        SetEvent(holder->opened_);
        WaitForSingleObject(holder->release_, 10000);
        if (holder->held_)
            CloseClipboard();
        DestroyWindow(window);
        return 0;
    }
    HANDLE opened_;
    HANDLE release_;
    HANDLE thread_ = nullptr;
    bool held_ = false;
};

// Whether another thread can open the clipboard right now (it is not held by anyone).
bool clipboardFreeForOthers()
{
    struct Probe {
        static DWORD WINAPI run(void*)
        {
            HWND window = createHiddenWindow();
            DWORD opened = window && OpenClipboard(window);
            if (opened)
                CloseClipboard();
            DestroyWindow(window);
            return opened;
        }
    };
    HANDLE thread = CreateThread(nullptr, 0, &Probe::run, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 5000);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code == 1;
}

// Reads format straight through the system calls.
std::string rawClipboard(UINT format)
{
    std::string bytes;
    if (!OpenClipboard(nullptr))
        return "<not open>";
    if (HANDLE h = GetClipboardData(format)) {
        const char* p = static_cast<const char*>(GlobalLock(h));
        bytes.assign(p, GlobalSize(h));
        GlobalUnlock(h);
    } else {
        bytes = "<none>";
    }
    CloseClipboard();
    return bytes;
}

// Places bytes on the clipboard through the system calls, emptying it first.
void placeRaw(UINT format, const void* bytes, size_t size)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    ASSERT_NE(SetClipboardData(format, block), nullptr);
    CloseClipboard();
}

class ClipboardTest : public testing::Test {
protected:
    void SetUp() override
    {
        clearDbout();
        privateFormat = RegisterClipboardFormatA("rpClipboardTestFormat");
        ASSERT_NE(privateFormat, 0u);
    }
    UINT privateFormat = 0;
};

}  // namespace

TEST_F(ClipboardTest, NewObjectIsClosedAndEmptiesFirst)
{
    rpClipText clip(nullptr, CF_TEXT);
    EXPECT_STREQ(clip.name(), "rpClipboard");
    EXPECT_EQ(clip.format, CF_TEXT);
    EXPECT_EQ(clip.window, nullptr);
    EXPECT_FALSE(clip.isOpen);
    EXPECT_TRUE(clip.emptyFirst);
    EXPECT_EQ(clip.lastError, 0);
}

TEST_F(ClipboardTest, PutDataEmptiesFirstAndLeavesExactlyTheText)
{
    const char other[] = "other format";
    placeRaw(privateFormat, other, sizeof other);

    rpClipText clip(nullptr, CF_TEXT);
    EXPECT_EQ(clip.putData("abc", 4, 0), 0);
    EXPECT_FALSE(clip.isOpen);
    EXPECT_FALSE(IsClipboardFormatAvailable(privateFormat));
    std::string text = rawClipboard(CF_TEXT);
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(std::memcmp(text.data(), "abc", 4), 0);

    // Without emptying, a second format joins the text.
    rpClipboard adder(nullptr, static_cast<int>(privateFormat));
    adder.emptyFirst = false;
    EXPECT_EQ(adder.putData(other, sizeof other, 0), 0);
    EXPECT_TRUE(IsClipboardFormatAvailable(privateFormat));
    EXPECT_EQ(rawClipboard(CF_TEXT).substr(0, 4), std::string("abc", 4));
    EXPECT_TRUE(clipboardFreeForOthers());
}

TEST_F(ClipboardTest, TextReadMeasuresThenNeedsRoomForTheNul)
{
    rpClipText clip(nullptr, CF_TEXT);
    ASSERT_EQ(clip.putData("abc", 4, 0), 0);

    EXPECT_EQ(clip.getData(nullptr, 0), 3);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(clip.getData(buf, 3), -1);
    EXPECT_EQ(clip.lastError, 8);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_FALSE(clip.isOpen);
    EXPECT_EQ(clip.getData(buf, 4), 3);
    EXPECT_EQ(clip.lastError, 0);
    EXPECT_STREQ(buf, "abc");
    EXPECT_TRUE(clipboardFreeForOthers());
}

TEST_F(ClipboardTest, RawReadMeasuresAndRefusesASmallBuffer)
{
    const unsigned char bytes[6] = {1, 2, 0, 3, 4, 5};
    rpClipboard clip(nullptr, static_cast<int>(privateFormat));
    ASSERT_EQ(clip.putData(bytes, 6, 0), 0);

    int size = clip.getData(nullptr, 0, 0);
    ASSERT_GE(size, 6);  // the system may round a block up
    unsigned char small[5];
    EXPECT_EQ(clip.getData(small, 5, 0), -1);
    EXPECT_EQ(clip.lastError, 8);
    unsigned char big[64] = {};
    EXPECT_EQ(clip.getData(big, sizeof big, 0), size);
    EXPECT_EQ(std::memcmp(big, bytes, 6), 0);
    EXPECT_FALSE(clip.isOpen);
}

TEST_F(ClipboardTest, MissingFormatGivesMinusOneWithoutOpening)
{
    rpClipText text(nullptr, CF_TEXT);
    ASSERT_EQ(text.putData("abc", 4, 0), 0);
    // Even while another program holds the clipboard, the absent format is answered without
    // an attempt to open it.
    ClipboardHolder holder;
    ASSERT_TRUE(holder.held());
    rpClipboard clip(nullptr, static_cast<int>(privateFormat));
    char buf[16];
    EXPECT_EQ(clip.getData(buf, sizeof buf, 0), -1);
    EXPECT_EQ(clip.lastError, 0);
    EXPECT_FALSE(clip.isOpen);
    EXPECT_TRUE(dboutLog().empty());
}

TEST_F(ClipboardTest, OpenTwiceOpensOnceAndOneCloseReleases)
{
    rpClipboard clip(nullptr, CF_TEXT);
    EXPECT_EQ(clip.open(), 0);
    EXPECT_EQ(clip.open(), 0);
    EXPECT_TRUE(clip.isOpen);
    EXPECT_FALSE(clipboardFreeForOthers());
    EXPECT_EQ(clip.close(), 0);
    EXPECT_FALSE(clip.isOpen);
    EXPECT_TRUE(clipboardFreeForOthers());
    // Closing again does nothing.
    EXPECT_EQ(clip.close(), 0);
    EXPECT_TRUE(dboutLog().empty());
}

TEST_F(ClipboardTest, DestructorClosesAnOpenClipboard)
{
    {
        rpClipText clip(nullptr, CF_TEXT);
        ASSERT_EQ(clip.empty(), 0);
        EXPECT_TRUE(clip.isOpen);
        EXPECT_FALSE(clipboardFreeForOthers());
    }
    EXPECT_TRUE(clipboardFreeForOthers());
    EXPECT_EQ(CountClipboardFormats(), 0);
}

TEST_F(ClipboardTest, HeldClipboardMakesTheCopyFailUntilReleased)
{
    rpClipText before(nullptr, CF_TEXT);
    ASSERT_EQ(before.putData("old", 4, 0), 0);

    ClipboardHolder holder;
    ASSERT_TRUE(holder.held());
    rpClipText clip(nullptr, CF_TEXT);
    int code = clip.putData("new", 4, 0);
    EXPECT_NE(code, 0);
    EXPECT_EQ(clip.lastError, code);
    EXPECT_FALSE(clip.isOpen);
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0], "**** rpClipboard::open() error " + std::to_string(code) + "\n");
    char buf[8];
    EXPECT_EQ(clip.getData(buf, sizeof buf), -1);
    EXPECT_EQ(clip.empty(), code);

    holder.release();
    EXPECT_EQ(clip.getData(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "old");
    EXPECT_EQ(clip.putData("new", 4, 0), 0);
    EXPECT_EQ(clip.getData(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "new");
}

TEST_F(ClipboardTest, ShiftJisTextRoundTripsByteForByte)
{
    // Kana, kanji with a 0x5C trail byte (表, 能), a half-width kana and ASCII.
    const char text[] = "プラグイン 表示・能力 ｱ\\x";
    ASSERT_EQ(static_cast<unsigned char>(text[11]), 0x95u);
    ASSERT_EQ(text[12], 0x5C);  // 表 = 95 5C in code page 932
    rpClipText clip(nullptr, CF_TEXT);
    ASSERT_EQ(clip.putData(text, sizeof text, 0), 0);
    char buf[64];
    ASSERT_EQ(clip.getData(buf, sizeof buf), static_cast<int>(sizeof text - 1));
    EXPECT_EQ(std::memcmp(buf, text, sizeof text), 0);
    std::string raw = rawClipboard(CF_TEXT);
    EXPECT_EQ(raw.substr(0, sizeof text), std::string(text, sizeof text));
}

TEST_F(ClipboardTest, TextWithoutNulIsReadWithinItsBlock)
{
    // Four bytes and no terminator, as a careless program might place them.
    placeRaw(privateFormat, "abcd", 4);
    rpClipText clip(nullptr, static_cast<int>(privateFormat));
    int length = clip.getData(nullptr, 0);
    ASSERT_GE(length, 4);
    std::string buf(static_cast<size_t>(length) + 1, 'x');
    EXPECT_EQ(clip.getData(&buf[0], length), -1);
    EXPECT_EQ(clip.getData(&buf[0], length + 1), length);
    EXPECT_EQ(buf.substr(0, 4), "abcd");
    EXPECT_EQ(buf[static_cast<size_t>(length)], '\0');
}

TEST_F(ClipboardTest, PutHandleNeedsAnOpenClipboard)
{
    rpClipboard clip(nullptr, static_cast<int>(privateFormat));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    int code = clip.putHandle(block, 0);
    EXPECT_NE(code, 0);
    EXPECT_EQ(clip.lastError, code);
    EXPECT_EQ(clip.getHandle(0), nullptr);

    ASSERT_EQ(clip.empty(), 0);
    EXPECT_EQ(clip.putHandle(block, 0), 0);  // the clipboard owns the block from here
    EXPECT_EQ(clip.getHandle(0), block);
    clip.close();
    EXPECT_TRUE(IsClipboardFormatAvailable(privateFormat));
}

TEST_F(ClipboardTest, BadArgumentsLeaveTheClipboardAlone)
{
    rpClipText text(nullptr, CF_TEXT);
    ASSERT_EQ(text.putData("keep", 5, 0), 0);
    rpClipText clip(nullptr, CF_TEXT);
    EXPECT_EQ(clip.putData("x", -1, 0), -1);
    EXPECT_EQ(clip.putData(nullptr, 4, 0), -1);
    EXPECT_EQ(clip.lastError, -1);
    char buf[8];
    EXPECT_EQ(clip.getData(buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "keep");
}

namespace {
// Renders the announced format when someone asks for it.
LRESULT CALLBACK renderingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_RENDERFORMAT) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 5);
        std::memcpy(GlobalLock(block), "late", 5);
        GlobalUnlock(block);
        SetClipboardData(static_cast<UINT>(wParam), block);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
}  // namespace

TEST_F(ClipboardTest, PutDelayRendersThroughTheOwnerWindow)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = renderingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "rpClipboardRenderer";
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    ASSERT_NE(owner, nullptr);
    rpWin window(owner, false);

    rpClipText clip(&window, static_cast<int>(privateFormat));
    EXPECT_EQ(clip.putDelay(0), 0);
    EXPECT_TRUE(clip.isOpen);
    EXPECT_FALSE(clipboardFreeForOthers());
    EXPECT_EQ(GetOpenClipboardWindow(), owner);
    clip.close();
    EXPECT_TRUE(IsClipboardFormatAvailable(privateFormat));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));

    char buf[8] = {};
    EXPECT_EQ(clip.getData(buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "late");
    DestroyWindow(owner);
}
