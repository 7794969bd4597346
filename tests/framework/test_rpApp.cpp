// The application object: command-line parsing, start-up, the message loop with accelerators
// and modeless dialogs, and the real process entry in a helper program.
#include "rpApp.h"
#include "rpWin.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::readFile;
using testsupport::TempDir;

namespace {

const char ProgramPath[] = "C:\\prog\\tool.exe";

std::vector<std::string> parse(const std::string& line)
{
    App.storePathname0(ProgramPath);
    int n = App.xSetupArgs(line.c_str());
    EXPECT_EQ(n, App.argc);
    std::vector<std::string> args(App.argv, App.argv + App.argc);
    return args;
}

// A plain window that records the messages it receives.
struct Recorder {
    static std::vector<MSG>& seen()
    {
        static std::vector<MSG> messages;
        return messages;
    }
    static LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg >= WM_USER || msg == WM_COMMAND)
            seen().push_back(MSG{h, msg, wParam, lParam, 0, {0, 0}});
        return DefWindowProcA(h, msg, wParam, lParam);
    }
    Recorder()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "rpAppTestRecorder";
        RegisterClassA(&wc);
        hwnd = CreateWindowA("rpAppTestRecorder", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
        seen().clear();
    }
    ~Recorder() { DestroyWindow(hwnd); }
    HWND hwnd;
};

INT_PTR CALLBACK plainDialogProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

// Runs the helper program with the given arguments and returns its exit code.
DWORD runHost(const std::string& args)
{
    std::string exe = testsupport::fixturePath("rpapphost.exe");
    std::string line = "\"" + exe + "\" " + args;
    PROCESS_INFORMATION pi{};
    if (!testsupport::startProcess(exe, line, nullptr, &pi)) {
        ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
        return 0xFFFFFFFF;
    }
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}
}  // namespace

TEST(CommandLineTest, QuotingRules)
{
    using Args = std::vector<std::string>;
    const std::string p = ProgramPath;
    struct Case {
        std::string line;
        Args expected;
    } cases[] = {
        {"", {p}},
        {"one \"two three\" four", {p, "one", "two three", "four"}},
        {"\"say \"\"hi\"\"\"", {p, "say \"hi\""}},
        {"\"quoted\"text", {p, "quoted", "text"}},
        {"wo\"rd more\" x\"y", {p, "word", "more", "xy"}},
        {"a b  ", {p, "a", "b", ""}},
        {"\"\"", {p, ""}},
        {"\"\" z", {p, "", "z"}},
        {"a\tb\x01" "c\r\nd", {p, "a", "b", "c", "d"}},
        {"   lead", {p, "lead"}},
        {"\"unterminated text", {p, "unterminated text"}},
        // Two-byte characters whose second byte is 0x5C or a quote are copied whole.
        {"\"C:\\\x95\x5C\\x\" \x83\x5C", {p, "C:\\\x95\x5C\\x", "\x83\x5C"}},
        {"\"\x81\x22x\" \x81\x22y", {p, "\x81\x22x", "\x81\x22y"}},
        // Half-width katakana are single bytes: the closing quote still ends the token.
        {"\"\xC3\xBD\xC4\" next", {p, "\xC3\xBD\xC4", "next"}},
        // A lead byte never takes a blank or a control byte with it: the token ends there.
        {"\x81 abc", {p, "\x81", "abc"}},
        {"x\x81\tb\x82", {p, "x\x81", "b\x82"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse(c.line), c.expected) << "[" << c.line << "]";
}

TEST(CommandLineTest, OverlongArgumentIsCutOnAWholeCharacter)
{
    const std::string kanji = "\x95\x5C";
    auto args = parse(std::string(5000, 'a') + " next");
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[1], std::string(2999, 'a'));
    EXPECT_EQ(args[2], "next");

    args = parse("\"" + std::string(2998, 'b') + kanji + "tail\" next");
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[1], std::string(2998, 'b'));
    EXPECT_EQ(args[2], "next");

    args = parse(std::string(2997, 'c') + kanji);
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[1], std::string(2997, 'c') + kanji);
}

TEST(CommandLineTest, ManyShortArgumentsFit)
{
    std::string line;
    for (int i = 0; i < 1000; ++i)
        line += "\"\"x ";
    auto args = parse(line);
    EXPECT_EQ(args.size(), 2002u);
    EXPECT_EQ(args[1], "");
    EXPECT_EQ(args[2], "x");
    EXPECT_EQ(args.back(), "");
}

TEST(AppTest, StartupTakesOverTheExecutable)
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(Module, &App);
    EXPECT_EQ(App.startup002(self, "x \"y z\"", SW_SHOWMINIMIZED), 0);
    EXPECT_EQ(App.handle, self);
    EXPECT_FALSE(App.owner);
    EXPECT_EQ(App.moduleName, "test_rpApp");
    EXPECT_EQ(App.showCommand, SW_SHOWMINIMIZED);
    EXPECT_EQ(App.accelerators, nullptr);
    ASSERT_EQ(App.argc, 3);
    char path[MAX_PATH];
    GetModuleFileNameA(self, path, sizeof path);
    EXPECT_STREQ(App.argv[0], path);
    EXPECT_STREQ(App.argv[2], "y z");
    EXPECT_STREQ(App.objectName, "rpModule");
    App.freeArgs();
}

TEST(AppTest, RunDispatchesUntilQuitAndReturnsItsCode)
{
    Recorder window;
    PostMessageA(window.hwnd, WM_USER + 1, 11, 22);
    PostQuitMessage(7);
    EXPECT_EQ(App.run(), 7);
    ASSERT_EQ(Recorder::seen().size(), 1u);
    EXPECT_EQ(Recorder::seen()[0].message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(Recorder::seen()[0].wParam, 11u);
}

TEST(AppTest, MsgPumpDrainsTheQueueWithoutWaiting)
{
    Recorder window;
    for (int i = 0; i < 3; ++i)
        PostMessageA(window.hwnd, WM_USER + 2, i, 0);
    EXPECT_EQ(rpApp::MsgPump(PM_REMOVE), 0);
    EXPECT_EQ(Recorder::seen().size(), 3u);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    // A quit message stops the pump and stays for the loop that ends with it.
    PostMessageA(window.hwnd, WM_USER + 2, 3, 0);
    PostQuitMessage(5);
    rpApp::MsgPump(PM_REMOVE);
    EXPECT_EQ(Recorder::seen().size(), 4u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(App.run(), 5);

    // Without PM_REMOVE the messages are still taken off the queue, each handled once.
    PostMessageA(window.hwnd, WM_USER + 2, 4, 0);
    rpApp::MsgPump(PM_NOREMOVE);
    EXPECT_EQ(Recorder::seen().size(), 5u);
}

TEST(AppTest, AcceleratorsTurnKeysIntoCommands)
{
    Recorder window;
    ACCEL accel{FVIRTKEY, VK_F5, 4242};
    App.accelerators = CreateAcceleratorTableA(&accel, 1);
    ASSERT_NE(App.accelerators, nullptr);
    PostMessageA(window.hwnd, WM_KEYDOWN, VK_F5, 1);
    rpApp::MsgPump(PM_REMOVE);
    DestroyAcceleratorTable(App.accelerators);
    App.accelerators = nullptr;
    ASSERT_EQ(Recorder::seen().size(), 1u);
    EXPECT_EQ(Recorder::seen()[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(LOWORD(Recorder::seen()[0].wParam), 4242);
}

TEST(AppTest, ModelessDialogsAreOfferedMessagesMostRecentFirst)
{
    HWND h = CreateDialogParamA(GetModuleHandleA(nullptr), "ModelessTest", nullptr, plainDialogProc, 0);
    ASSERT_NE(h, nullptr);
    rpDialogModeless dialog(h, false);
    rpDialogModeless unborn(nullptr, false);
    Recorder other;

    MSG toDialog{GetDlgItem(h, 101), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_EQ(App.checkModeless(&toDialog), 0);

    App.appendDialog(&unborn);
    App.appendDialog(&dialog);
    App.appendDialog(&dialog);
    EXPECT_EQ(App.modelessDialogs.front(), &dialog);
    EXPECT_EQ(App.checkModeless(&toDialog), 1);
    MSG toOther{other.hwnd, WM_USER + 3, 0, 0, 0, {0, 0}};
    EXPECT_EQ(App.checkModeless(&toOther), 0);

    // The dialog takes its own messages in the loop: Tab moves the focus to the next edit.
    SetFocus(GetDlgItem(h, 101));
    PostMessageA(GetDlgItem(h, 101), WM_KEYDOWN, VK_TAB, 1);
    rpApp::MsgPump(PM_REMOVE);
    EXPECT_EQ(GetFocus(), GetDlgItem(h, 102));

    App.removeDialog(&dialog);
    EXPECT_EQ(App.modelessDialogs.size(), 2u);
    EXPECT_EQ(App.modelessDialogs.front(), &dialog);
    App.removeDialog(&dialog);
    App.removeDialog(&dialog);
    EXPECT_EQ(App.modelessDialogs.size(), 1u);
    EXPECT_EQ(App.checkModeless(&toDialog), 0);  // only the unborn one, skipped
    App.removeDialog(&unborn);
    EXPECT_TRUE(App.modelessDialogs.empty());
    DestroyWindow(h);
}

TEST(AppTest, DeletedModelessDialogLeavesTheList)
{
    HWND h = CreateDialogParamA(GetModuleHandleA(nullptr), "ModelessTest", nullptr, plainDialogProc, 0);
    ASSERT_NE(h, nullptr);
    auto* dialog = new rpDialogModeless(h, true);  // deletes itself with its window
    App.appendDialog(dialog);
    App.appendDialog(dialog);
    DestroyWindow(h);
    ASSERT_TRUE(App.modelessDialogs.empty());
    Recorder other;
    PostMessageA(other.hwnd, WM_USER + 5, 0, 0);
    rpApp::MsgPump(PM_REMOVE);  // offered to no dialog on the way
    EXPECT_EQ(Recorder::seen().size(), 1u);
}

TEST(ProcessEntryTest, MainPostingQuitEndsWithItsCode)
{
    EXPECT_EQ(runHost(""), 0u);
    EXPECT_EQ(runHost("--exit 7"), 7u);
}

TEST(ProcessEntryTest, EntrySetsUpTheApplication)
{
    TempDir temp;
    std::string dump = temp.file("dump.txt");
    EXPECT_EQ(runHost("--dump \"" + dump + "\" \"a b\" c\"\"d  "), 0u);
    std::string exe = testsupport::fixturePath("rpapphost.exe");
    std::string expected = "argc=6\n[" + exe + "]\n[--dump]\n[" + dump + "]\n[a b]\n[cd]\n[]\n" +
                           "pApp=1 Module=1 mutex=1 handle=1 owner=0 name=rpapphost\n";
    EXPECT_EQ(readFile(dump), expected);
}
