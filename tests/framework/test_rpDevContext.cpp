// Device contexts: the selection table, borrowed and owned contexts, window contexts.
#include "rpDevContext.h"
#include "rpWin.h"
#include "testsupport.h"

#include <gtest/gtest.h>

namespace {

// A drawing object whose deletions can be counted.
struct CountedPen : rpDrawObj {
    CountedPen(int* d) : rpDrawObj(CreatePen(PS_SOLID, 1, RGB(1, 2, 3))), deaths(d) {}
    ~CountedPen() override { ++*deaths; }
    int* deaths;
};

class DevContextTest : public testing::Test {
protected:
    void SetUp() override
    {
        dc = CreateCompatibleDC(nullptr);
        found = GetCurrentObject(dc, OBJ_PEN);
    }
    void TearDown() override { DeleteDC(dc); }
    HDC dc = nullptr;
    HGDIOBJ found = nullptr;
};

}  // namespace

TEST_F(DevContextTest, BorrowedContextIsLeftAlone)
{
    {
        rpDevContext wrap(dc);
        EXPECT_FALSE(wrap.owner);
        EXPECT_EQ(wrap.hdc, dc);
        EXPECT_STREQ(wrap.objectName, "rpDevInfo");
        for (int k = 0; k < rpDevContext::Kinds; ++k) {
            EXPECT_EQ(wrap.selected[k], nullptr);
            EXPECT_EQ(wrap.drawObj[k], nullptr);
            EXPECT_FALSE(wrap.autoDelete[k]);
        }
    }
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), found);
}

TEST_F(DevContextTest, OwnedDrawingObjectIsDeletedOnceAfterBeingDeselected)
{
    int deaths = 0;
    HGDIOBJ handle = nullptr;
    {
        rpDevContext wrap(dc);
        CountedPen* pen = new CountedPen(&deaths);
        handle = pen->handle;
        EXPECT_EQ(wrap.select(RP_PEN, pen, true), found);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), handle);
        EXPECT_EQ(wrap.drawObj[RP_PEN], pen);
    }
    EXPECT_EQ(deaths, 1);
    // The context got back the pen it had, so the deleted one was not selected any more.
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), found);
    EXPECT_EQ(GetObjectType(handle), 0u);
}

TEST_F(DevContextTest, SecondSelectReplacesAndDeletesTheOwnedHandle)
{
    HPEN a = CreatePen(PS_SOLID, 1, RGB(10, 0, 0));
    HPEN b = CreatePen(PS_SOLID, 1, RGB(20, 0, 0));
    {
        rpDevContext wrap(dc);
        EXPECT_EQ(wrap.select(RP_PEN, static_cast<HGDIOBJ>(a), true), found);
        EXPECT_EQ(wrap.select(RP_PEN, static_cast<HGDIOBJ>(b), false), static_cast<HGDIOBJ>(a));
        EXPECT_EQ(GetObjectType(a), 0u);  // deleted at the second select
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), static_cast<HGDIOBJ>(b));
        // Handing the earlier object back: the returned handle with autoDelete false.
        wrap.select(RP_PEN, found, false);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), found);
        EXPECT_NE(GetObjectType(b), 0u);  // not owned: kept
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), found);
    DeleteObject(b);
}

TEST_F(DevContextTest, NothingSelectedIsEverDeleted)
{
    int deaths = 0;
    HPEN gone = CreatePen(PS_SOLID, 1, 0);
    DeleteObject(gone);
    {
        rpDevContext wrap(dc);
        CountedPen* pen = new CountedPen(&deaths);
        wrap.select(RP_PEN, pen, true);
        wrap.select(RP_PEN, pen, true);  // the same object again
        // A selection that fails leaves the owned pen selected, and so alive.
        EXPECT_EQ(wrap.select(RP_PEN, static_cast<HGDIOBJ>(gone), false), nullptr);
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen->handle);
    }
    EXPECT_EQ(deaths, 1);
}

TEST_F(DevContextTest, RestoringTheRegionKindGivesBackTheClipFound)
{
    HRGN probe = CreateRectRgn(0, 0, 0, 0);
    HRGN before = CreateRectRgn(1, 1, 3, 3);
    for (HRGN found : {HRGN(nullptr), before}) {
        SelectClipRgn(dc, found);
        {
            rpDevContext wrap(dc);
            wrap.select(RP_REGION, CreateRectRgn(0, 0, 7, 7), true);
        }
        ASSERT_EQ(GetClipRgn(dc, probe), found ? 1 : 0);
        EXPECT_TRUE(!found || EqualRgn(probe, found));
    }
    DeleteObject(probe);
    DeleteObject(before);
}

TEST_F(DevContextTest, RestoreSelectionPerKindIncludingThePalette)
{
    struct {
        WORD version = 0x300;
        WORD entries = 1;
        PALETTEENTRY entry = {1, 2, 3, 0};
    } log;
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    HGDIOBJ foundPal = GetCurrentObject(dc, OBJ_PAL);
    HGDIOBJ foundBrush = GetCurrentObject(dc, OBJ_BRUSH);
    {
        rpDevContext wrap(dc);
        EXPECT_EQ(wrap.select(RP_PALETTE, static_cast<HGDIOBJ>(pal), false), foundPal);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), static_cast<HGDIOBJ>(pal));
        wrap.select(RP_BRUSH, static_cast<HGDIOBJ>(brush), true);
        wrap.restoreSelection(RP_PALETTE);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), foundPal);
        EXPECT_EQ(wrap.selected[RP_PALETTE], nullptr);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), static_cast<HGDIOBJ>(brush));  // other kinds untouched
        wrap.restoreSelection(-1);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), foundBrush);
        EXPECT_TRUE(wrap.autoDelete[RP_BRUSH]);  // the flag keeps its value
    }
    EXPECT_EQ(GetObjectType(brush), 0u);  // owned, deleted once no longer selected
    EXPECT_NE(GetObjectType(pal), 0u);
    DeleteObject(pal);
}

TEST(WinDCTest, ScreenAndWindowContexts)
{
    {
        rpWinDC screen(nullptr, nullptr, 0);
        EXPECT_TRUE(screen.owner);
        EXPECT_EQ(screen.hwnd, nullptr);
        ASSERT_NE(screen.hdc, nullptr);
        EXPECT_EQ(GetDeviceCaps(screen.hdc, HORZRES), GetSystemMetrics(SM_CXSCREEN));
    }
    HWND h = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    rpWin object(h, false);
    {
        rpWinDC viaObject(reinterpret_cast<HWND>(1), &object, 1);  // the object's handle wins
        EXPECT_EQ(viaObject.hwnd, h);
        EXPECT_EQ(viaObject.win, &object);
        EXPECT_EQ(WindowFromDC(viaObject.hdc), h);
        viaObject.select(RP_BRUSH, GetStockObject(BLACK_BRUSH), false);
    }
    {
        rpWinDC none(h, nullptr, 2);  // stores the window, takes no context
        EXPECT_EQ(none.hwnd, h);
        EXPECT_EQ(none.hdc, nullptr);
    }
    {
        // Re-targeting gives the first window's context back: none is kept for the wrong window.
        rpWinDC moved(h, nullptr, 0);
        ASSERT_NE(moved.hdc, nullptr);
        moved.setWinHandle(nullptr, nullptr, 2);
        EXPECT_EQ(moved.hwnd, nullptr);
        EXPECT_EQ(moved.hdc, nullptr);
        moved.setWinHandle(h, nullptr, 0);
        EXPECT_EQ(WindowFromDC(moved.hdc), h);
    }
    DestroyWindow(h);
}
