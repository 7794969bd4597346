// The real plugin-inspector.exe as its own process, driven from this one the way a user would:
// the Open button and the file dialog, dropped files, the Copy button and the clipboard, the
// Close button and the exit code.
#include "filedialogdriver.h"
#include "runninginspector.h"
#include "resource.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::wide;
using testsupport::clipboardText;
using testsupport::setClipboardText;

using testsupport::crlfBlock;
using testsupport::inspectorPath;
using testsupport::InspectorProcess;

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
    EXPECT_EQ(clipboardText(), crlfBlock(commandBlock));

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
    EXPECT_EQ(clipboardText(), crlfBlock(underscoreBlock) + crlfBlock(commandBlock));

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
    EXPECT_EQ(clipboardText(), crlfBlock(first) + crlfBlock(second));
    closeAndExpectExitCode0();
}

// ---- Isolation: plug-ins run in worker processes.

std::vector<std::string> blockOf(const std::string& file, const std::vector<std::string>& tail)
{
    std::vector<std::string> lines = {"", "プラグイン  " + file};
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
}

std::string joined(const std::vector<std::vector<std::string>>& blocks, size_t* lineCount)
{
    std::string text;
    *lineCount = 0;
    for (const auto& lines : blocks) {
        text += crlfBlock(lines);
        *lineCount += lines.size();
    }
    return text;
}

// The line of a worker ended by an exception. Under the 32-bit runner's emulator some faults
// arrive with another code (see reportedFaultCode); elsewhere the code is exact.
std::string faultLine(DWORD code)
{
    char line[48];
    std::snprintf(line, sizeof line, "  例外が発生しました %08lx", static_cast<unsigned long>(testsupport::reportedFaultCode(code)));
    return line;
}

// Faults, process ends and hangs of plug-ins each end their own block, the plug-in's own
// handlers get their chance first, and the batch goes on with the next file.
class InspectorWithBadPlugins : public InspectorProcess {
protected:
    std::string arguments() override
    {
        return " --probe-timeout=1500 plug_selfcatch.dll plug_fault_id.dll plug_fault_name.dll plug_fault_type.dll"
               " plug_fault_badname.dll plug_fault_enum.dll plug_exit.dll plug_abort.dll plug_hang.dll plug_command.dll";
    }
};

TEST_F(InspectorWithBadPlugins, EachEndsItsOwnBlockAndTheBatchGoesOn)
{
    size_t lineCount = 0;
    std::string expected = joined(
        {
            blockOf("plug_selfcatch.dll", {"  プラグインID  00005afe  00000007", "  名称= [自分で回復]", "  タイプ=  Command",
                                           "  メニュー[0]= [一番]", "  メニュー[1]= [二番]"}),
            blockOf("plug_fault_id.dll", {faultLine(EXCEPTION_ACCESS_VIOLATION)}),
            blockOf("plug_fault_name.dll", {"  プラグインID  00000bad  00000001", faultLine(EXCEPTION_ILLEGAL_INSTRUCTION)}),
            blockOf("plug_fault_type.dll",
                    {"  プラグインID  00000bad  00000002", "  名称= [割り算]", faultLine(EXCEPTION_INT_DIVIDE_BY_ZERO)}),
            blockOf("plug_fault_badname.dll", {"  プラグインID  00000bad  00000004", faultLine(EXCEPTION_ACCESS_VIOLATION)}),
            blockOf("plug_fault_enum.dll", {"  プラグインID  00000bad  00000003", "  名称= [Overflow]", "  タイプ=  Command",
                                            "  メニュー[0]= [最初]", faultLine(EXCEPTION_STACK_OVERFLOW)}),
            blockOf("plug_exit.dll", {"  プラグインID  0000e817  00000007", "  プロセスが終了しました 00000007"}),
            // The C runtime's abort ends the worker without a message box that would hold it.
            blockOf("plug_abort.dll",
                    {"  プラグインID  000ab087  00000007", "  名称= [Abort]", "  プロセスが終了しました 00000003"}),
            blockOf("plug_hang.dll", {"  プラグインID  00004a96  00000007", "  応答がありません"}),
            commandBlock,
        },
        &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), expected);
    closeAndExpectExitCode0();
}

// Workers finish out of order, and a drop during the batch is queued: the blocks still come in
// the order of the files, and the caption shows the progress meanwhile.
class InspectorWithASlowPlugin : public InspectorProcess {
protected:
    std::string arguments() override { return " --workers=2 plug_pump.dll plug_command.dll"; }
};

TEST_F(InspectorWithASlowPlugin, ShowsBlocksInFileOrderAndQueuesADrop)
{
    // The pumping plug-in takes a second and a half; the command plug-in is long done by then.
    ASSERT_TRUE(dropFiles({wide(testsupport::fixturePath("plug_import.dll"))}));
    EXPECT_NE(caption().find("/3]"), std::string::npos) << caption();
    EXPECT_EQ(SendMessageA(GetDlgItem(window, 260), LB_GETCOUNT, 0, 0), 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, 120)));  // Open waits for the batch

    size_t lineCount = 0;
    std::string expected = joined(
        {
            blockOf("plug_pump.dll", {"  プラグインID  00009040  00000007", "  名称= [ポンプ]", "  タイプ=  Command",
                                      "  メニュー[0]= [待った]"}),
            commandBlock,
            blockOf("plug_import.dll", {"  プラグインID  fedcba98  00000001", "  名称= [画像読み込み]", "  タイプ=  Import",
                                        "  ファイルタイプ[0]= [ビットマップ画像] [*.bmp;*.dib]",
                                        "  ファイルタイプ[1]= [Text file] [*.txt]"}),
        },
        &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), expected);
    EXPECT_EQ(caption().find('['), std::string::npos) << caption();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, 120)));
    closeAndExpectExitCode0();
}

// The caption names the file being probed; Esc and the Stop button stop a batch and the window
// stays; closing during a batch does not wait for the plug-in.
class InspectorWithAHangingPlugin : public InspectorProcess {
protected:
    std::string arguments() override { return " --workers=1 --probe-timeout=60000 plug_hang.dll plug_command.dll"; }
};

TEST_F(InspectorWithAHangingPlugin, TheCaptionNamesItAndEscOrStopEndTheBatchAndCloseDoesNotWait)
{
    ASSERT_TRUE(waitForCaption("[0/2] plug_hang.dll")) << caption();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_STOP)));
    Sleep(1000 * testsupport::slowdown());  // the worker is in the plug-in by now
    // Esc from the keyboard, as a user presses it, to the inspector's window.
    pressKey(VK_ESCAPE);
    std::vector<std::string> stopped = blockOf("plug_hang.dll", {"  プラグインID  00004a96  00000007", "  中止しました"});
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(stopped.size())), static_cast<LRESULT>(stopped.size()));
    EXPECT_EQ(copiedList(), crlfBlock(stopped));  // the file not started is dropped
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, 120)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_STOP)));
    EXPECT_EQ(caption().find('['), std::string::npos) << caption();

    // The Stop button, clicked (BM_CLICK does nothing on a disabled button).
    ASSERT_TRUE(dropFiles({wide(testsupport::fixturePath("plug_hang.dll")), wide(testsupport::fixturePath("plug_command.dll"))}));
    ASSERT_TRUE(waitForCaption("[0/2] plug_hang.dll")) << caption();
    Sleep(1000 * testsupport::slowdown());
    PostMessageA(GetDlgItem(window, IDC_STOP), BM_CLICK, 0, 0);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(stopped.size())), static_cast<LRESULT>(stopped.size()));
    EXPECT_EQ(copiedList(), crlfBlock(stopped));
    EXPECT_EQ(caption().find('['), std::string::npos) << caption();

    // A new batch on the same plug-in, then the Close button: the window goes at once.
    ASSERT_TRUE(dropFiles({wide(testsupport::fixturePath("plug_hang.dll"))}));
    Sleep(500);
    DWORD start = GetTickCount();
    closeAndExpectExitCode0();
    EXPECT_LT(GetTickCount() - start, 5000u);
}

// A file whose name has characters outside code page 932 is loaded by its real name; the list
// shows the name as the code page can.
TEST_F(InspectorProcess, ProbesAFileByItsRealUnicodeName)
{
    testsupport::TempDir temp;
    std::wstring name = wide(temp.path()) + L"\\plug_\uD55C\uAE00.dll";
    ASSERT_TRUE(CopyFileW(wide(testsupport::fixturePath("plug_command.dll")).c_str(), name.c_str(), FALSE));
    ASSERT_TRUE(dropFiles({name}));
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(commandBlock.size())), static_cast<LRESULT>(commandBlock.size()));
    std::vector<std::string> expected = commandBlock;
    expected[1] = "プラグイン  plug_??.dll";
    EXPECT_EQ(copiedList(), crlfBlock(expected));
    closeAndExpectExitCode0();
}

// A plug-in that pins itself holds its file in no process once its block is shown: the author
// rebuilds it at once, and a drop of the new file shows the new answers.
TEST_F(InspectorProcess, APinnedPluginsFileCanBeRebuiltAsSoonAsItsBlockIsShown)
{
    testsupport::TempDir temp;
    std::string plugin = temp.file("mine.dll");
    ASSERT_TRUE(CopyFileA(testsupport::fixturePath("plug_pin.dll").c_str(), plugin.c_str(), FALSE));
    ASSERT_TRUE(dropFiles({wide(plugin)}));
    std::vector<std::string> pinned =
        blockOf("mine.dll", {"  プラグインID  00000919  00000007", "  名称= [Pinned]", "  タイプ=  Command", "  メニュー[0]= [Stay]"});
    ASSERT_EQ(waitForLines(6), 6);
    EXPECT_TRUE(CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), plugin.c_str(), FALSE)) << GetLastError();
    EXPECT_EQ(copiedList(), crlfBlock(pinned));

    // The drop starts a new list.
    ASSERT_TRUE(dropFiles({wide(plugin)}));
    std::vector<std::string> rebuilt = commandBlock;
    rebuilt[1] = "プラグイン  mine.dll";
    ASSERT_EQ(waitForLines(8), 8);
    EXPECT_EQ(copiedList(), crlfBlock(rebuilt));
    EXPECT_TRUE(DeleteFileA(plugin.c_str())) << GetLastError();
    closeAndExpectExitCode0();
}

// ---- Bitness: a library of the other bitness goes to the sibling executable.

const char* neededLine()
{
    return sizeof(void*) == 8 ? "  32ビット版の plugin-inspector-x86.exe が必要です"
                              : "  64ビット版の plugin-inspector-x64.exe が必要です";
}

// A copy of the inspector alone in a folder of its own: its sibling is missing, then broken.
class LoneInspector : public InspectorProcess {
protected:
    std::string executable() override
    {
        std::string copy = folder.file("plugin-inspector.exe");
        CopyFileA(inspectorPath().c_str(), copy.c_str(), FALSE);
        return copy;
    }
    std::string arguments() override { return " \"" + testsupport::otherBitnessBinDir() + "plug_command.dll\""; }
    testsupport::TempDir folder;
};

TEST_F(LoneInspector, NamesTheMissingSiblingAndOneThatCannotStart)
{
    std::vector<std::string> missing = blockOf("plug_command.dll", {"load error 193", neededLine()});
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(missing.size())), static_cast<LRESULT>(missing.size()));
    EXPECT_EQ(copiedList(), crlfBlock(missing));

    // Something that is not a program under the sibling's name.
    folder.writeFile(sizeof(void*) == 8 ? "plugin-inspector-x86.exe" : "plugin-inspector-x64.exe", "not a program\r\n");
    ASSERT_TRUE(dropFiles({wide(testsupport::otherBitnessBinDir() + "plug_command.dll")}));
    std::vector<std::string> broken = blockOf("plug_command.dll", {"  検査プロセスを起動できません 193"});
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(broken.size())), static_cast<LRESULT>(broken.size()));
    EXPECT_EQ(copiedList(), crlfBlock(broken));
    closeAndExpectExitCode0();
}

}  // namespace

// ---- A whole plug-in folder, and load failures explained.

// Started with a plug-in folder on its command line: a tree with plug-ins, two copies of one
// plug-in (the same identifiers), libraries that fail to load for several reasons, a plug-in
// that faults, a name outside the ANSI code page, and files that are not libraries.
class InspectorWithAPluginFolder : public InspectorProcess {
protected:
    std::string arguments() override
    {
        for (const char* folder : {"sub", "sub\\deep"})
            CreateDirectoryA(temp.file(folder).c_str(), nullptr);
        const struct {
            const char* fixture;
            const char* name;
        } copies[] = {
            {"plug_import.dll", "a_import.dll"},        {"plug_indirect.dll", "indirect.dll"},
            {"plug_initfail.dll", "init.dll"},          {"plug_command.dll", "sub\\cmd.dll"},
            {"plug_command.dll", "sub\\deep\\cmd_old.dll"}, {"plug_fault_id.dll", "sub\\fault.dll"},
            {"plug_missingdll.dll", "sub\\missing.dll"},
        };
        for (const auto& copy : copies)
            CopyFileA(testsupport::fixturePath(copy.fixture).c_str(), temp.file(copy.name).c_str(), FALSE);
        unicodeName = wide(temp.path()) + L"\\z\uD55C.dll";
        CopyFileW(wide(testsupport::fixturePath("plug_underscore.dll")).c_str(), unicodeName.c_str(), FALSE);
        std::string command;
        HANDLE file = CreateFileA(testsupport::fixturePath("plug_command.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        command.resize(4096);
        DWORD got = 0;
        ReadFile(file, &command[0], 4096, &got, nullptr);
        CloseHandle(file);
        temp.writeFile("cut.dll", command.substr(0, got));  // the headers, without the sections
        temp.writeFile("readme.dll", "not a library\r\n");
        temp.writeFile("notes.txt", "not probed\r\n");
        return " \"" + temp.path() + "\"";
    }
    void TearDown() override
    {
        InspectorProcess::TearDown();
        DeleteFileW(unicodeName.c_str());  // the folder's cleanup works with ANSI names
    }
    std::vector<std::vector<std::string>> folderBlocks();
    testsupport::TempDir temp;
    std::wstring unicodeName;
};

// The blocks of the folder's batch and its summary, in list order.
std::vector<std::vector<std::string>> InspectorWithAPluginFolder::folderBlocks()
{
    std::vector<std::string> commandTail(commandBlock.begin() + 2, commandBlock.end());
    return {
        blockOf("a_import.dll", {"  プラグインID  fedcba98  00000001", "  名称= [画像読み込み]", "  タイプ=  Import",
                                 "  ファイルタイプ[0]= [ビットマップ画像] [*.bmp;*.dib]",
                                 "  ファイルタイプ[1]= [Text file] [*.txt]"}),
        blockOf("cut.dll", {"load error 193", "  ファイルが途中で切れています: cut.dll"}),
        // Its dependency is found in the inspector's current folder (the fixtures'), that
        // one's is nowhere.
        blockOf("indirect.dll", {"load error 126", "  見つからないDLL: gonedep.dll (needsgone.dll が必要とする)"}),
        blockOf("init.dll", {"load error 1114", "  初期化ルーチン(DllMain)が失敗を返しました"}),
        blockOf("readme.dll", {"load error 193", "  WindowsのDLLではありません"}),
        blockOf("sub\\cmd.dll", commandTail),
        blockOf("sub\\deep\\cmd_old.dll", commandTail),
        blockOf("sub\\fault.dll", {faultLine(EXCEPTION_ACCESS_VIOLATION)}),
        blockOf("sub\\missing.dll", {"load error 126", "  見つからないDLL: gonedep.dll"}),
        blockOf("z?.dll", {"  プラグインID  0000abcd  00000005", "  名称= [Underscore]", "  タイプ=  Select",
                           "  メニュー[0]= [選択]", "  メニュー[1]= [Select all]"}),
        {"", "フォルダ  " + temp.path(), "  ファイル数= 10", "  Import= 1", "  Select= 1", "  Command= 2",
         "  読み込みエラー= 5", "  異常終了= 1", "  読み込みエラー: cut.dll (193)", "  読み込みエラー: indirect.dll (126)",
         "  読み込みエラー: init.dll (1114)", "  読み込みエラー: readme.dll (193)",
         "  異常終了: sub\\fault.dll (" + faultLine(EXCEPTION_ACCESS_VIOLATION).substr(2) + ")",
         "  読み込みエラー: sub\\missing.dll (126)",
         "  ID重複  12ab34cd  00000007 (2件): sub\\cmd.dll, sub\\deep\\cmd_old.dll"},
    };
}

TEST_F(InspectorWithAPluginFolder, ProbesTheTreeAsOneBatchExplainsFailuresAndSumsItUp)
{
    size_t lineCount = 0;
    std::vector<std::string> commandTail(commandBlock.begin() + 2, commandBlock.end());
    std::string expected = joined(folderBlocks(), &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), expected);

    // A folder dropped from another process is a folder batch of its own tree.
    ASSERT_TRUE(dropFiles({wide(temp.file("sub"))}));
    expected = joined(
        {
            blockOf("cmd.dll", commandTail),
            blockOf("deep\\cmd_old.dll", commandTail),
            blockOf("fault.dll", {faultLine(EXCEPTION_ACCESS_VIOLATION)}),
            blockOf("missing.dll", {"load error 126", "  見つからないDLL: gonedep.dll"}),
            {"", "フォルダ  " + temp.file("sub"), "  ファイル数= 4", "  Command= 2", "  読み込みエラー= 1", "  異常終了= 1",
             "  異常終了: fault.dll (" + faultLine(EXCEPTION_ACCESS_VIOLATION).substr(2) + ")",
             "  読み込みエラー: missing.dll (126)", "  ID重複  12ab34cd  00000007 (2件): cmd.dll, deep\\cmd_old.dll"},
        },
        &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), expected);
    closeAndExpectExitCode0();
}

// Ctrl+F and typing: the list shows the whole blocks that have a line containing the text, in
// either case, the folder's summary among them. Ctrl+C copies the filter box's own text there,
// and the list's lines once Shift+Tab has taken the focus back to the list. 問題のみ shows the
// blocks of the files with a problem, and the Copy button takes what is shown.
TEST_F(InspectorWithAPluginFolder, TheFilterAndProblemsOnlyShowWholeBlocksThatCopyTakes)
{
    std::vector<std::vector<std::string>> blocks = folderBlocks();
    size_t lineCount = 0;
    joined(blocks, &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    const HWND list = GetDlgItem(window, IDC_RESULTS), filter = GetDlgItem(window, IDC_FILTER);
    auto waitFor = [](const std::function<bool()>& done) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 10000 * testsupport::slowdown(); Sleep(20)) {
            if (done())
                return true;
        }
        return false;
    };

    pressKey('F', true);
    ASSERT_TRUE(waitFor([&] { return focus() == filter; }));
    for (WORD key : {'I', 'M', 'P', 'O', 'R', 'T'})
        pressKey(key);
    std::string imports = joined({blocks[0], blocks[10]}, &lineCount);  // "Import" in both
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    // What a key puts on the clipboard: watched by its sequence number, so that this process
    // never holds the clipboard while the inspector wants it.
    auto copiedBy = [&](WORD key) {
        DWORD before = GetClipboardSequenceNumber();
        pressKey(key, true);
        waitFor([&] { return GetClipboardSequenceNumber() != before; });
        return clipboardText();
    };
    pressKey('F', true);  // selects the box's text
    EXPECT_EQ(copiedBy('C'), "import");
    pressKey(VK_TAB, false, true);
    ASSERT_TRUE(waitFor([&] { return focus() == list; }));
    EXPECT_EQ(copiedBy('C'), imports);

    SendMessageW(filter, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    SendMessageA(GetDlgItem(window, IDC_PROBLEMS), BM_CLICK, 0, 0);
    std::string problems = joined({blocks[1], blocks[2], blocks[3], blocks[4], blocks[7], blocks[8], blocks[10]}, &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), problems);
    // Both at once, with a text of double-byte characters.
    SendMessageW(filter, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"\u898b\u3064\u304b\u3089\u306a\u3044"));  // 見つからない
    std::string missing = joined({blocks[2], blocks[8]}, &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), missing);
    closeAndExpectExitCode0();
}

// ---- The window's size and place.

RECT rectOf(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << r.left << "," << r.top << " - " << r.right << "," << r.bottom;
}

// At 144 dpi (the prefix's LogPixels, which Wine reads when a program starts) the dialog is
// scaled: every control lies inside the window and holds its text, as it is and made larger.
class InspectorAt144Dpi : public InspectorProcess {
protected:
    void SetUp() override
    {
        DWORD dpi = 144;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(key);
        InspectorProcess::SetUp();
    }
    void TearDown() override
    {
        InspectorProcess::TearDown();
        RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels");
    }

    // The controls that show text, each with what its text needs besides the text itself.
    void expectEverythingInsideAndWhole()
    {
        RECT client = {};
        GetClientRect(window, &client);
        // The dialog's font at 144 dpi: 9 points are 18 pixels.
        HFONT font = CreateFontA(-MulDiv(9, 144, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, 0, 0, 0, 0,
                                 "ＭＳ Ｐゴシック");
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        const struct {
            int id;
            int besides;  // pixels the control needs beside its text: a button's edges, a check box's box
        } controls[] = {{IDC_RESULTS, 0}, {IDC_FILTERLABEL, 0}, {IDC_FILTER, 0}, {IDC_PROBLEMS, 30}, {IDC_OPEN, 6},
                        {IDC_STOP, 6},    {IDC_COPY, 6},        {IDCANCEL, 6},  {IDC_STATUS, 0},    {IDC_BANNER, 0}};
        for (const auto& control : controls) {
            HWND item = GetDlgItem(window, control.id);
            RECT place = {};
            GetWindowRect(item, &place);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
            EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.right <= client.right && place.bottom <= client.bottom)
                << control.id << " " << place << " in " << client;
            char text[200] = "";
            GetWindowTextA(item, text, sizeof text);
            SIZE size = {};
            GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
            if (text[0]) {
                EXPECT_LE(size.cx + control.besides, place.right - place.left) << control.id << " " << text;
                EXPECT_LE(size.cy, place.bottom - place.top) << control.id << " " << text;
            }
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(font);
    }
};

TEST_F(InspectorAt144Dpi, ScalesTheDialogWithNothingClippedResizedOrNot)
{
    // At 96 dpi the window is 456 pixels wide; scaled, half as wide again.
    RECT start = rectOf(window);
    EXPECT_GT(start.right - start.left, 600) << start;
    expectEverythingInsideAndWhole();
    SetWindowPos(window, nullptr, 0, 0, start.right - start.left + 300, start.bottom - start.top + 200,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    expectEverythingInsideAndWhole();
    closeAndExpectExitCode0();
}

// ---- What the window keeps from one run to the next.

// Its placement and the folder of Open come back at the next start; a stored placement that is
// damaged or off every monitor is not used.
TEST_F(InspectorProcess, RemembersItsPlacementAndTheOpenFolderAcrossARestart)
{
    const RECT centred = rectOf(window);
    const RECT moved = {30, 40, 30 + centred.right - centred.left + 180, 40 + centred.bottom - centred.top + 120};
    SetWindowPos(window, nullptr, moved.left, moved.top, moved.right - moved.left, moved.bottom - moved.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    testsupport::TempDir temp;
    ASSERT_TRUE(CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), temp.file("remembered.dll").c_str(), FALSE));
    click(IDC_OPEN);
    HWND fileDialog = testsupport::waitForFileDialog(process.dwThreadId, 15000);
    ASSERT_NE(fileDialog, nullptr);
    testsupport::chooseInFileDialog(fileDialog, temp.file("remembered.dll"));
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(commandBlock.size())), static_cast<LRESULT>(commandBlock.size()));
    closeAndExpectExitCode0();

    startAgain();
    EXPECT_EQ(rectOf(window), moved);
    // The Open dialog starts in the folder of the last file opened: a bare name is found there.
    click(IDC_OPEN);
    fileDialog = testsupport::waitForFileDialog(process.dwThreadId, 15000);
    ASSERT_NE(fileDialog, nullptr);
    testsupport::chooseInFileDialog(fileDialog, "remembered.dll");
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(commandBlock.size())), static_cast<LRESULT>(commandBlock.size()));
    std::vector<std::string> expected = commandBlock;
    expected[1] = "プラグイン  remembered.dll";
    EXPECT_EQ(copiedList(), crlfBlock(expected));
    // Maximised, the normal place is what is kept. (Wine without a window manager restores a
    // window maximised before it is first shown, so only that place is checked here.)
    ShowWindow(window, SW_MAXIMIZE);
    ASSERT_TRUE(IsZoomed(window));
    closeAndExpectExitCode0();
    startAgain();
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    ASSERT_TRUE(GetWindowPlacement(window, &placement));
    EXPECT_EQ(placement.rcNormalPosition, moved);
    closeAndExpectExitCode0();

    // Damaged (a record cut short), then whole but off every monitor: neither is used.
    WINDOWPLACEMENT away = {};
    away.length = sizeof away;
    away.showCmd = SW_SHOWNORMAL;
    away.rcNormalPosition = {-30000, -30000, -29000, -29200};
    for (DWORD size : {DWORD(10), DWORD(sizeof away)}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, testsupport::InspectorSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Placement", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&away), size);
        RegCloseKey(key);
        startAgain();
        EXPECT_EQ(rectOf(window), centred) << size;
        closeAndExpectExitCode0();
    }
}

// F5 probes the list's files again in the same order, the folder again as a folder batch (so a
// file added to it is found), with workers started anew: a replaced file shows what it is now.
class InspectorWithAFileAndAFolder : public InspectorProcess {
protected:
    std::string arguments() override
    {
        CreateDirectoryA(temp.file("dir").c_str(), nullptr);
        CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), temp.file("p.dll").c_str(), FALSE);
        CopyFileA(testsupport::fixturePath("plug_underscore.dll").c_str(), temp.file("dir\\a.dll").c_str(), FALSE);
        return " \"" + temp.file("p.dll") + "\" \"" + temp.file("dir") + "\"";
    }
    // The running processes started by the inspector: its workers.
    std::vector<DWORD> workers()
    {
        std::vector<DWORD> children;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (entry.th32ParentProcessID == process.dwProcessId)
                children.push_back(entry.th32ProcessID);
        }
        CloseHandle(snapshot);
        return children;
    }
    testsupport::TempDir temp;
};

TEST_F(InspectorWithAFileAndAFolder, F5ProbesThemAgainWithNewWorkersAfterAFileWasReplaced)
{
    const std::vector<std::string> underscoreTail = {"  プラグインID  0000abcd  00000005", "  名称= [Underscore]",
                                                     "  タイプ=  Select", "  メニュー[0]= [選択]", "  メニュー[1]= [Select all]"};
    std::vector<std::string> commandTail(commandBlock.begin() + 2, commandBlock.end());
    size_t lineCount = 0;
    std::string before = joined({blockOf("p.dll", commandTail), blockOf("a.dll", underscoreTail),
                                 {"", "フォルダ  " + temp.file("dir"), "  ファイル数= 1", "  Select= 1", "  読み込みエラー= 0",
                                  "  異常終了= 0"}},
                                &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), before);
    const std::vector<DWORD> oldWorkers = workers();
    ASSERT_FALSE(oldWorkers.empty());

    // Rebuilt: no worker holds the file, so it can be replaced; and a new file in the folder.
    ASSERT_TRUE(CopyFileA(testsupport::fixturePath("plug_import.dll").c_str(), temp.file("p.dll").c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), temp.file("dir\\b.dll").c_str(), FALSE));
    pressKey(VK_F5);
    std::string after = joined({blockOf("p.dll", {"  プラグインID  fedcba98  00000001", "  名称= [画像読み込み]", "  タイプ=  Import",
                                                  "  ファイルタイプ[0]= [ビットマップ画像] [*.bmp;*.dib]",
                                                  "  ファイルタイプ[1]= [Text file] [*.txt]"}),
                                blockOf("a.dll", underscoreTail), blockOf("b.dll", commandTail),
                                {"", "フォルダ  " + temp.file("dir"), "  ファイル数= 2", "  Select= 1", "  Command= 1",
                                 "  読み込みエラー= 0", "  異常終了= 0"}},
                               &lineCount);
    ASSERT_EQ(waitForLines(static_cast<LRESULT>(lineCount)), static_cast<LRESULT>(lineCount));
    EXPECT_EQ(copiedList(), after);
    std::vector<DWORD> newWorkers = workers();
    EXPECT_FALSE(newWorkers.empty());
    for (DWORD worker : oldWorkers)
        EXPECT_EQ(std::count(newWorkers.begin(), newWorkers.end(), worker), 0) << worker;
    closeAndExpectExitCode0();
}
