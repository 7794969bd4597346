// The real plugin-inspector.exe as its own process, driven from this one the way a user would:
// the Open button and the file dialog, dropped files, the Copy button and the clipboard, the
// Close button and the exit code.
#include "filedialogdriver.h"
#include "resource.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::clipboardText;
using testsupport::setClipboardText;

// The inspector's main dialog among the top-level windows of the process.
struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK collectInspector(HWND h, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    char name[16] = {};
    GetClassNameA(h, name, sizeof name);
    if (owner == search->processId && lstrcmpA(name, "#32770") == 0 && IsWindowVisible(h) && GetDlgItem(h, 260)) {
        search->found = h;
        return FALSE;
    }
    return TRUE;
}

// The expected copy of one probe block: each line followed by CR LF.
std::string block(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string inspectorPath()
{
    // The executable lies one folder above the test programs: build\<preset>\.
    return testsupport::binDir() + "..\\plugin-inspector.exe";
}

TEST(InspectorExecutable, CarriesTheProjectVersionAndTheMainDialog)
{
    HMODULE exe = LoadLibraryExA(inspectorPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC version = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
    ASSERT_NE(version, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(exe, version)));
    DWORD size = SizeofResource(exe, version);
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        if (reinterpret_cast<const VS_FIXEDFILEINFO*>(data + at)->dwSignature == 0xFEEF04BD) {
            fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + at);
            break;
        }
    }
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(RP_VERSION_MINOR, RP_VERSION_MAJOR)));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), RP_VERSION_PATCH);
    EXPECT_NE(FindResourceA(exe, "MainDialog", MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);  // the icon group
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr);  // the manifest
    FreeLibrary(exe);
}

const std::vector<std::string> commandBlock = {
    "",
    "プラグイン  plug_command.dll",
    "  プラグインID  12ab34cd  00000007",
    "  名称= [テストコマンド]",
    "  タイプ=  Command",
    "  メニュー[0]= [表示(&V)]",
    "  メニュー[1]= [Second item]",
    "  メニュー[2]= [三番目]",
};

class InspectorProcess : public testing::Test {
protected:
    void SetUp() override
    {
        std::string exe = inspectorPath();
        std::string commandLine = "\"" + exe + "\"" + arguments();
        ASSERT_TRUE(testsupport::startProcess(exe, commandLine, testsupport::binDir().c_str(), &process))
            << exe << " error " << GetLastError();
        WaitForInputIdle(process.hProcess, 10000);
        DWORD start = GetTickCount();
        while (!window && GetTickCount() - start < 15000) {
            WindowSearch search{process.dwProcessId, nullptr};
            EnumWindows(collectInspector, reinterpret_cast<LPARAM>(&search));
            window = search.found;
            if (!window)
                Sleep(50);
        }
        ASSERT_NE(window, nullptr) << "the inspector's window did not appear";
    }

    void TearDown() override
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }

    // Waits until the list shows `count` lines (or 20 s pass); the count when it stopped.
    LRESULT waitForLines(LRESULT count)
    {
        HWND list = GetDlgItem(window, 260);
        LRESULT now = 0;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(50)) {
            now = SendMessageA(list, LB_GETCOUNT, 0, 0);
            if (now == count)
                break;
        }
        return now;
    }

    // A click on one of the dialog's buttons, posted so this process never waits on the dialog
    // (the Open button runs a modal dialog, the Close button ends the process).
    void click(int id)
    {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }

    // A click on a button whose command finishes by itself (Copy): returns once it was handled.
    void clickAndWait(int id)
    {
        DWORD_PTR ignored;
        SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(window, id)), SMTO_NORMAL, 20000, &ignored);
    }

    void closeAndExpectExitCode0()
    {
        click(IDCANCEL);
        ASSERT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
    }

    // What follows the program's path on its command line.
    virtual std::string arguments() { return ""; }

    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
};

TEST_F(InspectorProcess, OpenAFileCopyTheListAndClose)
{
    char caption[200] = "";
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_EQ(std::string(caption).rfind("プラグイン インスペクタ  ", 0), 0u) << caption;

    click(120);
    HWND fileDialog = testsupport::waitForFileDialog(process.dwThreadId, 15000);
    ASSERT_NE(fileDialog, nullptr) << "the open dialog did not appear";
    testsupport::chooseInFileDialog(fileDialog, testsupport::fixturePath("plug_command.dll"));
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(commandBlock.size())), static_cast<LRESULT>(commandBlock.size()));

    ASSERT_TRUE(setClipboardText("before"));
    clickAndWait(122);
    EXPECT_EQ(clipboardText(), block(commandBlock));

    closeAndExpectExitCode0();
}

TEST_F(InspectorProcess, DroppedFilesAreProbedAndACopyBlockedByAnotherProgramIsSkipped)
{
    // Drop two plug-ins through the run script's helper, which builds the drop in the
    // inspector's memory as the shell does.
    std::string helper = testsupport::binDir() + "windowdrive.exe";
    std::string commandLine = "\"" + helper + "\" drop \"" + testsupport::fixturePath("plug_underscore.dll") + "\" \"" +
                              testsupport::fixturePath("plug_command.dll") + "\"";
    PROCESS_INFORMATION drive = {};
    ASSERT_TRUE(testsupport::startProcess(helper, commandLine, nullptr, &drive)) << GetLastError();
    ASSERT_EQ(WaitForSingleObject(drive.hProcess, 20000), WAIT_OBJECT_0);
    DWORD driveCode = 1;
    GetExitCodeProcess(drive.hProcess, &driveCode);
    CloseHandle(drive.hThread);
    CloseHandle(drive.hProcess);
    ASSERT_EQ(driveCode, 0u);
    ASSERT_EQ(waitForLines(15), 15);

    // While this process holds the clipboard (opened for a window of its own), Copy changes
    // nothing and shows nothing.
    ASSERT_TRUE(setClipboardText("held"));
    HWND owner = CreateWindowExA(0, "Static", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(owner));
    clickAndWait(122);
    CloseClipboard();
    DestroyWindow(owner);
    EXPECT_EQ(clipboardText(), "held");

    clickAndWait(122);
    const std::vector<std::string> underscoreBlock = {
        "",
        "プラグイン  plug_underscore.dll",
        "  プラグインID  0000abcd  00000005",
        "  名称= [Underscore]",
        "  タイプ=  Select",
        "  メニュー[0]= [選択]",
        "  メニュー[1]= [Select all]",
    };
    EXPECT_EQ(clipboardText(), block(underscoreBlock) + block(commandBlock));

    closeAndExpectExitCode0();
}

// Started with files on its command line, as when they are dropped on the program's icon.
class InspectorWithArguments : public InspectorProcess {
protected:
    std::string arguments() override
    {
        // A quoted name with a blank, an empty argument, and a Shift-JIS name whose characters
        // end in 0x5C.
        blank = temp.file("plug command.dll");
        japanese = temp.file("表示ソフト.dll");
        CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), blank.c_str(), FALSE);
        CopyFileA(testsupport::fixturePath("plug_underscore.dll").c_str(), japanese.c_str(), FALSE);
        return " \"" + blank + "\" \"\" " + japanese;
    }
    testsupport::TempDir temp;
    std::string blank, japanese;
};

TEST_F(InspectorWithArguments, ProbesTheNamedFilesAtStartUp)
{
    ASSERT_EQ(waitForLines(8 + 7), 8 + 7);
    clickAndWait(122);
    std::vector<std::string> first = commandBlock;
    first[1] = "プラグイン  plug command.dll";
    const std::vector<std::string> second = {
        "",
        "プラグイン  表示ソフト.dll",
        "  プラグインID  0000abcd  00000005",
        "  名称= [Underscore]",
        "  タイプ=  Select",
        "  メニュー[0]= [選択]",
        "  メニュー[1]= [Select all]",
    };
    EXPECT_EQ(clipboardText(), block(first) + block(second));
    closeAndExpectExitCode0();
}

}  // namespace
