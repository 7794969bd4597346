// Child controls and the list box over the items of a real dialog: binding, partner, keyboard
// commands, data linking.
#include "rpControl.h"
#include "rpListBox.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testsupport::pumpMessages;

namespace {

INT_PTR CALLBACK plainDialogProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

struct Command {
    int id;
    int code;
    HWND control;
};

// The dialog's window object: records the commands that reach it.
class RecordingParent : public rpWin {
public:
    explicit RecordingParent(HWND h) : rpWin(h, true) {}
    bool command(int commandId, int code, HWND control) override
    {
        commands.push_back({commandId, code, control});
        return true;
    }
    std::vector<Command> commands;
};

int controlsDeleted = 0;

class TrackedControl : public rpControl {
public:
    TrackedControl(rpWin* parentWin, const char* className, int controlIdValue)
        : rpControl(parentWin, className, controlIdValue, 0)
    {
    }
    ~TrackedControl() override { ++controlsDeleted; }
};

class ControlTest : public testing::Test {
protected:
    void SetUp() override
    {
        controlsDeleted = 0;
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "ControlDialog", nullptr,
                                    plainDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        parentObject = new RecordingParent(dialog);
    }
    void TearDown() override
    {
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        pumpMessages(20);
    }
    HWND item(int id) { return GetDlgItem(dialog, id); }

    HWND dialog = nullptr;
    RecordingParent* parentObject = nullptr;  // deletes itself with the dialog
};

}  // namespace

TEST_F(ControlTest, BindsToAnExistingItemAndDiesWithIt)
{
    auto* edit = new TrackedControl(parentObject, "Edit", 201);
    EXPECT_EQ(edit->hwnd, item(201));
    EXPECT_TRUE(edit->linked);
    EXPECT_EQ(rpWin::GetWin(item(201)), edit);
    EXPECT_TRUE(edit->tryLink());

    // A second object over the same item is refused and stays unbound.
    TrackedControl second(parentObject, "Edit", 201);
    second.owner = false;
    EXPECT_EQ(second.hwnd, nullptr);
    EXPECT_FALSE(second.tryLink());
    EXPECT_EQ(rpWin::GetWin(item(201)), edit);

    // No item with that id: the object stays unbound until it creates its own window.
    TrackedControl missing(parentObject, "Edit", 299);
    EXPECT_EQ(missing.hwnd, nullptr);
    EXPECT_FALSE(missing.tryLink());
    EXPECT_FALSE(missing.linked);

    DestroyWindow(dialog);
    EXPECT_EQ(controlsDeleted, 1);  // the stack objects go at the end of the test
}

TEST_F(ControlTest, PlainPartnerIsWrappedWithoutBeingSubclassed)
{
    const LONG_PTR staticProc = GetWindowLongPtrA(item(202), GWLP_WNDPROC);
    auto* edit = new rpControl(parentObject, "Edit", 201, 0);
    edit->joinPartner();
    ASSERT_NE(edit->partner, nullptr);
    EXPECT_EQ(edit->partner->hwnd, item(202));
    EXPECT_FALSE(edit->partner->linked);
    EXPECT_EQ(rpWin::GetWin(item(202)), nullptr);
    EXPECT_EQ(GetWindowLongPtrA(item(202), GWLP_WNDPROC), staticProc);

    // Joining again keeps the same partner object.
    rpControl* first = edit->partner;
    edit->joinPartner();
    EXPECT_EQ(edit->partner, first);

    // show and enable carry the partner along; the answer is the control's own.
    EXPECT_TRUE(edit->show(SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(item(201)));
    EXPECT_FALSE(IsWindowVisible(item(202)));
    EXPECT_FALSE(edit->show(SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(item(202)));
    EXPECT_FALSE(edit->enable(false));
    EXPECT_FALSE(IsWindowEnabled(item(202)));
    EXPECT_TRUE(edit->enable(true));
    EXPECT_TRUE(IsWindowEnabled(item(202)));
}

TEST_F(ControlTest, WithoutNextItemThereIsNoPartner)
{
    auto* edit = new rpControl(parentObject, "Edit", 210, 0);
    edit->joinPartner();
    EXPECT_EQ(edit->partner, nullptr);
    edit->show(SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(item(210)));
    EXPECT_TRUE(IsWindowVisible(item(220)));
}

TEST_F(ControlTest, RegisteredPartnerIsSharedAndDeletedOnce)
{
    // Partner bound first: when the dialog goes, each object is deleted exactly once, in
    // whichever order the windows are destroyed.
    auto* partnerControl = new TrackedControl(parentObject, "Static", 202);
    auto* edit = new TrackedControl(parentObject, "Edit", 201);
    edit->joinPartner();
    EXPECT_EQ(edit->partner, partnerControl);

    auto* check = new TrackedControl(parentObject, "Button", 220);
    auto* checkPartner = new TrackedControl(parentObject, "Button", 221);
    check->joinPartner();
    EXPECT_EQ(check->partner, checkPartner);
    // This partner's window goes first and takes its object along; the control forgets it.
    DestroyWindow(item(221));
    EXPECT_EQ(controlsDeleted, 1);
    EXPECT_EQ(check->partner, nullptr);

    DestroyWindow(dialog);
    EXPECT_EQ(controlsDeleted, 4);
}

TEST_F(ControlTest, LettingGoOfAPartnerLeavesItsWindowAndItsObject)
{
    auto* partnerControl = new TrackedControl(parentObject, "Static", 202);
    auto* edit = new TrackedControl(parentObject, "Edit", 201);
    edit->joinPartner();
    ASSERT_EQ(edit->partner, partnerControl);
    // Joined to another item (the control's id changed): the previous partner stays as it was.
    SetWindowLongPtrA(edit->hwnd, GWLP_ID, 209);
    edit->joinPartner();
    ASSERT_NE(edit->partner, nullptr);
    EXPECT_EQ(edit->partner->hwnd, item(210));
    EXPECT_EQ(controlsDeleted, 0);
    EXPECT_EQ(rpWin::GetWin(item(202)), partnerControl);

    // The control's window goes: the partner's window and object stay.
    SetWindowLongPtrA(edit->hwnd, GWLP_ID, 201);
    edit->joinPartner();
    ASSERT_EQ(edit->partner, partnerControl);
    DestroyWindow(item(201));
    pumpMessages(30);
    EXPECT_EQ(controlsDeleted, 1);
    EXPECT_TRUE(IsWindow(item(202)));
    EXPECT_EQ(rpWin::GetWin(item(202)), partnerControl);
}

TEST_F(ControlTest, KeysBecomeCommandsForTheParent)
{
    auto* button = new rpControl(parentObject, "Button", 203, 0);
    HWND h = item(203);

    EXPECT_EQ(SendMessageA(h, WM_KEYDOWN, VK_F1, 0), 0);
    SendMessageA(h, WM_CHAR, '\r', 0);
    SendMessageA(h, WM_CHAR, 27, 0);
    pumpMessages(30);
    ASSERT_EQ(parentObject->commands.size(), 3u);
    EXPECT_EQ(parentObject->commands[0].id, 20);
    EXPECT_EQ(parentObject->commands[0].code, 203);
    EXPECT_EQ(parentObject->commands[0].control, h);
    EXPECT_EQ(parentObject->commands[1].id, 21);
    EXPECT_EQ(parentObject->commands[1].code, 203);
    EXPECT_EQ(parentObject->commands[2].id, IDCANCEL);
    EXPECT_EQ(parentObject->commands[2].code, 0);
    EXPECT_EQ(parentObject->commands[2].control, h);
    (void)button;
}

TEST_F(ControlTest, OtherCharactersReachTheNativeControl)
{
    new rpControl(parentObject, "Edit", 201, 0);
    SendMessageA(item(201), WM_CHAR, 'a', 0);
    SendMessageA(item(201), WM_KEYDOWN, VK_F2, 0);
    pumpMessages(20);
    char text[16] = {};
    GetWindowTextA(item(201), text, sizeof text);
    EXPECT_STREQ(text, "a");
    for (const Command& c : parentObject->commands)  // only the edit's own notifications
        EXPECT_EQ(c.id, 201);
}

TEST_F(ControlTest, TabMovesTheDialogFocusBothWays)
{
    new rpControl(parentObject, "Button", 203, 0);
    SetForegroundWindow(dialog);
    SetFocus(item(203));
    ASSERT_EQ(GetFocus(), item(203));

    SendMessageA(item(203), WM_CHAR, '\t', 0);
    pumpMessages(30);
    EXPECT_EQ(GetFocus(), item(210));

    SetFocus(item(203));
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageA(item(203), WM_CHAR, '\t', 0);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    pumpMessages(30);
    EXPECT_EQ(GetFocus(), item(201));
}

TEST(ControlWithoutParentObject, TabIsSwallowedAndTheFocusStays)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "ControlDialog", nullptr,
                                     plainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    {
        rpWin unbound(dialog, false);  // a parent object that is not registered
        auto* edit = new rpControl(&unbound, "Edit", 201, 0);
        ASSERT_EQ(edit->hwnd, GetDlgItem(dialog, 201));
        SetForegroundWindow(dialog);
        SetFocus(edit->hwnd);
        SendMessageA(edit->hwnd, WM_CHAR, '\t', 0);
        pumpMessages(30);
        EXPECT_EQ(GetFocus(), edit->hwnd);
        char text[8] = {};
        GetWindowTextA(edit->hwnd, text, sizeof text);
        EXPECT_STREQ(text, "");  // the multi-line edit never saw the tab
    }
    DestroyWindow(dialog);
    pumpMessages(20);
}

TEST_F(ControlTest, ClickReachesTheParentAsButtonCommand)
{
    auto* check = new rpControl(parentObject, "Button", 220, 0);
    check->click();
    pumpMessages(20);
    EXPECT_EQ(check->getCheck(), BST_CHECKED);
    ASSERT_FALSE(parentObject->commands.empty());
    EXPECT_EQ(parentObject->commands.back().id, 220);
    EXPECT_EQ(parentObject->commands.back().code, BN_CLICKED);
}

TEST_F(ControlTest, PlainControlLinkingOnlyStoresAndFlags)
{
    auto* edit = new rpControl(parentObject, "Edit", 201, 0);
    int value = 3;
    rpCtrlMap entry{nullptr, &value, 201, 4, nullptr};
    edit->linkMapObject(&entry);
    EXPECT_EQ(edit->object, &value);
    EXPECT_EQ(edit->objectSize, 4);
    EXPECT_FALSE(edit->isModified());
    edit->modified(true);
    EXPECT_TRUE(edit->isModified());
    edit->updateObject();
    EXPECT_EQ(value, 3);
}

// ---- List box

namespace {
int count(HWND list)
{
    return static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
}
}  // namespace

TEST_F(ControlTest, ListBoxAddsTheItemArrayWithoutSelecting)
{
    auto* list = new rpListBox(parentObject, 230, 0);
    ASSERT_EQ(list->hwnd, item(230));
    int selection = 1;
    list->linkObject(&selection, nullptr);
    EXPECT_EQ(count(list->hwnd), 0);

    char first[] = "一行目";
    char second[] = "second";
    char* items[] = {first, second, nullptr};
    rpCtrlMap entry{nullptr, &selection, 230, 0, items};
    list->linkMapObject(&entry);
    EXPECT_EQ(list->object, &selection);
    EXPECT_EQ(count(list->hwnd), 2);
    EXPECT_EQ(SendMessageA(list->hwnd, LB_GETCURSEL, 0, 0), LB_ERR);

    list->updateScreen();
    char text[32];
    EXPECT_EQ(list->getSel(text), 6);
    EXPECT_STREQ(text, "second");
    EXPECT_FALSE(list->isModified());

    SendMessageA(list->hwnd, LB_SETCURSEL, 0, 0);
    EXPECT_TRUE(list->isModified());
    list->updateObject();
    EXPECT_EQ(selection, 0);
    EXPECT_EQ(list->getSel(text), 6);
    EXPECT_STREQ(text, "一行目");
}

TEST_F(ControlTest, UnlinkedListBoxIsNeverModified)
{
    auto* list = new rpListBox(parentObject, "ListBox", 230, 0);
    SendMessageA(list->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("x"));
    SendMessageA(list->hwnd, LB_SETCURSEL, 0, 0);
    EXPECT_FALSE(list->isModified());
    list->updateScreen();
    list->updateObject();
    EXPECT_EQ(SendMessageA(list->hwnd, LB_GETCURSEL, 0, 0), 0);
}

TEST_F(ControlTest, ListBoxWithNothingSelected)
{
    auto* list = new rpListBox(parentObject, 230, 0);
    int selection = -1;
    list->linkObject(&selection, nullptr);
    SendMessageA(list->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("x"));
    EXPECT_FALSE(list->isModified());
    selection = 5;
    list->updateObject();
    EXPECT_EQ(selection, -1);

    char text[8] = "junk";
    EXPECT_EQ(list->getSel(text), -1);
    EXPECT_STREQ(text, "");
    char bounded[8] = "junk";
    EXPECT_EQ(list->getSel(bounded, sizeof bounded), -1);
    EXPECT_STREQ(bounded, "");
}

TEST_F(ControlTest, BoundedGetSelCutsAtAWholeCharacter)
{
    auto* list = new rpListBox(parentObject, 230, 0);
    SendMessageA(list->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("ab日本"));
    SendMessageA(list->hwnd, LB_SETCURSEL, 0, 0);
    char text[8];
    std::memset(text, 'z', sizeof text);
    // Room for 4 bytes + NUL: "ab" and "日" fit, "本" would be cut in half.
    EXPECT_EQ(list->getSel(text, 5), 4);
    EXPECT_STREQ(text, "ab日");
    EXPECT_EQ(text[5], 'z');
    EXPECT_EQ(list->getSel(text, sizeof text), 6);
    EXPECT_STREQ(text, "ab日本");
}

// An item that fits is read straight into the caller's buffer: at the exact fit nothing may be
// written past the terminator, one byte less cuts at a whole character.
TEST_F(ControlTest, BoundedGetTextReadsWholeItemsAndCutsAtAWholeCharacter)
{
    auto* list = new rpListBox(parentObject, 230, 0);
    list->addString("ab日本");
    list->addString("");
    char text[8];
    std::memset(text, 'z', sizeof text);
    EXPECT_EQ(list->getText(0, text, 7), 6);
    EXPECT_STREQ(text, "ab日本");
    EXPECT_EQ(text[7], 'z');

    std::memset(text, 'z', sizeof text);
    EXPECT_EQ(list->getText(0, text, 6), 4);
    EXPECT_STREQ(text, "ab日");
    EXPECT_EQ(text[5], 'z');

    EXPECT_EQ(list->getText(1, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    std::strcpy(text, "junk");
    EXPECT_EQ(list->getText(2, text, sizeof text), -1);
    EXPECT_STREQ(text, "");
}

TEST_F(ControlTest, ShowLastScrollsTheLastItemIntoView)
{
    auto* list = new rpListBox(parentObject, 240, 0);
    list->lastError = 99;
    EXPECT_EQ(list->showLast(), 0);
    EXPECT_EQ(list->lastError, 0);
    EXPECT_EQ(SendMessageA(list->hwnd, LB_GETTOPINDEX, 0, 0), 0);

    for (int i = 0; i < 10; ++i) {
        std::string line = "line " + std::to_string(i);
        SendMessageA(list->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    EXPECT_EQ(list->showLast(), 0);
    // The box shows fewer than ten lines; the top moved down so that item 9 is visible.
    const LRESULT top = SendMessageA(list->hwnd, LB_GETTOPINDEX, 0, 0);
    EXPECT_GT(top, 0);
    RECT client;
    GetClientRect(list->hwnd, &client);
    const LRESULT height = SendMessageA(list->hwnd, LB_GETITEMHEIGHT, 0, 0);
    EXPECT_LE(9 - top, client.bottom / height);
}
