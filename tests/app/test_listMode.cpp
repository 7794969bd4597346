// The real plugin-inspector.exe without a window, as a script or CI runs it: --list with its
// standard output and error redirected to files (or its parent's console), the list lines
// against a window's Copy of the same files, the JSON document field by field, and the exit
// codes.
#include "app_version.h"
#include "runninginspector.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <set>
#include <string>
#include <utility>

namespace {

using testsupport::readFile;
using testsupport::binDir;
using testsupport::fixturePath;

struct ListRun {
    DWORD exitCode = 99;
    std::string out;  // standard output's bytes
    std::string err;  // standard error's bytes
};

// Starts the inspector in the fixtures' folder. Wine under load now and then refuses a start:
// tried again, as testsupport::startProcess does.
bool startInspector(const std::string& exe, const std::string& arguments, STARTUPINFOA* startup, DWORD flags,
                    PROCESS_INFORMATION* process)
{
    BOOL inherit = (startup->dwFlags & STARTF_USESTDHANDLES) != 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::string line = "\"" + exe + "\" " + arguments;
        if (CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, inherit, flags, nullptr, binDir().c_str(), startup, process))
            return true;
        Sleep(300);
    }
    return false;
}

// Waits for the process's end and closes it; its exit code, 99 when it did not end.
DWORD exitCodeOf(PROCESS_INFORMATION& process)
{
    DWORD code = 99;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Runs the inspector with `arguments`, standard output and error redirected to files. A start
// that fails is a test failure, unless `startedAtAll` is given to take the answer.
ListRun runInspector(const std::string& arguments, const std::string& exe = testsupport::inspectorPath(),
                     bool* startedAtAll = nullptr)
{
    testsupport::TempDir temp;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE out = CreateFileA(temp.file("out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(temp.file("err").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    bool started = startInspector(exe, arguments, &startup, 0, &process);
    CloseHandle(out);
    CloseHandle(err);
    ListRun run;
    if (startedAtAll)
        *startedAtAll = started;
    else
        EXPECT_TRUE(started) << exe;
    if (started)
        run.exitCode = exitCodeOf(process);
    run.out = readFile(temp.file("out"));
    run.err = readFile(temp.file("err"));
    return run;
}

std::string utf8(const std::string& ansi)
{
    std::wstring wide(ansi.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1));
    std::string text(wide.size() * 3 + 1, '\0');
    text.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], static_cast<int>(text.size()), nullptr, nullptr) - 1));
    return text;
}

const char* const mixedFiles = " plug_command.dll plug_import.dll plug_fault_id.dll plug_noname.dll plug_type8.dll nothere.dll";

// The window started with the same files and a plug-in folder, to compare its Copy with the
// list's text.
class ListAgainstTheWindow : public testsupport::InspectorProcess {
protected:
    std::string arguments() override
    {
        CreateDirectoryA(folder.file("sub").c_str(), nullptr);
        CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), folder.file("sub\\a.dll").c_str(), FALSE);
        CopyFileA(testsupport::fixturePath("plug_command.dll").c_str(), folder.file("b.dll").c_str(), FALSE);
        return std::string(mixedFiles) + " \"" + folder.path() + "\"";
    }
    testsupport::TempDir folder;
};

TEST_F(ListAgainstTheWindow, TextIsTheBytesOfTheWindowsCopy)
{
    ListRun run = runInspector("--list" + arguments());
    EXPECT_NE(run.out.find("  ID重複  12ab34cd  00000007 (2件): b.dll, sub\\a.dll\r\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.exitCode, 1u);  // a fault, a missing name, an unknown type, a missing file
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.out.rfind(testsupport::crlfBlock({"", "プラグイン  plug_command.dll", "  プラグインID  12ab34cd  00000007"}), 0), 0u)
        << run.out;
    LRESULT lines = 0;
    for (size_t at = run.out.find("\r\n"); at != std::string::npos; at = run.out.find("\r\n", at + 2))
        ++lines;
    ASSERT_EQ(waitForLines(lines), lines);
    EXPECT_EQ(copiedList(), run.out);
    closeAndExpectExitCode0();
}

TEST(ListMode, JsonDescribesEachFileFieldByField)
{
    // A copy of the inspector alone in a folder, so that the other bitness's plug-in finds no worker; a
    // Japanese file name; and a file that is no library at all.
    testsupport::TempDir temp;
    std::string exe = temp.file("plugin-inspector.exe");
    ASSERT_TRUE(CopyFileA(testsupport::inspectorPath().c_str(), exe.c_str(), FALSE));
    std::string japanese = temp.file("表示ソフト.dll");
    ASSERT_TRUE(CopyFileA(fixturePath("plug_command.dll").c_str(), japanese.c_str(), FALSE));
    std::string text = temp.writeFile("text.dll", "not a library\r\n");
    std::string output = temp.file("list.json");
    ListRun run = runInspector("--list --json --probe-timeout=1500 --output \"" + output + "\" \"" + japanese +
                                   "\" plug_import.dll plug_fault_name.dll \"" + text + "\" plug_hang.dll \"" +
                                   testsupport::otherBitnessBinDir() + "plug_command.dll\" plug_versioned.dll",
                               exe);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, "");  // everything went to the file
    nlohmann::json files = nlohmann::json::parse(readFile(output));
    ASSERT_EQ(files.size(), 7u) << files.dump(2);

    const int ownBits = sizeof(void*) == 8 ? 64 : 32;
    nlohmann::json& command = files[0];
    EXPECT_EQ(command["path"], utf8(japanese));
    EXPECT_EQ(command["bitness"], ownBits);
    EXPECT_EQ(command["productId"], "12ab34cd");
    EXPECT_EQ(command["pluginId"], "00000007");
    EXPECT_EQ(command["name"], u8"テストコマンド");
    EXPECT_EQ(command["type"], 7);
    EXPECT_EQ(command["typeName"], "Command");
    nlohmann::json menus = nlohmann::json::parse(u8R"js([{"text": "表示(&V)", "extensions": null},
        {"text": "Second item", "extensions": null}, {"text": "三番目", "extensions": null}])js");
    EXPECT_EQ(command["strings"], menus);
    EXPECT_EQ(command["outcome"], "ok");
    EXPECT_TRUE(command["code"].is_null());
    EXPECT_EQ(command["explanation"], nlohmann::json::array());

    nlohmann::json& import = files[1];
    EXPECT_EQ(import["name"], u8"画像読み込み");
    EXPECT_EQ(import["type"], 1);
    EXPECT_EQ(import["typeName"], "Import");
    nlohmann::json fileTypes = nlohmann::json::parse(u8R"js([{"text": "ビットマップ画像", "extensions": "*.bmp;*.dib"},
        {"text": "Text file", "extensions": "*.txt"}])js");
    EXPECT_EQ(import["strings"], fileTypes);
    EXPECT_EQ(import["outcome"], "ok");

    // Faulted after its IDs: what it answered, and the exception's code.
    nlohmann::json& fault = files[2];
    EXPECT_EQ(fault["productId"], "00000bad");
    EXPECT_TRUE(fault["name"].is_null());
    EXPECT_TRUE(fault["type"].is_null());
    EXPECT_TRUE(fault["typeName"].is_null());
    EXPECT_EQ(fault["outcome"], "fault");
    EXPECT_EQ(fault["code"], testsupport::reportedFaultCode(EXCEPTION_ILLEGAL_INSTRUCTION));

    nlohmann::json& notLoaded = files[3];
    EXPECT_TRUE(notLoaded["bitness"].is_null());
    EXPECT_TRUE(notLoaded["productId"].is_null());
    EXPECT_EQ(notLoaded["outcome"], "loadError");
    EXPECT_EQ(notLoaded["code"], 193);
    // The facts of the file: no version resource; its 15 bytes, last write (UTC) and SHA-256.
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExA(text.c_str(), GetFileExInfoStandard, &data));
    SYSTEMTIME written = {};
    FileTimeToSystemTime(&data.ftLastWriteTime, &written);
    char modified[32];
    std::snprintf(modified, sizeof modified, "%04u-%02u-%02uT%02u:%02u:%02uZ", written.wYear, written.wMonth, written.wDay,
                  written.wHour, written.wMinute, written.wSecond);
    EXPECT_TRUE(notLoaded["fileVersion"].is_null());
    EXPECT_TRUE(notLoaded["company"].is_null());
    EXPECT_EQ(notLoaded["size"], 15);
    EXPECT_EQ(notLoaded["modified"], modified);
    EXPECT_EQ(notLoaded["sha256"], "73b911c62bc91ce6a5671b53ec7646cd3c1c82c6e4b18879be7ba8a1d07bfa92");

    // No record from a hung worker: its IDs come from the lines it had produced.
    EXPECT_EQ(files[4]["outcome"], "hung");
    EXPECT_TRUE(files[4]["code"].is_null());
    EXPECT_EQ(files[4]["productId"], "00004a96");

    nlohmann::json& versioned = files[6];
    EXPECT_EQ(versioned["fileVersion"], "2.5.0.17");
    EXPECT_EQ(versioned["company"], u8"テスト工房");
    EXPECT_EQ(versioned["sha256"].get<std::string>().size(), 64u);

    nlohmann::json& other = files[5];
    EXPECT_EQ(other["bitness"], 96 - ownBits);
    EXPECT_EQ(other["outcome"], "workerMissing");
    EXPECT_EQ(other["explanation"], nlohmann::json::array({ownBits == 64 ? u8"32ビット版の plugin-inspector-x86.exe が必要です"
                                                                         : u8"64ビット版の plugin-inspector-x64.exe が必要です"}));
}

// Each executable sends a library of the other bitness to a worker of its sibling, found under
// the build outputs' names (build\win32\, build\win64\). Only where both bitnesses run: the
// 32-bit suite's runner runs 64-bit programs too, the 64-bit suite's Wine runs no 32-bit code.
// Whether the sibling runs is told by what it prints: a Wine without 32-bit support "starts" a
// 32-bit program, which then exits with 0 without having run.
TEST(ListMode, EachExecutableSendsTheOtherBitnessToItsSibling)
{
    std::string other = testsupport::otherBitnessBinDir() + "..\\plugin-inspector.exe";
    ASSERT_NE(GetFileAttributesA(other.c_str()), INVALID_FILE_ATTRIBUTES) << other << ": build the other preset first";
    bool started = false;
    ListRun version = runInspector("--version", other, &started);
    if (version.out.rfind("plugin-inspector ", 0) != 0)
        GTEST_SKIP() << other << " does not run here ("
                     << (started ? "exit code " + std::to_string(version.exitCode) : std::string("not started"))
                     << ", printed \"" << version.out << "\")";

    const int ownBits = sizeof(void*) == 8 ? 64 : 32;
    std::string files = " \"" + testsupport::otherBitnessBinDir() + "plug_command.dll\" \"" + fixturePath("plug_import.dll") + "\"";
    for (const std::string& exe : {testsupport::inspectorPath(), other}) {
        ListRun run = runInspector("--list --json" + files, exe);
        EXPECT_EQ(run.exitCode, 0u) << exe << run.out;
        nlohmann::json answers = nlohmann::json::parse(run.out);
        ASSERT_EQ(answers.size(), 2u) << exe << run.out;
        EXPECT_EQ(answers[0]["bitness"], 96 - ownBits) << exe;
        EXPECT_EQ(answers[0]["outcome"], "ok") << exe;
        EXPECT_EQ(answers[0]["productId"], "12ab34cd") << exe;
        EXPECT_EQ(answers[1]["bitness"], ownBits) << exe;
        EXPECT_EQ(answers[1]["outcome"], "ok") << exe;
        EXPECT_EQ(answers[1]["productId"], "fedcba98") << exe;
    }
}

TEST(ListMode, ExitCodesUsageAndVersion)
{
    ListRun run = runInspector("--list plug_command.dll --workers=1 plug_import.dll");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.out.find("plug_import.dll"), std::string::npos);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(runInspector("--list plug_command.dll plug_notype.dll").exitCode, 1u);

    // Each usage error names what is wrong, then the usage, on standard error only.
    const std::pair<const char*, const char*> wrongs[] = {
        {"--list", "no path given"}, {"--list --bogus plug_command.dll", "--bogus"}, {"--list plug_command.dll --output", "--output"}};
    for (const auto& [arguments, problem] : wrongs) {
        run = runInspector(arguments);
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_LT(run.err.find(problem), run.err.find("Usage:")) << run.err;
        EXPECT_NE(run.err.find("Usage:"), std::string::npos) << arguments;
    }
    // An output that cannot be written: one line that says what failed, no usage.
    run = runInspector("--list --output nosuchfolder\\out.txt plug_command.dll");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.err.find(": cannot write nosuchfolder\\out.txt: error "), run.err.find(':')) << run.err;
    EXPECT_EQ(run.err.find("\r\n"), run.err.size() - 2) << run.err;
    EXPECT_EQ(run.out, "");

    run = runInspector("--help");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.out.find("--list [--json] [--output FILE]"), std::string::npos) << run.out;
    run = runInspector("--version");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, std::string("plugin-inspector " RP_VERSION_TEXT) + (sizeof(void*) == 8 ? " (64-bit)\r\n" : " (32-bit)\r\n"));
}

// ---- What --output never does.

// The output is never one of the files to probe, however it is named (a PATH in another
// spelling, a file found in a folder PATH, a hard link to it): exit 2, one line that says why,
// the plug-in left as it was. And a file is replaced only by a whole list: when it cannot be
// replaced, its earlier contents stay and no temporary file is left.
TEST(ListMode, OutputNeverDestroysAnInputAndReplacesAFileOnlyWhole)
{
    testsupport::TempDir temp;
    const std::string plugin = temp.file("plugin.dll");
    ASSERT_TRUE(CopyFileA(fixturePath("plug_command.dll").c_str(), plugin.c_str(), FALSE));
    const std::string original = readFile(plugin);
    std::vector<std::pair<std::string, std::string>> refused = {
        {temp.path() + "\\.\\PLUGIN.DLL", "\"" + plugin + "\""},
        {plugin, "plug_import.dll \"" + temp.path() + "\""},
    };
    const std::string link = temp.file("another name.dll");
    if (CreateHardLinkA(link.c_str(), plugin.c_str(), nullptr))
        refused.push_back({link, "\"" + plugin + "\""});
    else
        std::printf("no hard link could be made here (error %lu): that case is not checked\n", GetLastError());
    for (const auto& [output, paths] : refused) {
        ListRun run = runInspector("--list --json --output \"" + output + "\" " + paths);
        EXPECT_EQ(run.exitCode, 2u) << output;
        EXPECT_NE(run.err.find("refused to write " + output + ": it is one of the files to probe\r\n"), std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("\r\n"), run.err.size() - 2) << run.err;
        EXPECT_EQ(readFile(plugin), original) << output;
    }

    const std::string list = temp.writeFile("list.txt", "earlier list");
    ListRun run = runInspector("--list --output \"" + list + "\" plug_command.dll");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(readFile(list).rfind(testsupport::crlfBlock({"", "プラグイン  plug_command.dll"}), 0), 0u) << readFile(list);
    temp.writeFile("list.txt", "earlier list");
    // Another program holds the file and lets no one replace it (it shares writing, not deleting).
    HANDLE held = CreateFileA(list.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    run = runInspector("--list --output \"" + list + "\" plug_command.dll");
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("cannot write " + list + ": error "), std::string::npos) << run.err;
    EXPECT_EQ(readFile(list), "earlier list");
    WIN32_FIND_DATAA found;  // and no temporary file
    EXPECT_EQ(FindFirstFileA(temp.file("*.tmp").c_str(), &found), INVALID_HANDLE_VALUE) << found.cFileName;

    // A device is written as it is.
    EXPECT_EQ(runInspector("--list --output NUL plug_command.dll").exitCode, 0u);
}

// ---- Texts and folders that once gave wrong listings.

// Control characters in a plug-in's texts never break a list line: each shows as '?', and the
// JSON keeps the real texts.
TEST(ListMode, ControlCharactersNeverBreakAListLine)
{
    ListRun text = runInspector("--list plug_ctrlchars.dll");
    EXPECT_EQ(text.exitCode, 0u);
    EXPECT_EQ(text.out, testsupport::crlfBlock({"", "プラグイン  plug_ctrlchars.dll", "  プラグインID  0c0c0c0c  00000001",
                                                "  名称= [名前?二行目]", "  タイプ=  Import",
                                                "  ファイルタイプ[0]= [画像??偽の行?] [*.a?;*.b]"}));
    ListRun json = runInspector("--list --json plug_ctrlchars.dll");
    nlohmann::json files = nlohmann::json::parse(json.out);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]["name"], u8"名前\n二行目");
    EXPECT_EQ(files[0]["strings"], nlohmann::json::parse(u8R"js([{"text": "画像\r\n偽の行\t", "extensions": "*.a\u0001;*.b"}])js"));
}

// A folder that cannot be searched is a failure, never a silent gap: a line of its folder's
// summary, a JSON object of its own in file order, and exit code 1.
TEST(ListMode, AFolderThatCannotBeSearchedIsReportedAsAFailure)
{
    // Made by the build: unreadabletree\a\, unreadabletree\m*\ and unreadabletree\z\. A Unix
    // folder whose name holds '*' is listed by Wine, but no search can name it.
    char tree[MAX_PATH];
    GetFullPathNameA((testsupport::binDir() + "..\\unreadabletree").c_str(), MAX_PATH, tree, nullptr);
    ASSERT_TRUE(CopyFileA(fixturePath("plug_command.dll").c_str(), (std::string(tree) + "\\a\\one.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(fixturePath("plug_import.dll").c_str(), (std::string(tree) + "\\z\\two.dll").c_str(), FALSE));
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((std::string(tree) + "\\m*").c_str(), &found);
    bool made = find != INVALID_HANDLE_VALUE && std::string(found.cFileName) == "m*";
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    if (!made)
        GTEST_SKIP() << "no unsearchable folder could be made here";

    ListRun text = runInspector(std::string("--list \"") + tree + "\"");
    EXPECT_EQ(text.exitCode, 1u);
    const std::string summary = testsupport::crlfBlock({"", std::string("フォルダ  ") + tree, "  ファイル数= 2", "  Import= 1",
                                                        "  Command= 1", "  読み込みエラー= 0", "  異常終了= 0",
                                                        "  読めないフォルダ= 1", "  読めないフォルダ: m* (123)"});
    ASSERT_GT(text.out.size(), summary.size());
    EXPECT_EQ(text.out.substr(text.out.size() - summary.size()), summary) << text.out;

    ListRun json = runInspector(std::string("--list --json \"") + tree + "\"");
    EXPECT_EQ(json.exitCode, 1u);
    nlohmann::json files = nlohmann::json::parse(json.out);
    ASSERT_EQ(files.size(), 3u) << json.out;
    EXPECT_EQ(files[0]["path"], utf8(std::string(tree) + "\\a\\one.dll"));
    EXPECT_EQ(files[2]["path"], utf8(std::string(tree) + "\\z\\two.dll"));
    nlohmann::json& folder = files[1];
    EXPECT_EQ(folder["path"], utf8(std::string(tree) + "\\m*"));
    EXPECT_EQ(folder["outcome"], "folderError");
    EXPECT_EQ(folder["code"], ERROR_INVALID_NAME);
    ASSERT_EQ(folder["explanation"].size(), 1u);
    EXPECT_NE(folder["explanation"][0], "");
    for (const char* field : {"bitness", "productId", "pluginId", "name", "type", "typeName", "fileVersion", "company", "size",
                              "modified", "sha256"})
        EXPECT_TRUE(folder[field].is_null()) << field;
    EXPECT_EQ(folder["strings"], nlohmann::json::array());
}

// A plug-in that prints, writes to its standard handles and to every file handle it finds
// reaches neither the listing nor standard error: its worker has standard handles of its own
// that lead nowhere, and inherits none of the inspector's.
TEST(ListMode, APluginsOwnOutputNeverReachesTheListing)
{
    ListRun text = runInspector("--list plug_output.dll plug_command.dll");
    EXPECT_EQ(text.exitCode, 0u);
    EXPECT_EQ(text.out, testsupport::crlfBlock({"", "プラグイン  plug_output.dll", "  プラグインID  00000da7  00000007", "  名称= [Output]",
                                                "  タイプ=  Command", "  メニュー[0]= [Print]", "", "プラグイン  plug_command.dll",
                                                "  プラグインID  12ab34cd  00000007", "  名称= [テストコマンド]", "  タイプ=  Command",
                                                "  メニュー[0]= [表示(&V)]", "  メニュー[1]= [Second item]", "  メニュー[2]= [三番目]"}));
    EXPECT_EQ(text.err, "");

    ListRun json = runInspector("--list --json plug_output.dll plug_command.dll");
    EXPECT_EQ(json.exitCode, 0u);
    EXPECT_EQ(json.out.find("PLUGIN-OUTPUT"), std::string::npos) << json.out;
    EXPECT_EQ(json.err, "");
    nlohmann::json files = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(files.is_discarded()) << json.out;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["name"], "Output");
}

// The JSON keeps the bitness measured when a file was probed, even when the file is gone by the
// time its object is written: its block waits for the slower plug-in before it, while
// plug_deleter, probed after it by the other worker, deletes it.
TEST(ListMode, JsonKeepsTheBitnessMeasuredWhenTheFileWasProbed)
{
    testsupport::TempDir temp;
    std::string gone = temp.file("gone.dll");
    ASSERT_TRUE(CopyFileA(fixturePath("plug_command.dll").c_str(), gone.c_str(), FALSE));
    SetEnvironmentVariableA("RP_TEST_DELETE", gone.c_str());
    ListRun run = runInspector("--list --json --workers=2 plug_pump.dll \"" + gone + "\" plug_deleter.dll");
    SetEnvironmentVariableA("RP_TEST_DELETE", nullptr);
    EXPECT_EQ(GetFileAttributesA(gone.c_str()), INVALID_FILE_ATTRIBUTES);
    nlohmann::json files = nlohmann::json::parse(run.out);
    ASSERT_EQ(files.size(), 3u) << run.out;
    EXPECT_EQ(files[1]["outcome"], "ok");
    EXPECT_EQ(files[1]["bitness"], sizeof(void*) == 8 ? 64 : 32);
    EXPECT_EQ(files[2]["name"], "Deleter");
}

// Started from a console without redirection, the list appears in that console as characters.
TEST(ListMode, WritesToTheConsoleOfTheProgramThatStartedIt)
{
    // A console of this test's own, read back from its screen buffer.
    HANDLE savedOut = GetStdHandle(STD_OUTPUT_HANDLE), savedErr = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    // Detached, as a GUI program is on Windows (Wine would hand it this console otherwise).
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    bool started = startInspector(testsupport::inspectorPath(), "--list plug_command.dll", &startup, DETACHED_PROCESS, &process);
    DWORD exitCode = started ? exitCodeOf(process) : 99;
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(screen, &info);
    std::wstring rows[4];
    for (SHORT row = 0; row < 4; ++row) {
        std::wstring& text = rows[row];
        text.assign(static_cast<size_t>(info.dwSize.X), L' ');
        DWORD got = 0;
        ReadConsoleOutputCharacterW(screen, &text[0], static_cast<DWORD>(text.size()), COORD{0, row}, &got);
        text.erase(text.find_last_not_of(L' ') + 1);
    }
    CloseHandle(screen);
    FreeConsole();
    SetStdHandle(STD_OUTPUT_HANDLE, savedOut);
    SetStdHandle(STD_ERROR_HANDLE, savedErr);
    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(rows[0], L"");
    EXPECT_EQ(rows[1], L"プラグイン  plug_command.dll");
    EXPECT_EQ(rows[2], L"  プラグインID  12ab34cd  00000007");
    EXPECT_EQ(rows[3], L"  名称= [テストコマンド]");
}

// ---- Why a library is not a plug-in, and the validation.

// A missing entry point is followed by the exports that come close to it, each as exported: the
// decorations of __stdcall, C++ names, other cases of letters; a library without any of the six
// says how many exports it has. A missing dependency that lies next to the plug-in says that it
// is there but not searched.
TEST(ListMode, AMissingEntryPointNamesTheExportsThatComeClose)
{
    testsupport::TempDir temp;
    const std::string beside = temp.file("plug_missingdll.dll");
    ASSERT_TRUE(CopyFileA(fixturePath("plug_missingdll.dll").c_str(), beside.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(fixturePath("loadable.dll").c_str(), temp.file("gonedep.dll").c_str(), FALSE));
    ListRun run = runInspector("--list plug_decorated.dll plug_cplusplus.dll plug_othercase.dll loadable.dll plug_noid.dll \"" +
                               beside + "\"");
    EXPECT_EQ(run.exitCode, 1u);
    const char* const decoration = " をエクスポートしています (__stdcall の宣言か .def のないエクスポートで付いた装飾)";
    const char* const cpp = " をエクスポートしています (extern \"C\" のない C++ の名前)";
    EXPECT_EQ(run.out, testsupport::crlfBlock({
                           "", "プラグイン  plug_decorated.dll", "プラグインIDが取得できません",
                           std::string("  MQGetPlugInID ではなく MQGetPlugInID@8") + decoration,
                           std::string("  MQGetPlugInID ではなく _MQGetPlugInID@8") + decoration,
                           "", "プラグイン  plug_cplusplus.dll", "  プラグインID  0000c0de  00000007", "  プラグイン名称が取得できません",
                           std::string("    MQGetPlugInName ではなく ?MQGetPlugInName@@YAPBDXZ") + cpp,
                           std::string("    MQGetPlugInName ではなく _Z15MQGetPlugInNamev") + cpp,
                           "", "プラグイン  plug_othercase.dll", "  プラグインID  0000ca5e  00000007", "  名称= [Other case]",
                           "  タイプ=  Command", "  メニュー文字列が取得できません",
                           "    MQEnumString ではなく mqEnumString をエクスポートしています (大文字と小文字の違い)",
                           "", "プラグイン  loadable.dll", "プラグインIDが取得できません",
                           "  プラグインの関数を一つもエクスポートしていません (エクスポート数 2)",
                           // Exports a name and a type: nothing more to say than before.
                           "", "プラグイン  plug_noid.dll", "プラグインIDが取得できません",
                           "", "プラグイン  plug_missingdll.dll", "load error 126", "  見つからないDLL: gonedep.dll",
                           "    プラグインと同じフォルダにありますが、フルパスで読み込まれたプラグインのフォルダは探されません",
                       }));
}

// Each check of the validation finds the fault of its fixture, and only that (a load may be slow
// on a busy machine: "slow" is looked for only where it is the fixture's fault). Every file has
// its findings, also an empty list.
TEST(Validation, EachCheckFindsTheFaultOfItsFixture)
{
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"plug_command.dll", ""},
        {"plug_decorated.dll", "exports-decorated"},
        {"plug_unstable.dll", "answers-unstable"},
        {"plug_endless.dll", "enum-unterminated"},
        {"plug_type8.dll", "type-unknown"},
        {"plug_unpaired.dll", "filetypes-unpaired"},
        {"plug_badsjis.dll", "text-invalid"},
        {"plug_sleeper.dll", "thread-left"},
        {"plug_pin.dll", "unload-refused"},
        {"plug_debugcrt.dll", "debug-runtime"},
        {"plug_fpu.dll", "fpu-changed"},
        {"plug_errormode.dll", "process-changed"},
        {"plug_slow.dll", "slow"},
        {"plug_handles.dll", "handles-leaked"},
    };
    std::string paths;
    for (const auto& file : expected)
        paths += std::string(" ") + file.first;
    ListRun run = runInspector("--validate --json" + paths);
    EXPECT_EQ(run.exitCode, 1u);
    nlohmann::json files = nlohmann::json::parse(run.out);
    ASSERT_EQ(files.size(), expected.size()) << run.out;
    const std::set<std::string> warnings = {"fpu-changed", "process-changed", "slow", "handles-leaked"};
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string check = expected[i].second;
        ASSERT_TRUE(files[i]["findings"].is_array()) << expected[i].first;
        std::vector<std::string> found;
        for (const nlohmann::json& finding : files[i]["findings"]) {
            if (finding["check"] == "slow" && check != "slow")
                continue;
            found.push_back(finding["check"]);
            EXPECT_EQ(finding["severity"], warnings.count(finding["check"]) ? "warning" : "error") << finding.dump();
            EXPECT_FALSE(finding["message"].get<std::string>().empty()) << finding.dump();
        }
        EXPECT_EQ(found, check.empty() ? std::vector<std::string>() : std::vector<std::string>{check}) << files[i].dump(2);
    }
    // The messages name what the author has to look for.
    EXPECT_NE(files[6]["findings"][0]["message"].get<std::string>().find("MQEnumString(1)"), std::string::npos);
    const std::string debug = files[9]["findings"][0]["message"];
    EXPECT_NE(debug.find("msvcr120d.dll"), std::string::npos) << debug;
    EXPECT_NE(debug.find("needsdebugcrt.dll"), std::string::npos) << debug;
    // The probe's own fields are those of --list, which has no findings.
    nlohmann::json listed = nlohmann::json::parse(runInspector("--list --json plug_command.dll").out);
    files[0].erase("findings");
    EXPECT_EQ(listed[0], files[0]);
}

// Findings follow the file's block, one line each. Errors fail the run, warnings only with
// --strict, which --list does not take.
TEST(Validation, FindingLinesFollowTheBlockAndStrictFailsOnWarnings)
{
    ListRun run = runInspector("--validate plug_errormode.dll");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_EQ(run.out, testsupport::crlfBlock({"", "プラグイン  plug_errormode.dll", "  プラグインID  0000e40d  00000007",
                                               "  名称= [Error mode]", "  タイプ=  Command", "  メニュー[0]= [Boxes]",
                                               "  [警告] MQGetPlugInName がプロセスのエラーモードを変えたままにします。"
                                               "ホスト全体に効くので、変えたら元に戻してください"}));
    EXPECT_EQ(runInspector("--validate --strict plug_errormode.dll").exitCode, 1u);
    run = runInspector("--validate --strict plug_pin.dll");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.out.find("\r\n  [エラー] 解放した後も DLL が読み込まれたままです"), std::string::npos) << run.out;
    run = runInspector("--list --strict plug_command.dll");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("--strict needs --validate"), std::string::npos) << run.err;
}

// A 32-bit plug-in whose entry points were declared __stdcall: the probe goes on whole after each
// call, and the validation names the first entry point that moved the stack. 64-bit Windows has
// one calling convention, so there is nothing to check there.
TEST(Validation, StdcallEntryPointsAreFoundOutIn32BitPlugins)
{
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "64-bit: every entry point is called the same way";
    ListRun run = runInspector("--validate --json plug_stdcall.dll");
    nlohmann::json files = nlohmann::json::parse(run.out);
    ASSERT_EQ(files.size(), 1u) << run.out;
    EXPECT_EQ(files[0]["outcome"], "ok");
    EXPECT_EQ(files[0]["strings"].size(), 2u);
    ASSERT_GE(files[0]["findings"].size(), 1u) << run.out;
    EXPECT_EQ(files[0]["findings"][0]["check"], "stack-imbalance");
    EXPECT_NE(files[0]["findings"][0]["message"].get<std::string>().find(u8"MQGetPlugInID から戻るとスタックが 8 バイトずれます"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.exitCode, 1u);
}

}  // namespace
