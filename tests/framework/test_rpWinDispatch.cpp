// The event dispatcher: which handler each message reaches with which decoded arguments, what
// is answered, and what goes on to the previous window procedure. Also the default handlers
// and the parent's forwarding to control objects.
#include "rpDevContext.h"
#include "rpWin.h"
#include "recordingclass.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testsupport::classSeen;
using testsupport::recordingClassProc;
using testsupport::RecClass;
using testsupport::registerRecordingClass;
using testsupport::seenByClass;

std::string ptr(const void* p)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

// Overrides every handler the dispatcher may call: records the call with its decoded arguments
// and answers `answer`. Event handlers set the result to 77 so that it can be seen returned.
struct Recorder : rpWin {
    Recorder() : rpWin(nullptr, RecClass, 1) { style = WS_OVERLAPPED; }
    bool answer = true;
    std::vector<std::string> calls;

    void log(const char* format, ...)
    {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        calls.push_back(text);
    }
    const char* who(rpWin* w) { return w == this ? "self" : w ? "other" : "null"; }
    bool ev(const char* name, rpEvent& e)
    {
        log("%s(%u)", name, e.msg);
        e.result = 77;
        return answer;
    }

    bool onClose() override { log("onClose()"); return answer; }
    bool command(int id, int code, HWND c) override { log("command(%d,%d,%s)", id, code, ptr(c).c_str()); return answer; }
    bool getMinMaxInfo(MINMAXINFO* p) override { log("getMinMaxInfo(%s)", ptr(p).c_str()); return answer; }
    bool paint() override { log("paint()"); return answer; }
    bool activated(int s, bool m) override { log("activated(%d,%d)", s, m); return answer; }
    bool enabled(bool f) override { log("enabled(%d)", f); return answer; }
    bool gotFocus(rpWin* w) override { log("gotFocus(%s)", who(w)); return answer; }
    bool killedFocus(rpWin* w) override { log("killedFocus(%s)", who(w)); return answer; }
    void onShow(int s) override { log("onShow(%d)", s); }
    void onHide(int s) override { log("onHide(%d)", s); }
    bool resized(int w, int h, int t) override { log("resized(%d,%d,%d)", w, h, t); return answer; }
    bool minimized(int w, int h) override { log("minimized(%d,%d)", w, h); return answer; }
    bool drawItem(int id, DRAWITEMSTRUCT* p) override { log("drawItem(%d,%s)", id, ptr(p).c_str()); return answer; }
    bool compareItem(rpEvent& e) override { return ev("compareItem", e); }
    bool measureItem(int id, MEASUREITEMSTRUCT* p) override { log("measureItem(%d,%s)", id, ptr(p).c_str()); return answer; }
    bool deleteItem(int id, DELETEITEMSTRUCT* p) override { log("deleteItem(%d,%s)", id, ptr(p).c_str()); return answer; }
    bool scrolled(int id, int code, int pos) override { log("scrolled(%d,%d,%d)", id, code, pos); return answer; }
    void menuSelect(rpMenu& m, unsigned item, unsigned flags) override
    {
        log("menuSelect(%s,%u,%u,%d)", ptr(m.hmenu).c_str(), item, flags, m.owns);
    }
    void menuInit(rpMenu& m) override { log("menuInit(%s,%d)", ptr(m.hmenu).c_str(), m.owns); }
    void menuPopup(rpMenu& m, int index) override { log("menuPopup(%s,%d)", ptr(m.hmenu).c_str(), index); }
    void sysmenuPopup(rpMenu& m) override { log("sysmenuPopup(%s)", ptr(m.hmenu).c_str()); }
    bool layoutChild() override { log("layoutChild()"); return answer; }
    bool notified(int id, NMHDR* nm, LRESULT& result) override
    {
        log("notified(%d,%s)", id, ptr(nm).c_str());
        result = 55;
        return answer;
    }
    bool dropFiles0(rpEvent& e) override { return ev("dropFiles0", e); }
    bool other(rpEvent& e) override { return ev("other", e); }
    bool mouse(int msg, rpPoint p, int keys) override { log("mouse(%d,%d,%d,%d)", msg, p.x, p.y, keys); return answer; }
    bool kbd(rpEvent& e) override { return ev("kbd", e); }
    bool user(rpEvent& e) override { return ev("user", e); }
    bool dde(rpEvent& e) override { return ev("dde", e); }
    bool getDialogCode(rpEvent& e) override { return ev("getDialogCode", e); }
    bool threadEnded(int code, rpThread* t) override { log("threadEnded(%d,%s)", code, ptr(t).c_str()); return answer; }
    bool notifiedDDE(int code, rpDDE* d) override { log("notifiedDDE(%d,%s)", code, ptr(d).c_str()); return answer; }
};

// How the answer is decided for a message.
enum Answer { Handler, AlwaysTrue, AlwaysFalse };

struct Row {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::string call;  // what the handler recorded
    Answer answer;
    LRESULT handledResult;  // returned when the answer is true
};

class DispatchTest : public testing::Test {
protected:
    void SetUp() override
    {
        registerRecordingClass();
        classSeen().clear();
    }
    void TearDown() override { testsupport::pumpMessages(10); }
};

}  // namespace

TEST_F(DispatchTest, EachMessageReachesItsHandlerWithDecodedArguments)
{
    Recorder* rec = new Recorder;
    ASSERT_TRUE(rec->create(nullptr));
    HWND h = rec->hwnd;
    HWND stranger = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 5, 5, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    HWND bar = CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | SBS_VERT, 0, 0, 10, 50, h,
                               reinterpret_cast<HMENU>(321), GetModuleHandleA(nullptr), nullptr);
    HMENU menu = CreatePopupMenu();
    MINMAXINFO mmi = {};
    DRAWITEMSTRUCT dis = {};
    MEASUREITEMSTRUCT mis = {};
    DELETEITEMSTRUCT del = {};
    COMPAREITEMSTRUCT cis = {};
    NMHDR nm = {};
    nm.hwndFrom = stranger;
    // Pointers in lParam must arrive whole on 64 bits too.
    const LPARAM p1 = reinterpret_cast<LPARAM>(&mmi);
    const std::string M = ptr(menu);
    const LPARAM self = reinterpret_cast<LPARAM>(h);

    const std::vector<Row> rows = {
        {WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(30, 40), "minimized(30,40)", Handler, 0},
        {WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(300, 200), "resized(300,200,2)", Handler, 0},
        {WM_SIZE, SIZE_RESTORED, MAKELPARAM(65535, 1), "resized(65535,1,0)", Handler, 0},
        {WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 1), 0, "activated(2,1)", Handler, 0},
        {WM_ACTIVATE, WA_INACTIVE, 0, "activated(0,0)", Handler, 0},
        {WM_SETFOCUS, reinterpret_cast<WPARAM>(h), 0, "gotFocus(self)", Handler, 0},
        {WM_SETFOCUS, reinterpret_cast<WPARAM>(stranger), 0, "gotFocus(null)", Handler, 0},
        {WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0, "killedFocus(self)", Handler, 0},
        {WM_KILLFOCUS, 0, 0, "killedFocus(null)", Handler, 0},
        {WM_ENABLE, 0x10000, 0, "enabled(0)", Handler, 0},  // only the low word counts
        {WM_ENABLE, 1, 0, "enabled(1)", Handler, 0},
        {WM_PAINT, 0, 0, "paint()", Handler, 0},
        {WM_CLOSE, 0, 0, "onClose()", AlwaysTrue, 0},
        {WM_SHOWWINDOW, 1, SW_PARENTOPENING, "onShow(3)", AlwaysFalse, 0},
        {WM_SHOWWINDOW, 0, 0, "onHide(0)", AlwaysFalse, 0},
        {WM_GETMINMAXINFO, 0, p1, "getMinMaxInfo(" + ptr(&mmi) + ")", Handler, 0},
        {WM_DRAWITEM, 5, reinterpret_cast<LPARAM>(&dis), "drawItem(5," + ptr(&dis) + ")", Handler, 0},
        {WM_MEASUREITEM, 6, reinterpret_cast<LPARAM>(&mis), "measureItem(6," + ptr(&mis) + ")", Handler, 0},
        {WM_DELETEITEM, 7, reinterpret_cast<LPARAM>(&del), "deleteItem(7," + ptr(&del) + ")", Handler, 0},
        {WM_COMPAREITEM, 8, reinterpret_cast<LPARAM>(&cis), "compareItem(57)", Handler, 77},
        {WM_NOTIFY, 9, reinterpret_cast<LPARAM>(&nm), "notified(9," + ptr(&nm) + ")", Handler, 55},
        {WM_GETDLGCODE, 0, 0, "getDialogCode(135)", Handler, 77},
        {WM_COMMAND, MAKEWPARAM(101, 5), reinterpret_cast<LPARAM>(stranger),
         "command(101,5," + ptr(stranger) + ")", Handler, 0},
        {WM_COMMAND, MAKEWPARAM(40001, 0), 0, "command(40001,0," + ptr(nullptr) + ")", Handler, 0},
        {WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 60000), 0, "scrolled(0,5,60000)", Handler, 0},
        {WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0, "scrolled(1,1,0)", Handler, 0},
        {WM_VSCROLL, MAKEWPARAM(SB_PAGEUP, 0), reinterpret_cast<LPARAM>(bar), "scrolled(321,2,0)", Handler, 0},
        {WM_HSCROLL, MAKEWPARAM(SB_PAGEUP, 0), reinterpret_cast<LPARAM>(bar), "scrolled(321,2,0)", Handler, 0},
        {WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0, "menuInit(" + M + ",0)", AlwaysFalse, 0},
        {WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(2, 0), "menuPopup(" + M + ",2)", AlwaysFalse, 0},
        {WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(2, 1), "sysmenuPopup(" + M + ")", AlwaysFalse, 0},
        {WM_MENUSELECT, MAKEWPARAM(44, MF_POPUP), reinterpret_cast<LPARAM>(menu), "menuSelect(" + M + ",44,16,0)", AlwaysFalse, 0},
        {WM_MDIACTIVATE, 0, self, "activated(1,0)", Handler, 0},
        {WM_MDIACTIVATE, 0, reinterpret_cast<LPARAM>(stranger), "activated(0,0)", Handler, 0},
        {WM_DROPFILES, 0, 0, "dropFiles0(563)", Handler, 77},
        {RPWM_LAYOUTCHILD, 0, 0, "layoutChild()", Handler, 0},
        {RPWM_DDENOTIFY, 3, p1, "notifiedDDE(3," + ptr(&mmi) + ")", Handler, 0},
        {RPWM_THREADENDED, 4, p1, "threadEnded(4," + ptr(&mmi) + ")", Handler, 0},
        {0x07CF, 0, 0, "user(1999)", Handler, 77},
        {WM_KEYDOWN, VK_TAB, 0, "kbd(256)", Handler, 77},
        {0x0108, 0, 0, "kbd(264)", Handler, 77},
        {0x0109, 0, 0, "other(265)", Handler, 77},
        // Signed: a captured mouse left of or above the window is negative.
        {WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-5, -7), "mouse(512,-5,-7,1)", Handler, 0},
        {0x020A, 0, MAKELPARAM(1, 2), "mouse(522,1,2,0)", Handler, 0},
        {0x020B, 0, 0, "other(523)", Handler, 77},
        {WM_USER, 0, 0, "user(1024)", Handler, 77},
        {0x7FFF, 0, 0, "user(32767)", Handler, 77},
        {0x8000, 0, 0, "other(32768)", Handler, 77},
        {0x03E0, 0, 0, "dde(992)", Handler, 77},
        {0x03E8, 0, 0, "dde(1000)", Handler, 77},
        {0x03E9, 0, 0, "other(1001)", Handler, 77},
        {WM_TIMER, 0, 0, "other(275)", Handler, 77},
        {WM_NULL, 0, 0, "other(0)", Handler, 77},
        {WM_SETCURSOR, 0, 0, "other(32)", Handler, 77},
        {WM_ERASEBKGND, 0, 0, "other(20)", Handler, 77},
    };

    for (bool answer : {true, false}) {
        rec->answer = answer;
        for (const Row& row : rows) {
            SCOPED_TRACE("message 0x" + std::to_string(row.msg) + " answer " + std::to_string(answer) +
                         " expecting " + row.call);
            rec->calls.clear();
            classSeen().clear();
            LRESULT r = SendMessageA(h, row.msg, row.wParam, row.lParam);
            // The first call is the dispatch; the default procedure may cause more (focus, cursor).
            ASSERT_GE(rec->calls.size(), 1u);
            EXPECT_EQ(rec->calls[0], row.call);
            bool handled = row.answer == AlwaysTrue || (row.answer == Handler && answer);
            EXPECT_EQ(seenByClass(row.msg), !handled);
            if (handled) {
                EXPECT_EQ(r, row.handledResult);
            }
        }
    }
    ASSERT_TRUE(IsWindow(h));  // WM_CLOSE never reached DefWindowProc
    EXPECT_TRUE(IsMenu(menu));  // the temporary wrappers did not own it
    DestroyMenu(menu);
    DestroyWindow(stranger);
    DestroyWindow(h);
}

namespace {
// Only the defaults: nothing overridden but what the test needs to observe.
struct Plain : rpWin {
    Plain() : rpWin(nullptr, RecClass, 1) { style = WS_OVERLAPPED; }
    bool refuse = false;
    int drops = -1;
    bool inClient = false;
    rpPoint point;
    std::vector<std::string> names;
    bool queryClose() override { return !refuse; }
    void dropFiles(HDROP drop, int count, rpPoint* p, bool client) override
    {
        drops = count;
        point = *p;
        inClient = client;
        for (int i = 0; i < count; ++i) {
            char name[MAX_PATH];
            DragQueryFileA(drop, static_cast<UINT>(i), name, sizeof name);
            names.push_back(name);
        }
    }
};

struct CountedThread : rpThread {
    explicit CountedThread(int* d) : deaths(d) {}
    ~CountedThread() override { ++*deaths; }
    int* deaths;
};

// A drop handle as the shell builds it: DROPFILES, then the names, each NUL-ended, then a NUL.
HDROP makeDrop(const std::vector<std::string>& names, POINT pt, bool nonClient)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& n : names)
        size += n.size() + 1;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    DROPFILES* df = static_cast<DROPFILES*>(GlobalLock(mem));
    df->pFiles = sizeof(DROPFILES);
    df->pt = pt;
    df->fNC = nonClient;
    df->fWide = FALSE;
    char* p = reinterpret_cast<char*>(df) + sizeof(DROPFILES);
    for (const std::string& n : names) {
        std::memcpy(p, n.c_str(), n.size() + 1);
        p += n.size() + 1;
    }
    GlobalUnlock(mem);
    return static_cast<HDROP>(mem);
}
}  // namespace

TEST_F(DispatchTest, DefaultHandlersAnswerAsDocumented)
{
    Plain w;
    w.owner = false;
    EXPECT_TRUE(w.queryMaximize());
    EXPECT_TRUE(w.terminateCheck());
    EXPECT_FALSE(w.timer(1));
    EXPECT_FALSE(w.command(1, 0));
    EXPECT_FALSE(w.command(1, 0, nullptr));
    EXPECT_FALSE(w.layoutChild());
    EXPECT_FALSE(w.resized(1, 2, 0));  // = layoutChild()
    EXPECT_TRUE(w.deleteItem(1, nullptr));
    EXPECT_EQ(w.compareItem(nullptr, nullptr, nullptr), 0);
    rpPoint size = w.measureItem(static_cast<MEASUREITEMSTRUCT*>(nullptr));
    EXPECT_EQ(size.x, 200);
    EXPECT_EQ(size.y, 20);
    NMHDR nm = {};
    LRESULT result = 0;
    EXPECT_FALSE(w.notified(&nm, result));
    rpEvent e;
    EXPECT_FALSE(w.other(e));
    EXPECT_FALSE(w.kbd(e));
    EXPECT_FALSE(w.user(e));
    EXPECT_FALSE(w.dde(e));
    EXPECT_FALSE(w.getDialogCode(e));
    EXPECT_FALSE(w.mouse(WM_MOUSEMOVE, rpPoint{}, 0));
    EXPECT_FALSE(w.scrollRequest(0, 0));

    int deaths = 0;
    EXPECT_TRUE(w.threadEnded(1, new CountedThread(&deaths)));
    EXPECT_EQ(deaths, 1);
    EXPECT_TRUE(w.threadEnded(1, nullptr));  // nothing to delete, still handled
    EXPECT_EQ(deaths, 1);

    EXPECT_TRUE(w.queryEndSession());
    w.refuse = true;
    EXPECT_FALSE(w.queryEndSession());
    EXPECT_FALSE(w.onClose());  // refused: destroy() not called
}

TEST_F(DispatchTest, DefaultsThroughTheWindowProcedure)
{
    Plain* w = new Plain;
    ASSERT_TRUE(w->create(nullptr));
    HWND h = w->hwnd;

    // Unhandled messages go on to the class procedure.
    EXPECT_EQ(SendMessageA(h, WM_COMMAND, 5, 0), 0);
    EXPECT_TRUE(seenByClass(WM_COMMAND));
    classSeen().clear();
    SendMessageA(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10));
    EXPECT_TRUE(seenByClass(WM_SIZE));

    // Handled ones do not.
    classSeen().clear();
    DELETEITEMSTRUCT del = {};
    SendMessageA(h, WM_DELETEITEM, 3, reinterpret_cast<LPARAM>(&del));
    int deaths = 0;
    EXPECT_EQ(SendMessageA(h, RPWM_THREADENDED, 0, reinterpret_cast<LPARAM>(new CountedThread(&deaths))), 0);
    EXPECT_EQ(deaths, 1);
    EXPECT_TRUE(classSeen().empty());

    // A refused close keeps the window open and never reaches the default (DestroyWindow).
    w->refuse = true;
    SendMessageA(h, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(h));
    EXPECT_FALSE(seenByClass(WM_CLOSE));
    w->refuse = false;
    SendMessageA(h, WM_CLOSE, 0, 0);  // destroys the window and, with it, the object
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(rpWindowsMap, nullptr);
}

TEST_F(DispatchTest, DropFilesDecodesTheDropAndAlwaysFinishesIt)
{
    Plain* w = new Plain;
    ASSERT_TRUE(w->create(nullptr));
    HWND h = w->hwnd;

    HDROP drop = makeDrop({"C:\\a.dll", "C:\\フォルダ\\b.dll"}, POINT{12, 34}, false);
    EXPECT_EQ(SendMessageA(h, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0), 0);
    EXPECT_EQ(w->drops, 2);
    EXPECT_EQ(w->point.x, 12);
    EXPECT_EQ(w->point.y, 34);
    EXPECT_TRUE(w->inClient);
    ASSERT_EQ(w->names.size(), 2u);
    EXPECT_EQ(w->names[1], "C:\\フォルダ\\b.dll");
    EXPECT_FALSE(seenByClass(WM_DROPFILES));
    EXPECT_EQ(GlobalSize(drop), 0u);  // DragFinish freed the handle

    // A handler that does nothing still gets the drop finished.
    rpWin* bare = new rpWin(nullptr, RecClass, 1);
    bare->style = WS_OVERLAPPED;
    ASSERT_TRUE(bare->create(nullptr));
    HDROP drop2 = makeDrop({"x"}, POINT{1, 1}, true);
    rpEvent e;
    e.msg = WM_DROPFILES;
    e.wParam = reinterpret_cast<WPARAM>(drop2);
    EXPECT_TRUE(bare->dispatchEvent(e));
    EXPECT_EQ(GlobalSize(drop2), 0u);
    DestroyWindow(bare->hwnd);
    DestroyWindow(h);
}

namespace {
// A control object that records what its parent forwarded to it.
struct Child : rpWin {
    Child(HWND h) : rpWin(h, true) {}
    std::string seen;
    HDC dc = nullptr;
    bool paint(rpDevContext& d, rpRect& r, DRAWITEMSTRUCT& dis) override
    {
        dc = d.hdc;
        EXPECT_FALSE(d.owner);
        seen = "paint " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
               std::to_string(r.right) + "," + std::to_string(r.bottom) + " " +
               std::to_string(dis.itemID);
        return false;  // not used by the parent
    }
    rpPoint measureItem(MEASUREITEMSTRUCT*) override { return rpPoint{31, 17}; }
    int compareItem(void* a, void* b, COMPAREITEMSTRUCT*) override
    {
        return static_cast<int>(reinterpret_cast<INT_PTR>(a) - reinterpret_cast<INT_PTR>(b));
    }
    bool notified(NMHDR* nm, LRESULT& result) override
    {
        seen = "notified " + std::to_string(nm->code);
        result = 99;
        return true;
    }
    bool scrollRequest(int code, int pos) override
    {
        seen = "scroll " + std::to_string(code) + "," + std::to_string(pos);
        return true;
    }
};
}  // namespace

TEST_F(DispatchTest, ParentForwardsOwnerDrawAndNotificationsToControlObjects)
{
    rpWin* parentWin = new rpWin(nullptr, RecClass, 1);
    parentWin->style = WS_OVERLAPPED;
    ASSERT_TRUE(parentWin->create(nullptr));
    HWND h = parentWin->hwnd;
    HWND item = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, h,
                                reinterpret_cast<HMENU>(500), GetModuleHandleA(nullptr), nullptr);
    HWND bare = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, h,
                                reinterpret_cast<HMENU>(501), GetModuleHandleA(nullptr), nullptr);
    Child* child = new Child(item);  // deletes itself with its window

    HDC dc = GetDC(h);
    DRAWITEMSTRUCT dis = {};
    dis.CtlID = 500;
    dis.itemID = 4;
    dis.hDC = dc;
    dis.rcItem = RECT{1, 2, 3, 4};
    classSeen().clear();
    EXPECT_TRUE(parentWin->drawItem(500, &dis));
    EXPECT_EQ(child->seen, "paint 1,2,3,4 4");
    child->seen.clear();
    SendMessageA(h, WM_DRAWITEM, 500, reinterpret_cast<LPARAM>(&dis));
    EXPECT_EQ(child->seen, "paint 1,2,3,4 4");
    EXPECT_FALSE(seenByClass(WM_DRAWITEM));
    EXPECT_EQ(child->dc, dc);
    EXPECT_NE(GetObjectType(dc), 0u);  // the borrowed context was left alone
    classSeen().clear();
    dis.CtlID = 501;
    EXPECT_FALSE(parentWin->drawItem(501, &dis));  // no object: on to the old procedure
    SendMessageA(h, WM_DRAWITEM, 501, reinterpret_cast<LPARAM>(&dis));
    EXPECT_TRUE(seenByClass(WM_DRAWITEM));
    ReleaseDC(h, dc);

    MEASUREITEMSTRUCT mis = {};
    SendMessageA(h, WM_MEASUREITEM, 500, reinterpret_cast<LPARAM>(&mis));
    EXPECT_EQ(mis.itemWidth, 31u);
    EXPECT_EQ(mis.itemHeight, 17u);
    mis = {};
    SendMessageA(h, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));  // a menu item: no object
    EXPECT_EQ(mis.itemWidth, 200u);
    EXPECT_EQ(mis.itemHeight, 10u);

    COMPAREITEMSTRUCT cis = {};
    cis.itemData1 = 10;
    cis.itemData2 = 3;
    EXPECT_EQ(SendMessageA(h, WM_COMPAREITEM, 500, reinterpret_cast<LPARAM>(&cis)), 7);
    classSeen().clear();
    EXPECT_EQ(SendMessageA(h, WM_COMPAREITEM, 501, reinterpret_cast<LPARAM>(&cis)), 0);
    EXPECT_FALSE(seenByClass(WM_COMPAREITEM));  // still handled

    // Notifications find the sender by its handle, not by the id in wParam.
    NMHDR nm = {};
    nm.hwndFrom = item;
    nm.idFrom = 999;
    nm.code = 12;
    EXPECT_EQ(SendMessageA(h, WM_NOTIFY, 999, reinterpret_cast<LPARAM>(&nm)), 99);
    EXPECT_EQ(child->seen, "notified 12");
    nm.hwndFrom = bare;
    classSeen().clear();
    SendMessageA(h, WM_NOTIFY, 501, reinterpret_cast<LPARAM>(&nm));
    EXPECT_TRUE(seenByClass(WM_NOTIFY));

    // Scroll requests reach an object that answers them; others go on.
    SendMessageA(h, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 40000), reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(child->seen, "scroll 5,40000");
    classSeen().clear();
    SendMessageA(h, WM_HSCROLL, SB_LINEUP, reinterpret_cast<LPARAM>(bare));
    EXPECT_TRUE(seenByClass(WM_HSCROLL));

    DestroyWindow(h);
    EXPECT_EQ(rpWindowsMap, nullptr);  // parent and child objects both gone
}
