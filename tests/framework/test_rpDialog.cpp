// Modal dialogs run for real and driven from inside their modal loop: end codes, the control
// map round trip, the close question, missing and in-memory templates.
#include "rpDialog.h"
#include "rpListBox.h"
#include "modaldriver.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::answerMessageBox;
using testsupport::runLater;

namespace {

const char Question[] = "変更を保存せずに終了してよろしいですか？";

int dialogsDeleted = 0;

// A modal dialog that records its life: onCreate, deletion, and its window while it lives.
class TestDialog : public rpDialogModal {
public:
    explicit TestDialog(const char* name, rpCtrlMap* map = nullptr) : rpDialogModal(nullptr, name, map)
    {
    }
    ~TestDialog() override { ++dialogsDeleted; }
    void onCreate() override
    {
        ++created;
        window = hwnd;
        if (onCreateStep)
            onCreateStep(this);
    }
    bool queryOk() override { return okAllowed; }

    int created = 0;
    HWND window = nullptr;
    bool okAllowed = true;
    void (*onCreateStep)(TestDialog*) = nullptr;
};

// A control whose value is written only through updateObject; modified() marks it.
class ProbeControl : public rpControl {
public:
    ProbeControl(rpWin* parentWin, int controlIdValue) : rpControl(parentWin, "Button", controlIdValue, 0) {}
    void updateObject() override
    {
        if (object)
            *static_cast<int*>(object) = 777;
    }
};

rpControl* makeList(rpDialog* dialog, int id)
{
    return new rpListBox(dialog, id, 0);
}

rpControl* makeProbe(rpDialog* dialog, int id)
{
    return new ProbeControl(dialog, id);
}

void press(HWND dialog, int button)
{
    SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
}

class DialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        dialogsDeleted = 0;
        testsupport::clearDbout();
    }
    void TearDown() override { testsupport::cancelPending(); }
    testsupport::ModalGuard guard;
};

// Variables and map of the two-list dialog: list 101 shows first/second, 102 shows a/b/c.
struct MapFixture {
    int left = 0;
    int right = 2;
    int probe = 5;
    char l0[3] = "l0";
    char l1[3] = "l1";
    char r0[3] = "r0";
    char r1[3] = "r1";
    char r2[3] = "r2";
    char* leftItems[3] = {l0, l1, nullptr};
    char* rightItems[4] = {r0, r1, r2, nullptr};
    rpCtrlMap map[4] = {
        {makeList, &left, 101, 0, leftItems},
        {makeList, &right, 102, 0, rightItems},
        {makeProbe, &probe, 110, 0, nullptr},
        {nullptr, nullptr, 0, 0, nullptr},
    };
};

}  // namespace

TEST_F(DialogTest, PlainDialogEndsWithOkCancelOrClose)
{
    struct Case {
        const char* what;
        int expected;
        void (*end)(HWND);
    };
    const Case cases[] = {
        {"OK button", IDOK, [](HWND h) { press(h, IDOK); }},
        {"Cancel button", IDCANCEL, [](HWND h) { press(h, IDCANCEL); }},
        {"close box", IDCANCEL, [](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); }},
        {"Escape", IDCANCEL, [](HWND h) {
             PostMessageA(GetDlgItem(h, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogsDeleted = 0;
        auto* dialog = new TestDialog("PlainDialog");
        EXPECT_EQ(dialog->result, IDCANCEL);
        HWND* window = &dialog->window;
        int* created = &dialog->created;
        bool sawBinding = false;
        runLater(30, [&, dialog] {
            sawBinding = rpWin::GetWin(*window) == dialog && NewDialog == nullptr &&
                         *created == 1;
            c.end(*window);
        });
        EXPECT_EQ(dialog->run(), c.expected);
        EXPECT_TRUE(sawBinding);
        EXPECT_EQ(dialogsDeleted, 1);
        EXPECT_EQ(resultx, c.expected);
    }
}

TEST_F(DialogTest, MainDialogStyleListBoxOverItem260)
{
    // As the tool does: a heap dialog, a list box built in onCreate, lines added, then closed.
    static std::vector<std::string> lines;
    lines.clear();
    auto* dialog = new TestDialog("PlainDialog");
    dialog->onCreateStep = [](TestDialog* d) {
        auto* list = new rpListBox(d, 260, 0x00210102);
        SendMessageA(list->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("プラグイン  test"));
        SendMessageA(list->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("abc"));
    };
    HWND window = nullptr;
    HWND* windowPtr = &dialog->window;
    runLater(30, [&] {
        window = *windowPtr;
        HWND list = GetDlgItem(window, 260);
        rpListBox* object = dynamic_cast<rpListBox*>(rpWin::GetWin(list));
        if (object) {
            char text[64];
            SendMessageA(list, LB_SETCURSEL, 0, 0);
            object->getSel(text);
            lines.push_back(text);
            lines.push_back(std::to_string(SendMessageA(list, LB_GETCOUNT, 0, 0)));
        }
        press(window, IDCANCEL);
    });
    EXPECT_EQ(dialog->run(), IDCANCEL);
    EXPECT_EQ(dialogsDeleted, 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "プラグイン  test");  // the template's style stays: not sorted
    EXPECT_EQ(lines[1], "2");
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(DialogTest, OkRefusedByQueryOkKeepsTheDialog)
{
    auto* dialog = new TestDialog("PlainDialog");
    dialog->okAllowed = false;
    bool stillOpen = false;
    int resultAfterOk = 0;
    runLater(30, [&, dialog] {
        press(dialog->window, IDOK);
        stillOpen = IsWindow(dialog->window) != 0;
        resultAfterOk = dialog->result;
        PostMessageA(dialog->window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(dialog->run(), IDCANCEL);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(resultAfterOk, IDCANCEL);
}

TEST_F(DialogTest, MapFillsTheControlsAndUnmodifiedCancelAsksNothing)
{
    MapFixture f;
    auto* dialog = new TestDialog("MapDialog", f.map);
    int shownLeft = -2, shownRight = -2, leftCount = 0;
    bool modifiedBefore = true;
    runLater(30, [&, dialog] {
        HWND h = dialog->window;
        shownLeft = static_cast<int>(SendDlgItemMessageA(h, 101, LB_GETCURSEL, 0, 0));
        shownRight = static_cast<int>(SendDlgItemMessageA(h, 102, LB_GETCURSEL, 0, 0));
        leftCount = static_cast<int>(SendDlgItemMessageA(h, 101, LB_GETCOUNT, 0, 0));
        modifiedBefore = dialog->isModified();
        press(h, IDCANCEL);  // a question here would block until the guard ends it with -7
    });
    EXPECT_EQ(dialog->run(), IDCANCEL);
    EXPECT_EQ(shownLeft, 0);
    EXPECT_EQ(shownRight, 2);
    EXPECT_EQ(leftCount, 2);
    EXPECT_FALSE(modifiedBefore);
    EXPECT_EQ(f.left, 0);
    EXPECT_EQ(f.right, 2);
    EXPECT_EQ(f.probe, 5);
}

TEST_F(DialogTest, ModifiedCancelAsksAndNoKeepsTheDialogYesDiscards)
{
    MapFixture f;
    auto* dialog = new TestDialog("MapDialog", f.map);
    std::string firstQuestion, secondQuestion;
    int questions = 0;
    bool openAfterNo = false;
    runLater(30, [&, dialog] {
        HWND h = dialog->window;
        SendDlgItemMessageA(h, 101, LB_SETCURSEL, 1, 0);
        answerMessageBox(IDNO, &firstQuestion, &questions);
        press(h, IDCANCEL);  // returns when the box has been answered
        openAfterNo = IsWindow(h) && dialog->result == IDCANCEL;
        answerMessageBox(IDYES, &secondQuestion, &questions);
        press(h, IDCANCEL);
    });
    EXPECT_EQ(dialog->run(), IDCANCEL);
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(firstQuestion, Question);
    EXPECT_EQ(secondQuestion, Question);
    EXPECT_TRUE(openAfterNo);
    EXPECT_EQ(f.left, 0);
    EXPECT_EQ(dialogsDeleted, 1);
}

TEST_F(DialogTest, CloseBoxWithChangesAsksToo)
{
    MapFixture f;
    auto* dialog = new TestDialog("MapDialog", f.map);
    std::string question;
    runLater(30, [&, dialog] {
        HWND h = dialog->window;
        SendDlgItemMessageA(h, 102, LB_SETCURSEL, 0, 0);
        answerMessageBox(IDYES, &question, nullptr);
        SendMessageA(h, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(dialog->run(), IDCANCEL);
    EXPECT_EQ(question, Question);
    EXPECT_EQ(f.right, 2);
}

TEST_F(DialogTest, OkStoresOnlyTheModifiedControls)
{
    MapFixture f;
    auto* dialog = new TestDialog("MapDialog", f.map);
    runLater(30, [&, dialog] {
        HWND h = dialog->window;
        SendDlgItemMessageA(h, 102, LB_SETCURSEL, 1, 0);
        press(h, IDOK);
    });
    EXPECT_EQ(dialog->run(), IDOK);
    EXPECT_EQ(f.left, 0);
    EXPECT_EQ(f.right, 1);
    EXPECT_EQ(f.probe, 5);  // not modified: its updateObject never ran

    // The plain control marked modified is written through its own updateObject.
    MapFixture g;
    auto* second = new TestDialog("MapDialog", g.map);
    runLater(30, [&, second] {
        HWND h = second->window;
        dynamic_cast<rpControl*>(rpWin::GetWin(GetDlgItem(h, 110)))->modified(true);
        press(h, IDOK);
    });
    EXPECT_EQ(second->run(), IDOK);
    EXPECT_EQ(g.probe, 777);
    EXPECT_EQ(g.left, 0);
    EXPECT_EQ(g.right, 2);
}

TEST_F(DialogTest, DialogEndingItselfWithMinusOneRanAndIsNotTouchedAgain)
{
    auto* dialog = new TestDialog("PlainDialog");
    runLater(30, [dialog] {
        dialog->result = -1;
        dialog->destroy();
    });
    EXPECT_TRUE(dialog->create());  // it ran: no failed creation to report
    EXPECT_EQ(resultx, -1);
    EXPECT_EQ(dialogsDeleted, 1);
    EXPECT_TRUE(testsupport::dboutLog().empty());
    EXPECT_EQ(NewDialog, nullptr);
}

namespace {
// A modeless dialog bound through the dialog procedure, as a modal one is.
HWND openModeless(rpDialog* dialog, const char* name)
{
    NewDialog = dialog;
    return CreateDialogParamA(rpWin::Instance(), name, nullptr, rpDlgProc, 0);
}

class CountingDialog : public rpDialog {
public:
    CountingDialog() : rpDialog(nullptr, "MapDialog") {}
    bool command(int id, int code) override
    {
        if (id == 500)  // the list's focus notifications are commands too
            ++commands;
        return rpDialog::command(id, code);
    }
    void menuInit(rpMenu&) override { ++menuInits; }
    void onShow(int) override { ++shows; }
    int commands = 0, menuInits = 0, shows = 0;
};

int listsBuilt = 0, listsDeleted = 0;

class CountedList : public rpListBox {
public:
    CountedList(rpDialog* dialog, int id) : rpListBox(dialog, id, 0) { ++listsBuilt; }
    ~CountedList() override { ++listsDeleted; }
};

rpControl* makeCountedList(rpDialog* dialog, int id)
{
    return new CountedList(dialog, id);
}
}  // namespace

TEST_F(DialogTest, EveryMessageReachesTheHandlersOnce)
{
    auto* dialog = new CountingDialog;
    HWND h = openModeless(dialog, "MapDialog");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(dialog->shows, 1);
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(500, 0), 0);  // no handler takes it
    HMENU menu = CreateMenu();
    SendMessageA(h, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    DestroyMenu(menu);
    EXPECT_EQ(dialog->commands, 1);
    EXPECT_EQ(dialog->menuInits, 1);
    // What the handlers leave still gets the default dialog processing.
    EXPECT_EQ(LOWORD(SendMessageA(h, DM_GETDEFID, 0, 0)), IDOK);
    DestroyWindow(h);
}

TEST_F(DialogTest, ControlMapBuildsOnceFreesWhatDoesNotBindAndRefreshes)
{
    listsBuilt = listsDeleted = 0;
    int shown = 0, missing = 0;
    char a[] = "a", b[] = "b";
    char* items[] = {a, b, nullptr};
    rpCtrlMap map[] = {{makeCountedList, &shown, 101, 0, items},
                       {makeCountedList, &missing, 999, 0, nullptr},  // no such item
                       {nullptr, nullptr, 0, 0, nullptr}};
    auto* dialog = new rpDialog(nullptr, "MapDialog", map);
    HWND h = openModeless(dialog, "MapDialog");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(listsBuilt, 2);
    EXPECT_EQ(listsDeleted, 1);  // the one that found no item
    shown = 1;
    dialog->updateScreen();
    EXPECT_EQ(listsBuilt, 2);
    EXPECT_EQ(SendDlgItemMessageA(h, 101, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendDlgItemMessageA(h, 101, LB_GETCOUNT, 0, 0), 2);
    DestroyWindow(h);
    EXPECT_EQ(listsDeleted, 2);
}

TEST_F(DialogTest, MissingTemplateFailsWithMinusOne)
{
    TestDialog byName("NoSuchDialog");
    byName.owner = false;  // on the stack: never bound, never deleted by a window
    EXPECT_EQ(byName.run(), -1);
    EXPECT_EQ(resultx, -1);
    EXPECT_EQ(byName.lastError, -1);
    EXPECT_EQ(NewDialog, nullptr);
    EXPECT_EQ(byName.created, 0);
    ASSERT_FALSE(testsupport::dboutLog().empty());
    EXPECT_EQ(testsupport::dboutLog().back(), "<<rpDialogModal:生成に失敗しました。 [NoSuchDialog]>>\n");

    TestDialog byNumber(MAKEINTRESOURCEA(999));
    byNumber.owner = false;
    EXPECT_EQ(byNumber.run(), -1);
    EXPECT_EQ(testsupport::dboutLog().back(), "<<rpDialogModal:生成に失敗しました。 [#999]>>\n");
}

TEST_F(DialogTest, IntegerResourceIdRuns)
{
    auto* dialog = new TestDialog(MAKEINTRESOURCEA(77));
    runLater(30, [dialog] { press(dialog->window, IDOK); });
    EXPECT_EQ(dialog->run(), IDOK);
}

namespace {
// An in-memory template: caption "InMemory", one OK button.
std::vector<WORD> memoryTemplate()
{
    std::vector<WORD> t;
    auto dword = [&](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    auto text = [&](const wchar_t* s) {
        do
            t.push_back(static_cast<WORD>(*s));
        while (*s++);
    };
    dword(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME);
    dword(0);                                   // extended style
    t.push_back(1);                             // one item
    t.push_back(0); t.push_back(0);             // x, y
    t.push_back(120); t.push_back(60);          // cx, cy
    t.push_back(0);                             // no menu
    t.push_back(0);                             // default class
    text(L"InMemory");
    if (t.size() % 2)
        t.push_back(0);                         // items start on a DWORD boundary
    dword(WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON);
    dword(0);
    t.push_back(10); t.push_back(35); t.push_back(50); t.push_back(14);
    t.push_back(IDOK);
    t.push_back(0xFFFF); t.push_back(0x0080);   // button class
    text(L"OK");
    t.push_back(0);                             // no creation data
    return t;
}
}  // namespace

TEST_F(DialogTest, InMemoryTemplateTakesPrecedence)
{
    std::vector<WORD> data = memoryTemplate();
    auto* dialog = new TestDialog("PlainDialog");  // an existing template, yet not used
    dialog->templateData = reinterpret_cast<const DLGTEMPLATE*>(data.data());
    char caption[32] = {};
    runLater(30, [&, dialog] {
        GetWindowTextA(dialog->window, caption, sizeof caption);
        press(dialog->window, IDOK);
    });
    EXPECT_EQ(dialog->run(), IDOK);
    EXPECT_STREQ(caption, "InMemory");
}

namespace {
class MeasuringDialog : public TestDialog {
public:
    MeasuringDialog() : TestDialog("OwnerDrawDialog") {}
    rpPoint measureItem(MEASUREITEMSTRUCT*) override
    {
        ++measured;
        rpPoint size;
        size.x = 150;
        size.y = 33;
        return size;
    }
    int measured = 0;
};
}  // namespace

TEST_F(DialogTest, OwnerDrawnItemsAreMeasuredBeforeInitialisation)
{
    auto* dialog = new MeasuringDialog;
    int itemHeight = 0, measured = 0;
    runLater(30, [&, dialog] {
        itemHeight = static_cast<int>(SendDlgItemMessageA(dialog->window, 120, LB_GETITEMHEIGHT, 0, 0));
        measured = dialog->measured;
        press(dialog->window, IDOK);
    });
    EXPECT_EQ(dialog->run(), IDOK);
    EXPECT_GE(measured, 1);
    EXPECT_EQ(itemHeight, 33);
}
