// Window objects: the handle registry, binding, creation, self-deletion and the utilities on a
// live window.
#include "rpWin.h"
#include "rpModule.h"
#include "recordingclass.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::clearDbout;
using testsupport::dboutLog;
using testsupport::pumpMessages;

namespace {

using testsupport::classSeen;
using testsupport::recordingClassProc;
using testsupport::RecClass;
using testsupport::registerRecordingClass;
using testsupport::seenByClass;

// Counts destructions so that self-deletion can be observed.
struct Counted : rpWin {
    Counted(rpWin* parentWin, const char* name, int winId, int* deaths)
        : rpWin(parentWin, name, winId), deaths_(deaths) {}
    Counted(HWND h, bool bind, int* deaths) : rpWin(h, bind), deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }
    int* deaths_;
};

HWND plainWindow(const char* text = "plain")
{
    return CreateWindowExA(0, "STATIC", text, WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// A top-level object window of the recording class.
rpWin* newTopWindow(int* deaths)
{
    registerRecordingClass();
    Counted* w = new Counted(nullptr, RecClass, RP_AUTO_ID, deaths);
    w->style = WS_OVERLAPPEDWINDOW;
    return w;
}

// Top-level windows of this thread with the given class.
struct ClassCount {
    const char* cls;
    int n;
};

BOOL CALLBACK countClass(HWND h, LPARAM data)
{
    auto* count = reinterpret_cast<ClassCount*>(data);
    char name[64] = "";
    GetClassNameA(h, name, sizeof name);
    if (lstrcmpiA(name, count->cls) == 0)
        ++count->n;
    return TRUE;
}

int threadWindowsOf(const char* cls)
{
    ClassCount count{cls, 0};
    EnumThreadWindows(GetCurrentThreadId(), countClass, reinterpret_cast<LPARAM>(&count));
    return count.n;
}

class WinTest : public testing::Test {
protected:
    void SetUp() override
    {
        clearDbout();
        classSeen().clear();
    }
    void TearDown() override { pumpMessages(20); }
};

}  // namespace

TEST_F(WinTest, AutomaticIdsCountUpOnlyForAutoRequests)
{
    int base = rpWinID;
    EXPECT_GE(base, 1000);
    rpWin a(nullptr, "rpTestA", RP_AUTO_ID);
    rpWin b(nullptr, "rpTestB", RP_AUTO_ID);
    rpWin c(nullptr, "rpTestC", 42);
    EXPECT_EQ(a.id, base);
    EXPECT_EQ(b.id, base + 1);
    EXPECT_EQ(c.id, 42);
    EXPECT_EQ(rpWinID, base + 2);
    // Defaults of the creating constructor.
    EXPECT_TRUE(a.owner);
    EXPECT_FALSE(a.linked);
    EXPECT_EQ(a.hwnd, nullptr);
    EXPECT_STREQ(a.windowName, "rokpp");
    EXPECT_EQ(a.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(a.frame.left, CW_USEDEFAULT);
    EXPECT_EQ(a.frame.top, CW_USEDEFAULT);
    EXPECT_EQ(a.wndClass.cbSize, sizeof(WNDCLASSEXA));
    EXPECT_STREQ(a.wndClass.lpszClassName, "rpTestA");
    EXPECT_STREQ(a.objectName, "rpTestA");
    EXPECT_EQ(a.wndClass.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

TEST_F(WinTest, RegistryLivesExactlyWhileSomethingIsBound)
{
    ASSERT_EQ(rpWindowsMap, nullptr);
    HWND h1 = plainWindow();
    HWND h2 = plainWindow();
    rpWin a(nullptr, "rpTestA", 1);
    rpWin b(nullptr, "rpTestB", 2);
    a.owner = b.owner = false;  // stack objects

    EXPECT_TRUE(a.linkWin(h1));
    ASSERT_NE(rpWindowsMap, nullptr);
    EXPECT_TRUE(b.linkWin(h2));
    EXPECT_EQ(rpWindowsMap->size(), 2u);
    EXPECT_EQ(rpWin::GetWin(h1), &a);
    EXPECT_EQ(rpWin::GetWin(h2), &b);
    EXPECT_EQ(GetWindowLongPtrA(h1, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&a));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h1, GWLP_WNDPROC)), rpWinProc);
    WNDPROC before = a.oldProc;

    EXPECT_TRUE(a.linkWin(h2));  // already bound: nothing changes
    EXPECT_EQ(a.hwnd, h1);
    EXPECT_EQ(a.oldProc, before);

    a.unlinkWin();
    EXPECT_FALSE(a.linked);
    EXPECT_EQ(a.hwnd, h1);
    EXPECT_EQ(rpWin::GetWin(h1), nullptr);
    EXPECT_EQ(GetWindowLongPtrA(h1, GWLP_USERDATA), 0);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h1, GWLP_WNDPROC)), before);
    a.unlinkWin();  // unbound: nothing changes
    ASSERT_NE(rpWindowsMap, nullptr);

    b.unlinkWin();
    EXPECT_EQ(rpWindowsMap, nullptr);
    EXPECT_EQ(rpWin::GetWin(h2), nullptr);
    DestroyWindow(h1);
    DestroyWindow(h2);
}

TEST_F(WinTest, StoreManagerTableKeepsTheFirstEntry)
{
    HWND h = plainWindow();
    rpWin a(h, false), b(h, false);
    EXPECT_TRUE(rpWinStoreManagerTable(h, &a));
    EXPECT_FALSE(rpWinStoreManagerTable(h, &b));
    EXPECT_EQ(rpWin::GetWin(h), &a);
    rpWindowsMap->erase(h);
    delete rpWindowsMap;
    rpWindowsMap = nullptr;
    DestroyWindow(h);
}

TEST_F(WinTest, SecondBindingOfAHandleIsRefused)
{
    HWND h = plainWindow();
    rpWin first(nullptr, "rpTestA", 1);
    rpWin second(nullptr, "rpTestB", 2);
    first.owner = second.owner = false;
    ASSERT_TRUE(first.linkWin(h));
    EXPECT_FALSE(second.linkWin(h));
    EXPECT_FALSE(second.linked);
    EXPECT_EQ(second.hwnd, nullptr);
    EXPECT_EQ(rpWin::GetWin(h), &first);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_FALSE(dboutLog().empty());
    EXPECT_FALSE(second.linkWin(nullptr));
    first.unlinkWin();
    DestroyWindow(h);
}

TEST_F(WinTest, RefusedBindingsLeaveNoOrphanWindowAndKeepTheHandle)
{
    // A class whose own procedure is rpWinProc: its new window cannot be subclassed.
    rpWin looping(nullptr, "rpTestLoopingClass", 1);
    looping.owner = false;
    looping.style = WS_POPUP;
    looping.wndClass.lpfnWndProc = rpWinProc;
    EXPECT_FALSE(looping.create(nullptr));
    EXPECT_EQ(looping.hwnd, nullptr);
    EXPECT_EQ(threadWindowsOf("rpTestLoopingClass"), 0);

    int deaths = 0;
    rpWin* bound = newTopWindow(&deaths);
    ASSERT_TRUE(bound->create(nullptr));
    HWND h = bound->hwnd;
    EXPECT_FALSE(bound->create(nullptr));  // already bound: no second window
    EXPECT_EQ(bound->hwnd, h);
    EXPECT_EQ(threadWindowsOf(RecClass), 1);

    // Wrapping a handle that is bound already: a plain wrapper that keeps the handle.
    rpWin* second = new rpWin(h, true);
    EXPECT_EQ(second->hwnd, h);
    EXPECT_FALSE(second->owner);
    EXPECT_FALSE(second->linked);
    EXPECT_EQ(rpWin::GetWin(h), bound);
    delete second;
    pumpMessages(20);
    EXPECT_TRUE(IsWindow(h));  // no close was posted
    DestroyWindow(h);
    EXPECT_EQ(deaths, 1);
}

TEST_F(WinTest, ChildrenForgetADeletedParent)
{
    int deaths = 0;
    rpWin* top = newTopWindow(&deaths);
    ASSERT_TRUE(top->create(nullptr));
    rpWin child(top, "rpTestChild", 2);
    child.owner = false;
    DestroyWindow(top->hwnd);  // takes its object along
    ASSERT_EQ(deaths, 1);
    // Nothing is left to post to: the child neither has a window nor a parent any more.
    ASSERT_EQ(child.parent, nullptr);
    EXPECT_FALSE(child.postParent(WM_APP, 0, 0));
}

TEST_F(WinTest, CreateWithDefaultsUsesSystemPlacementAndDefaultText)
{
    int deaths = 0;
    rpWin* w = newTopWindow(&deaths);
    ASSERT_TRUE(w->create(nullptr));
    HWND h = w->hwnd;
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(w->linked);
    EXPECT_EQ(rpWin::GetWin(h), w);
    char text[32] = "";
    GetWindowTextA(h, text, sizeof text);
    EXPECT_STREQ(text, "rokpp");
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_GT(r.right - r.left, 0);  // sized by the system, not 0 by 0
    // Creation messages went to the class procedure only; the object was bound afterwards.
    EXPECT_TRUE(seenByClass(WM_CREATE));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)), rpWinProc);
    EXPECT_EQ(w->oldProc, recordingClassProc);
    DestroyWindow(h);
    EXPECT_EQ(deaths, 1);
}

TEST_F(WinTest, CreateRegistersNewClassesAndUsesSystemClasses)
{
    int deaths = 0;
    Counted* fresh = new Counted(nullptr, "rpTestFreshClass", 7, &deaths);
    fresh->style = WS_POPUP;
    fresh->frame.left = 10;
    fresh->frame.top = 20;
    fresh->frame.right = 110;
    fresh->frame.bottom = 70;
    ASSERT_TRUE(fresh->create("given"));
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExA(rpWin::Instance(), "rpTestFreshClass", &info));
    RECT r;
    GetWindowRect(fresh->hwnd, &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 50);
    EXPECT_TRUE(fresh->registClass());  // exists now: nothing to do

    Counted* list = new Counted(fresh, "LISTBOX", 300, &deaths);
    ASSERT_TRUE(list->create(nullptr));
    EXPECT_EQ(GetParent(list->hwnd), fresh->hwnd);
    EXPECT_EQ(GetDlgCtrlID(list->hwnd), 300);

    DestroyWindow(fresh->hwnd);  // the child goes first, then the parent
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(rpWindowsMap, nullptr);
}

TEST_F(WinTest, CreationFailuresAreReportedToDbout)
{
    rpWin w(nullptr, "rpTestNoSuchParent", 1);
    w.owner = false;
    w.style = WS_CHILD;  // a child without a parent cannot be created
    EXPECT_FALSE(w.create("x"));
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0], "ウインドウ（rpTestNoSuchParent）が生成できませんでした。\n");
    EXPECT_EQ(w.hwnd, nullptr);

    clearDbout();
    rpWin bad(nullptr, "", 1);  // an empty class name cannot be registered
    bad.owner = false;
    EXPECT_FALSE(bad.create(nullptr));
    ASSERT_EQ(dboutLog().size(), 1u);
    EXPECT_EQ(dboutLog()[0], "\n<<rpWin::ウインドウクラス()の登録に失敗しました。\n");
}

TEST_F(WinTest, DestroyingTheWindowDeletesOwnedObjectsOnly)
{
    int deaths = 0;
    HWND h1 = plainWindow();
    new Counted(h1, true, &deaths);  // bound wrapper: belongs to the window
    EXPECT_NE(rpWin::GetWin(h1), nullptr);
    DestroyWindow(h1);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(rpWindowsMap, nullptr);

    HWND h2 = plainWindow();
    {
        Counted loose(h2, false, &deaths);  // plain wrapper: no messages, never deleted by us
        EXPECT_EQ(loose.hwnd, h2);
        EXPECT_FALSE(loose.owner);
        EXPECT_EQ(rpWin::GetWin(h2), nullptr);
        DestroyWindow(h2);
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);
}

TEST_F(WinTest, WmDestroyUnbindsAndStillReachesTheClassProcedure)
{
    int deaths = 0;
    rpWin* w = newTopWindow(&deaths);
    ASSERT_TRUE(w->create(nullptr));
    HWND h = w->hwnd;
    classSeen().clear();
    DestroyWindow(h);
    EXPECT_EQ(deaths, 1);
    EXPECT_TRUE(seenByClass(WM_DESTROY));
    EXPECT_TRUE(seenByClass(WM_NCDESTROY));
}

TEST_F(WinTest, DeletingAnOwnedObjectPostsOneCloseToItsWindow)
{
    int deaths = 0;
    rpWin* w = newTopWindow(&deaths);
    ASSERT_TRUE(w->create(nullptr));
    HWND h = w->hwnd;
    delete w;
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_USERDATA), 0);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)), recordingClassProc);
    EXPECT_TRUE(IsWindow(h));  // posted, not sent
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, h, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_FALSE(PeekMessageA(&msg, h, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    DispatchMessageA(&msg);  // the unbound window closes itself
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WinTest, WindowOperationsReportPreviousState)
{
    HWND h = plainWindow("before");
    rpWin w(h, false);
    EXPECT_FALSE(w.show(SW_SHOWNA));  // was hidden
    EXPECT_TRUE(w.show(SW_HIDE));     // was visible
    EXPECT_FALSE(w.enable(false));    // was enabled
    EXPECT_TRUE(w.enable(true));      // was disabled
    w.setText(std::string("after"));
    EXPECT_EQ(w.getTextLen(), 5);
    char text[16];
    EXPECT_EQ(w.getText(text, sizeof text), 5);
    EXPECT_STREQ(text, "after");
    EXPECT_TRUE(w.destroy());
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WinTest, GetTextSwitchesToTheHeapAbove900Characters)
{
    HWND h = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPED | ES_AUTOHSCROLL, 0, 0, 100, 30, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    rpWin w(h, false);
    for (int n : {0, 900, 901, 5000}) {
        std::string text(static_cast<size_t>(n), 'x');
        if (n > 0)
            text[static_cast<size_t>(n) - 1] = 'E';
        SetWindowTextA(h, text.c_str());
        std::string out = "stale";
        EXPECT_EQ(w.getText(out), n) << n;
        EXPECT_EQ(out, text) << n;
    }
    // Double-byte text survives whole.
    SetWindowTextA(h, "日本語のテキスト");
    std::string out;
    w.getText(out);
    EXPECT_EQ(out, "日本語のテキスト");
    DestroyWindow(h);
}

TEST_F(WinTest, NumbersAsWindowText)
{
    HWND h = plainWindow();
    rpWin w(h, false);
    w.setInt(-42, nullptr);
    EXPECT_EQ(w.getInt(), -42);
    w.setInt(7, "%03d件");
    std::string out;
    w.getText(out);
    EXPECT_EQ(out, "007件");
    w.setFloat(2.5f, "%.2f");
    EXPECT_FLOAT_EQ(w.getFloat(), 2.5f);
    w.setText("  12abc");
    EXPECT_EQ(w.getInt(), 12);
    w.setText("abc");
    EXPECT_EQ(w.getInt(), 0);
    std::string big(400, '9');
    w.setText(big.c_str());
    EXPECT_EQ(w.getInt(), std::atoi(std::string(299, '9').c_str()));  // only 300 characters read
    DestroyWindow(h);
}

TEST_F(WinTest, SetPosOnALiveWindowWrapsAt16BitsAndKeepsZOrder)
{
    // Siblings inside one parent: their order is the Z order that SWP_NOZORDER must keep.
    HWND top = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 500, 500, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    HWND h = CreateWindowExA(0, "STATIC", "", WS_CHILD, 10, 10, 50, 40, top, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    HWND sibling = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, top, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    rpWin w(h, false);
    HWND prevBefore = GetWindow(h, GW_HWNDPREV);
    HWND nextBefore = GetWindow(h, GW_HWNDNEXT);
    ASSERT_TRUE(prevBefore == sibling || nextBefore == sibling);
    EXPECT_TRUE(w.setPos(nullptr, nullptr));

    rpPoint pos{70000, 30};
    EXPECT_TRUE(w.setPos(&pos, nullptr));
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 70000 - 65536);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right - r.left, 50);  // size kept

    rpPoint size{120, 90};
    EXPECT_TRUE(w.setPos(nullptr, &size));
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 4464);  // position kept
    EXPECT_EQ(r.right - r.left, 120);
    EXPECT_EQ(r.bottom - r.top, 90);
    EXPECT_EQ(GetWindow(h, GW_HWNDPREV), prevBefore);
    EXPECT_EQ(GetWindow(h, GW_HWNDNEXT), nextBefore);

    rpPoint neg{-65536 - 20, 5};
    w.setPos(&neg, nullptr);
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, -20);
    DestroyWindow(top);
}

TEST_F(WinTest, SetPosWithoutWindowOnlyChangesTheFrame)
{
    int deaths = 0;
    rpWin* w = newTopWindow(&deaths);
    w->style = WS_POPUP;
    rpPoint pos{100000, 20};
    rpPoint size{300, 200};
    EXPECT_TRUE(w->setPos(&pos, &size));
    EXPECT_EQ(w->frame.left, 100000);  // full 32-bit values
    EXPECT_EQ(w->frame.right, 100300);
    pos = {15, 25};
    EXPECT_TRUE(w->setPos(&pos, nullptr));  // keeps the size
    EXPECT_EQ(w->frame.right, 315);
    EXPECT_EQ(w->frame.bottom, 225);
    ASSERT_TRUE(w->create(nullptr));
    RECT r;
    GetWindowRect(w->hwnd, &r);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 25);
    EXPECT_EQ(r.right - r.left, 300);
    DestroyWindow(w->hwnd);
}

TEST_F(WinTest, MoveCenterUsesTheFullScreenClientArea)
{
    HWND h = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    rpWin w(h, false);
    w.moveCenter();
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXFULLSCREEN) - 400) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYFULLSCREEN) - 300) / 2);
    EXPECT_EQ(r.right - r.left, 400);

    int big = GetSystemMetrics(SM_CXFULLSCREEN) + 101;  // larger than the area: negative, toward zero
    SetWindowPos(h, nullptr, 0, 0, big, 300, SWP_NOZORDER | SWP_NOMOVE);
    w.moveCenter();
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, -50);
    DestroyWindow(h);
}

TEST_F(WinTest, PostParentTargetsTheParentObjectOrTheParentWindow)
{
    HWND top = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, top, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    MSG msg;
    rpWin viaWindow(child, false);
    EXPECT_TRUE(viaWindow.postParent(WM_APP + 1, 3, 4));
    ASSERT_TRUE(PeekMessageA(&msg, top, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(msg.lParam, 4);

    rpWin noTarget(top, false);  // a top-level window has no parent
    EXPECT_FALSE(noTarget.postParent(WM_APP + 2, 0, 0));
    rpWin nothing(nullptr, false);
    EXPECT_FALSE(nothing.postParent(WM_APP + 2, 0, 0));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP + 2, WM_APP + 2, PM_REMOVE));

    rpWin parentObject(nullptr, "rpTestP", 1);
    parentObject.owner = false;
    rpWin withParent(&parentObject, "rpTestC", 2);
    withParent.owner = false;
    EXPECT_TRUE(withParent.postParent(WM_APP + 3, 0, 0));  // parent has no window: thread queue
    EXPECT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), WM_APP + 3, WM_APP + 3, PM_REMOVE));
    DestroyWindow(top);
}

TEST_F(WinTest, PeekMsgLooksOnlyAtThisWindow)
{
    HWND a = plainWindow();
    HWND b = plainWindow();
    rpWin w(a, false);
    PostMessageA(b, WM_APP + 5, 0, 0);
    EXPECT_FALSE(w.peekMsg(WM_APP + 5, WM_APP + 5, PM_NOREMOVE, nullptr));
    PostMessageA(a, WM_APP + 5, 9, 0);
    MSG msg;
    EXPECT_TRUE(w.peekMsg(WM_APP + 5, WM_APP + 5, PM_REMOVE, &msg));
    EXPECT_EQ(msg.wParam, 9u);
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST_F(WinTest, TextHeightMeasuresTheWindowFont)
{
    HWND h = plainWindow();
    rpWin w(h, false);
    int plain = w.textHeight();  // no font set: the window DC's default font
    EXPECT_GT(plain, 0);
    HFONT big = CreateFontA(-60, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(big), FALSE);
    EXPECT_GE(w.textHeight(), 55);
    DestroyWindow(h);
    DeleteObject(big);
}

namespace {
// Presses a button of the thread's message box once it is up, and records its caption.
std::string boxCaption;
int boxButton = IDOK;

BOOL CALLBACK findBox(HWND h, LPARAM out)
{
    char cls[16] = "";
    GetClassNameA(h, cls, sizeof cls);
    if (std::string(cls) == "#32770" && IsWindowVisible(h)) {
        *reinterpret_cast<HWND*>(out) = h;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK answerBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findBox, reinterpret_cast<LPARAM>(&box));
    if (!box)
        return;
    KillTimer(nullptr, timer);
    char caption[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    boxCaption = caption;
    SendMessageA(GetDlgItem(box, boxButton), BM_CLICK, 0, 0);
}

int showBox(rpWin& w, int type, int button, const char* caption)
{
    boxCaption = "(none)";
    boxButton = button;
    SetTimer(nullptr, 0, 50, answerBox);
    return w.msgBox("本文", type, caption);
}
}  // namespace

TEST_F(WinTest, MsgBoxIsAnsweredAndCaptioned)
{
    HWND h = plainWindow();
    rpWin w(h, false);
    EXPECT_EQ(showBox(w, MB_YESNO, IDYES, "見出し"), IDYES);
    EXPECT_EQ(boxCaption, "見出し");
    EXPECT_EQ(showBox(w, MB_YESNO, IDNO, "q"), IDNO);
    DestroyWindow(h);
}

TEST_F(WinTest, MsgBoxWithoutCaptionUsesTheModuleNameOrRokpp4)
{
    rpModule* saved = Module;
    rpWin w(nullptr, false);
    Module = nullptr;
    EXPECT_EQ(showBox(w, MB_OK, IDOK, nullptr), IDOK);
    EXPECT_EQ(boxCaption, "Rok++4");

    rpModule tool("D:\\dir\\tool.dll");
    Module = &tool;
    showBox(w, MB_OK, IDOK, nullptr);
    EXPECT_EQ(boxCaption, "tool");

    rpModule unnamed;
    Module = &unnamed;
    showBox(w, MB_OK, IDOK, nullptr);
    EXPECT_EQ(boxCaption, "");
    Module = saved;
}

TEST_F(WinTest, SessionMessagesNeverReachTheOldProcedure)
{
    struct Refusing : rpWin {
        using rpWin::rpWin;
        bool allow = false;
        int closes = 0;
        bool queryClose() override { return allow; }
        bool onClose() override { ++closes; return rpWin::onClose(); }
    };
    registerRecordingClass();
    Refusing* w = new Refusing(nullptr, RecClass, 1);
    w->style = WS_OVERLAPPED;
    ASSERT_TRUE(w->create(nullptr));
    HWND h = w->hwnd;
    classSeen().clear();
    EXPECT_EQ(SendMessageA(h, WM_QUERYENDSESSION, 0, 0), 0);
    w->allow = true;
    EXPECT_EQ(SendMessageA(h, WM_QUERYENDSESSION, 0, 0), 1);
    w->allow = false;
    EXPECT_EQ(SendMessageA(h, WM_ENDSESSION, TRUE, 0), 0);  // onClose asked, refused
    EXPECT_EQ(w->closes, 1);
    EXPECT_EQ(SendMessageA(h, WM_ENDSESSION, FALSE, 0), 0);  // not ending: nothing
    EXPECT_EQ(w->closes, 1);
    EXPECT_TRUE(classSeen().empty());
    EXPECT_TRUE(IsWindow(h));
    w->allow = true;
    SendMessageA(h, WM_ENDSESSION, TRUE, 0);  // closes and destroys
    EXPECT_FALSE(IsWindow(h));
}
