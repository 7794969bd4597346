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
// Opens the clipboard from a second thread with a window of its own, as another program would
// (the clipboard tells its users apart by owner window). With hold set it keeps it open until
// release(); otherwise it only reports whether it could open it.
class OtherProgram {
public:
    explicit OtherProgram(bool hold) : release_(CreateEventA(nullptr, TRUE, !hold, nullptr))
    {
        thread_ = CreateThread(nullptr, 0, &OtherProgram::run, this, 0, nullptr);
        while (!started_ && WaitForSingleObject(thread_, 10) == WAIT_TIMEOUT) {}
    }
    ~OtherProgram() { release(); CloseHandle(release_); }
    void release()
    {
        SetEvent(release_);
        if (!thread_)
            return;
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    volatile bool opened_ = false;

private:
    static DWORD WINAPI run(void* self)
    {
        auto* p = static_cast<OtherProgram*>(self);
        HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        p->opened_ = OpenClipboard(w) != FALSE;
        p->started_ = true;
        WaitForSingleObject(p->release_, 10000);
        if (p->opened_)
            CloseClipboard();
        DestroyWindow(w);
        return 0;
    }
    HANDLE release_;
    HANDLE thread_ = nullptr;
    volatile bool started_ = false;
};

bool othersCanOpen()
{
    OtherProgram probe(false);
    probe.release();
    return probe.opened_;
}

void placeRaw(UINT format, const void* bytes, size_t size)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    SetClipboardData(format, block);
    CloseClipboard();
}

class ClipboardTest : public testing::Test {
protected:
    void SetUp() override { clearDbout(); }
    const int privateFormat = static_cast<int>(RegisterClipboardFormatA("rpClipboardTest"));
};
}  // namespace

TEST_F(ClipboardTest, PutDataEmptiesFirstUnlessToldNotTo)
{
    placeRaw(privateFormat, "x", 2);
    rpClipText clip(nullptr, CF_TEXT);
    EXPECT_TRUE(clip.emptyFirst);
    EXPECT_EQ(clip.putData("abc", 4, 0), 0);
    EXPECT_FALSE(clip.isOpen);
    EXPECT_FALSE(IsClipboardFormatAvailable(privateFormat));

    rpClipboard adder(nullptr, privateFormat);
    adder.emptyFirst = false;
    EXPECT_EQ(adder.putData("yz", 3, 0), 0);
    EXPECT_TRUE(IsClipboardFormatAvailable(privateFormat));
    char buf[8];
    EXPECT_EQ(clip.getData(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_TRUE(othersCanOpen());
}

TEST_F(ClipboardTest, ReadsMeasureAndRefuseShortBuffers)
{
    rpClipText clip(nullptr, CF_TEXT);
    ASSERT_EQ(clip.putData("abc", 4, 0), 0);
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(clip.getData(nullptr, 0), 3);
    EXPECT_EQ(clip.getData(buf, 3), -1);  // no room for the NUL
    EXPECT_EQ(clip.lastError, 8);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(clip.getData(buf, 4), 3);
    EXPECT_STREQ(buf, "abc");

    // Raw reads give the block size; a block without NUL is read as text within its bounds.
    placeRaw(privateFormat, "abcd", 4);
    rpClipText raw(nullptr, privateFormat);
    int size = raw.rpClipboard::getData(nullptr, 0, 0);
    ASSERT_GE(size, 4);
    EXPECT_EQ(raw.rpClipboard::getData(buf, 3, 0), -1);
    EXPECT_EQ(raw.lastError, 8);
    std::string text(static_cast<size_t>(size) + 1, 'x');
    EXPECT_EQ(raw.getData(&text[0], size), -1);
    EXPECT_EQ(raw.getData(&text[0], size + 1), size);
    EXPECT_EQ(text.substr(0, 4), "abcd");
    EXPECT_EQ(text[static_cast<size_t>(size)], '\0');
    EXPECT_FALSE(raw.isOpen);
}

TEST_F(ClipboardTest, OpenTwiceOpensOnceAndCloseOrDestructorReleases)
{
    {
        rpClipboard clip(nullptr, CF_TEXT);
        EXPECT_EQ(clip.open(), 0);
        EXPECT_EQ(clip.open(), 0);
        EXPECT_FALSE(othersCanOpen());
        EXPECT_EQ(clip.close(), 0);
        EXPECT_FALSE(clip.isOpen);
        EXPECT_TRUE(othersCanOpen());
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 1);
        EXPECT_NE(clip.putHandle(block, 0), 0);  // needs the clipboard open
        GlobalFree(block);
        EXPECT_EQ(clip.empty(), 0);
        EXPECT_TRUE(clip.isOpen);
    }
    EXPECT_TRUE(othersCanOpen());
    EXPECT_EQ(CountClipboardFormats(), 0);
    EXPECT_TRUE(dboutLog().empty());
}

TEST_F(ClipboardTest, HeldClipboardFailsQuietlyUntilReleased)
{
    rpClipText clip(nullptr, CF_TEXT);
    ASSERT_EQ(clip.putData("old", 4, 0), 0);
    OtherProgram other(true);
    ASSERT_TRUE(other.opened_);

    // An absent format is answered without trying to open the clipboard.
    rpClipboard absent(nullptr, privateFormat);
    char buf[8];
    EXPECT_EQ(absent.getData(buf, sizeof buf, 0), -1);
    EXPECT_EQ(absent.lastError, 0);
    EXPECT_TRUE(dboutLog().empty());

    int code = clip.putData("new", 4, 0);
    EXPECT_NE(code, 0);
    EXPECT_EQ(clip.lastError, code);
    EXPECT_FALSE(clip.isOpen);
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0], "**** rpClipboard::open() error " + std::to_string(code) + "\n");
    EXPECT_EQ(clip.getData(buf, sizeof buf), -1);

    other.release();
    EXPECT_EQ(clip.getData(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "old");
    EXPECT_EQ(clip.putData("new", 4, 0), 0);
    EXPECT_EQ(clip.getData(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "new");
    EXPECT_EQ(clip.putData(nullptr, 4, 0), -1);  // bad arguments leave the text alone
    EXPECT_EQ(clip.putData("x", -1, 0), -1);
    EXPECT_EQ(clip.getData(buf, sizeof buf), 3);
}

TEST_F(ClipboardTest, ShiftJisTextRoundTripsByteForByte)
{
    // Kana, kanji with a 0x5C trail byte (表 = 95 5C, 能 = 94 5C), half-width kana, ASCII.
    const char text[] = "プラグイン 表示・能力 ｱ\\x";
    ASSERT_EQ(std::string(text + 11, 2), "\x95\x5c");
    rpClipText clip(nullptr, CF_TEXT);
    ASSERT_EQ(clip.putData(text, sizeof text, 0), 0);
    char buf[64];
    ASSERT_EQ(clip.getData(buf, sizeof buf), static_cast<int>(sizeof text - 1));
    EXPECT_EQ(std::memcmp(buf, text, sizeof text), 0);
}

namespace {
LRESULT CALLBACK renderLate(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_RENDERFORMAT)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 5);
    std::memcpy(GlobalLock(block), "late", 5);
    GlobalUnlock(block);
    SetClipboardData(static_cast<UINT>(wParam), block);
    return 0;
}
}  // namespace

TEST_F(ClipboardTest, PutDelayIsRenderedByTheOwnerWindowOnRequest)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = renderLate;
    wc.lpszClassName = "rpClipboardRenderer";
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
    rpWin window(owner, false);
    rpClipText clip(&window, privateFormat);
    EXPECT_EQ(clip.putDelay(0), 0);
    EXPECT_TRUE(clip.isOpen);  // left open for the caller
    EXPECT_EQ(GetOpenClipboardWindow(), owner);
    clip.close();
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    char buf[8] = {};
    EXPECT_EQ(clip.getData(buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "late");
    DestroyWindow(owner);
}
