// The scroll bar as an integer input in a real dialog: range, page step, every scroll code as a
// real WM_HSCROLL/WM_VSCROLL, the partner's text, and the control-map round trip.
#include "rpDialog.h"
#include "rpScrollBar.h"
#include "modaldriver.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::runLater;

namespace {

rpControl* makeBar(rpDialog* dialog, int id)
{
    return new rpScrollBar(dialog, id, 0);
}

// A modeless rpDialog over the template "BarDialog", bound through the dialog procedure.
class ScrollBarTest : public testing::Test {
protected:
    void SetUp() override
    {
        dialog = new rpDialog(nullptr, "BarDialog");
        NewDialog = dialog;
        window = CreateDialogParamA(rpWin::Instance(), "BarDialog", nullptr, rpDlgProc, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(rpWin::GetWin(window), dialog);
    }
    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);  // the dialog and its bars delete themselves
    }

    std::string partnerText()
    {
        char text[32] = {};
        GetDlgItemTextA(window, 302, text, sizeof text);
        return text;
    }
    LRESULT send(UINT msg, int code, int pos, HWND bar)
    {
        return SendMessageA(window, msg, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(bar));
    }

    rpDialog* dialog = nullptr;  // deletes itself with its window
    HWND window = nullptr;
};

}  // namespace

TEST_F(ScrollBarTest, NewBarOverAnItemShowsFiftyOfHundred)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    EXPECT_EQ(bar->hwnd, GetDlgItem(window, 301));
    EXPECT_EQ(bar->barType, SB_CTL);
    EXPECT_EQ(bar->position, 50);
    EXPECT_EQ(bar->minimum, 0);
    EXPECT_EQ(bar->maximum, 100);
    EXPECT_EQ(bar->pageStep, 10);
    ASSERT_NE(bar->partner, nullptr);
    EXPECT_EQ(partnerText(), "50");

    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_POS;
    ASSERT_TRUE(GetScrollInfo(bar->hwnd, SB_CTL, &info));
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax, 100);
    EXPECT_EQ(info.nPos, 50);
}

TEST_F(ScrollBarTest, SetSelRefusesValuesOutsideTheRange)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    EXPECT_FALSE(bar->setSel(101, true));
    EXPECT_FALSE(bar->setSel(-1, true));
    EXPECT_EQ(bar->position, 50);
    EXPECT_EQ(partnerText(), "50");
    EXPECT_TRUE(bar->setSel(100, true));
    EXPECT_EQ(GetScrollPos(bar->hwnd, SB_CTL), 100);
    EXPECT_EQ(partnerText(), "100");
    EXPECT_TRUE(bar->setSel(0, true));
    EXPECT_EQ(partnerText(), "0");
}

TEST_F(ScrollBarTest, RangeDerivesThePageStepAndClampsThePosition)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    struct Case {
        int min, max, step;
    };
    const Case cases[] = {{0, 9, 2},   {0, 10, 5},  {0, 39, 5},   {0, 40, 4},
                          {-50, 50, 10}, {0, 255, 25}, {5, 5, 2},
                          {-2147483647 - 1, 2147483647, 429496729}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.min) + ".." + std::to_string(c.max));
        EXPECT_TRUE(bar->setRangeAll(c.min, c.max, -1, -1, SIF_RANGE, true));
        EXPECT_EQ(bar->pageStep, c.step);
        EXPECT_GE(bar->position, c.min);
        EXPECT_LE(bar->position, c.max);
    }
    EXPECT_EQ(bar->position, 5);  // range 5..5 forced it there, the full range kept it

    bar->setRangeAll(0, 100, 30, -1, SIF_RANGE | SIF_POS, true);
    EXPECT_EQ(bar->position, 30);
    EXPECT_EQ(partnerText(), "30");
    bar->setRangeAll(0, 0, 200, -1, SIF_POS, true);  // range untouched, position clamped
    EXPECT_EQ(bar->maximum, 100);
    EXPECT_EQ(bar->position, 100);

    EXPECT_FALSE(bar->setRangeAll(10, 0, 5, -1, SIF_RANGE | SIF_POS, true));
    EXPECT_EQ(bar->minimum, 0);
    EXPECT_EQ(bar->maximum, 100);
    EXPECT_EQ(bar->position, 100);
}

TEST_F(ScrollBarTest, EveryScrollCodeThroughTheParentsMessages)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    HWND h = bar->hwnd;
    struct Step {
        int code, thumb, start, expected;
    };
    const Step steps[] = {
        {SB_LINEDOWN, 0, 50, 51},    {SB_LINEUP, 0, 50, 49},      {SB_PAGEDOWN, 0, 50, 60},
        {SB_PAGEUP, 0, 50, 40},      {SB_PAGEDOWN, 0, 95, 100},   {SB_PAGEUP, 0, 5, 0},
        {SB_LINEDOWN, 0, 100, 100},  {SB_THUMBTRACK, 30, 50, 30}, {SB_THUMBPOSITION, 70, 30, 30},
        {SB_THUMBTRACK, 65535, 50, 100}, {SB_TOP, 0, 50, 50},     {SB_BOTTOM, 0, 50, 50},
        {SB_ENDSCROLL, 0, 50, 50},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE("code " + std::to_string(s.code) + " from " + std::to_string(s.start));
        bar->setSel(s.start, true);
        send(WM_HSCROLL, s.code, s.thumb, h);
        EXPECT_EQ(bar->position, s.expected);
        EXPECT_EQ(GetScrollPos(h, SB_CTL), s.expected);
        EXPECT_EQ(partnerText(), std::to_string(s.expected));
    }

    // At the minimum a line up changes nothing, not even the partner's text.
    bar->setSel(0, true);
    SetDlgItemTextA(window, 302, "x");
    send(WM_HSCROLL, SB_LINEUP, 0, h);
    EXPECT_EQ(bar->position, 0);
    EXPECT_EQ(partnerText(), "x");
}

TEST_F(ScrollBarTest, DraggedThumbGivesTheBarsWholePosition)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    HWND h = bar->hwnd;
    // The bar's track position is where the thumb stands; the message carries its low 16 bits.
    const int cases[][3] = {{-50, 50, -10}, {0, 100000, 70000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[2]);
        bar->setRangeAll(c[0], c[1], 0, -1, SIF_RANGE | SIF_POS, true);
        SetScrollPos(h, SB_CTL, c[2], FALSE);
        send(WM_HSCROLL, SB_THUMBTRACK, c[2], h);
        EXPECT_EQ(bar->position, c[2]);
        EXPECT_EQ(partnerText(), std::to_string(c[2]));
    }
}

TEST_F(ScrollBarTest, VerticalBarWithoutPartnerWritesNoText)
{
    auto* bar = new rpScrollBar(dialog, 303, 0);
    EXPECT_EQ(bar->partner, nullptr);
    SetDlgItemTextA(window, 302, "untouched");
    send(WM_VSCROLL, SB_PAGEDOWN, 0, bar->hwnd);
    EXPECT_EQ(bar->position, 60);
    EXPECT_EQ(GetScrollPos(bar->hwnd, SB_CTL), 60);
    EXPECT_EQ(partnerText(), "untouched");
}

TEST_F(ScrollBarTest, ScrolledAnswersFalseForOtherControls)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    new rpControl(dialog, "Button", 310, 0);
    EXPECT_FALSE(dialog->scrolled(310, SB_LINEDOWN, 0));   // an object, but no scroll bar
    EXPECT_FALSE(dialog->scrolled(303, SB_LINEDOWN, 0));   // a bar item without object
    EXPECT_FALSE(dialog->scrolled(0, SB_LINEDOWN, 0));     // the dialog's own bar
    EXPECT_TRUE(dialog->scrolled(301, SB_LINEDOWN, 0));
    EXPECT_EQ(bar->position, 51);
}

TEST_F(ScrollBarTest, LinkingWithARangeTripleKeepsItsPageStep)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    int value = 7;
    int range[3] = {0, 20, 4};
    rpCtrlMap entry{makeBar, &value, 301, 0, range};
    bar->linkMapObject(&entry);
    EXPECT_EQ(bar->object, &value);
    EXPECT_EQ(bar->position, 7);
    EXPECT_EQ(bar->pageStep, 4);
    EXPECT_EQ(partnerText(), "7");
    EXPECT_FALSE(bar->isModified());

    send(WM_HSCROLL, SB_PAGEDOWN, 0, bar->hwnd);
    EXPECT_EQ(bar->position, 11);
    EXPECT_EQ(value, 7);  // scrolling never writes the variable
    EXPECT_TRUE(bar->isModified());
    bar->updateObject();
    EXPECT_EQ(value, 11);
    EXPECT_FALSE(bar->isModified());

    value = 99;  // outside the range: the bar keeps its position
    bar->updateScreen();
    EXPECT_EQ(bar->position, 11);
    EXPECT_TRUE(bar->isModified());
}

TEST_F(ScrollBarTest, UnlinkedBarIsNeverModified)
{
    auto* bar = new rpScrollBar(dialog, 301, 0);
    bar->linkObject(nullptr, nullptr);
    EXPECT_FALSE(bar->isModified());
    bar->updateObject();
    bar->updateScreen();
    EXPECT_EQ(bar->position, 50);
}

TEST(ScrollBarOwnWindow, CreateAppliesTheDefaults)
{
    rpWin* frameWindow = new rpWin(nullptr, "rpScrollBarTestFrame", 0);
    frameWindow->style = WS_OVERLAPPEDWINDOW;
    ASSERT_TRUE(frameWindow->create("frame"));
    auto* bar = new rpScrollBar(frameWindow, 400, SBS_VERT);
    EXPECT_EQ(bar->hwnd, nullptr);
    EXPECT_EQ(bar->position, 50);
    rpPoint pos{10, 10};
    rpPoint size{20, 100};
    bar->setPos(&pos, &size);
    ASSERT_TRUE(bar->create());
    ASSERT_NE(bar->hwnd, nullptr);
    EXPECT_EQ(GetDlgCtrlID(bar->hwnd), 400);
    EXPECT_TRUE(GetWindowLongPtrA(bar->hwnd, GWL_STYLE) & SBS_VERT);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_POS;
    ASSERT_TRUE(GetScrollInfo(bar->hwnd, SB_CTL, &info));
    EXPECT_EQ(info.nMax, 100);
    EXPECT_EQ(info.nPos, 50);
    // A window's own bars carry no control handle: the vertical one arrives as id 1.
    SendMessageA(frameWindow->hwnd, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    EXPECT_EQ(bar->position, 50);
    DestroyWindow(frameWindow->hwnd);
}

// ---- Modal round trip through the control map

namespace {
class BarDialog : public rpDialogModal {
public:
    explicit BarDialog(rpCtrlMap* map) : rpDialogModal(nullptr, "BarDialog", map) {}
};

class ScrollBarModalTest : public testing::Test {
protected:
    void TearDown() override { testsupport::cancelPending(); }
    testsupport::ModalGuard guard;
};
}  // namespace

TEST_F(ScrollBarModalTest, OkWritesTheValueBackCancelLeavesIt)
{
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
        int value = 12;
        int range[3] = {0, 40, 8};
        rpCtrlMap map[] = {{makeBar, &value, 301, 0, range}, {nullptr, nullptr, 0, 0, nullptr}};
        auto* dialog = new BarDialog(map);
        std::string shown, question;
        runLater(30, [&, dialog] {
            HWND h = dialog->hwnd;
            char text[16] = {};
            GetDlgItemTextA(h, 302, text, sizeof text);
            shown = text;
            SendMessageA(h, WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0),
                         reinterpret_cast<LPARAM>(GetDlgItem(h, 301)));
            if (button == IDCANCEL)
                testsupport::answerMessageBox(IDYES, &question, nullptr);
            SendMessageA(GetDlgItem(h, button), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(dialog->run(), button);
        EXPECT_EQ(shown, "12");
        EXPECT_EQ(value, button == IDOK ? 20 : 12);
        EXPECT_EQ(question, button == IDCANCEL ? "変更を保存せずに終了してよろしいですか？" : "");
    }
}

TEST_F(ScrollBarModalTest, OutOfRangeValueIsReplacedOnOk)
{
    int value = 50;
    int range[3] = {0, 20, 4};
    rpCtrlMap map[] = {{makeBar, &value, 301, 0, range}, {nullptr, nullptr, 0, 0, nullptr}};
    auto* dialog = new BarDialog(map);
    bool modified = false;
    runLater(30, [&, dialog] {
        modified = dialog->isModified();
        SendMessageA(GetDlgItem(dialog->hwnd, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog->run(), IDOK);
    EXPECT_TRUE(modified);
    EXPECT_EQ(value, 20);
}
