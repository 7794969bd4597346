// The common file and folder dialogs, driven from inside their modal loops as a user would.
#include "rpFileDialog.h"

#include "filedialogdriver.h"
#include "modaldriver.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

// While this count lasts, non-throwing array allocations fail: the heap's refusal of a
// fixed-size buffer cannot be had otherwise.
static int refuseNothrowArrays = 0;

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (refuseNothrowArrays > 0) {
        --refuseNothrowArrays;
        return nullptr;
    }
    return std::malloc(size ? size : 1);  // what the library's operator delete[] frees
}

namespace {

using testsupport::answerFileDialog;

std::string bytes(const char* p, size_t n)
{
    return std::string(p, n);
}

// A folder with two small files in it.
struct DllFolder {
    testsupport::TempDir temp;
    DllFolder()
    {
        temp.writeFile("a.dll", "a");
        temp.writeFile("b.dll", "b");
    }
    std::string dir() const { return temp.path(); }
};

TEST(FileDialogSetup, ConstructorsFillTheRecordAndTheSettings)
{
    rpGetOpenFileName open(nullptr);
    EXPECT_EQ(open.ofn.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
    EXPECT_EQ(open.ofn.lpstrFile, open.fileBuf);
    EXPECT_EQ(open.ofn.nMaxFile, 300u);
    EXPECT_EQ(open.ofn.lpstrFileTitle, nullptr);
    EXPECT_EQ(open.ofn.nMaxFileTitle, 300u);
    EXPECT_EQ(open.ofn.lpstrInitialDir, open.initialDir);
    EXPECT_EQ(open.ofn.lpstrTitle, open.title);
    EXPECT_EQ(open.ofn.hwndOwner, nullptr);
    EXPECT_EQ(open.ofn.lpstrFilter, nullptr);
    EXPECT_EQ(open.flags, static_cast<DWORD>(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    EXPECT_STREQ(open.title, "開く");
    EXPECT_EQ(open.fileCount, 0);
    EXPECT_FALSE(open.preview);
    EXPECT_STREQ(open.objectName, "rpDialog");
    EXPECT_EQ(open.result, IDCANCEL);

    rpGetSaveFileName save(nullptr);
    EXPECT_EQ(save.flags, static_cast<DWORD>(OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY));
    EXPECT_STREQ(save.title, "名前を付けて保存");
    EXPECT_FALSE(save.setDefaultExtension(nullptr));
    EXPECT_TRUE(save.setDefaultExtension("txt"));
    EXPECT_STREQ(save.defExt, "txt");

    rpGetDirectoryName folder(nullptr);
    EXPECT_EQ(folder.flags, static_cast<DWORD>(BIF_RETURNONLYFSDIRS));
    EXPECT_EQ(folder.root, CSIDL_DRIVES);
    EXPECT_EQ(folder.param, 0);
    EXPECT_STREQ(folder.title, "");
}

TEST(FileDialogSetup, SetFiltersBuildsTheSystemsFilterList)
{
    rpGetOpenFileName open(nullptr);
    const char* four[] = {"プラグイン", "*.dll", "全てのファイル", "*.*", nullptr};
    ASSERT_TRUE(open.setFilters(four));
    const std::string expected = std::string("プラグイン") + '\0' + "*.dll" + '\0' + "全てのファイル" + '\0' +
                                 "*.*" + '\0' + '\0';
    EXPECT_EQ(bytes(open.filterBuf, expected.size()), expected);
    EXPECT_EQ(open.ofn.lpstrFilter, open.filterBuf);

    // Odd or empty lists are refused and the previous list stays.
    char* before = open.filterBuf;
    const char* three[] = {"a", "*.a", "b", nullptr};
    const char* none[] = {nullptr};
    EXPECT_FALSE(open.setFilters(three));
    EXPECT_FALSE(open.setFilters(none));
    EXPECT_EQ(open.filterBuf, before);
    EXPECT_EQ(open.ofn.lpstrFilter, before);

    // Without a null among the first 100 strings, the first 100 are used.
    const char* many[102];
    for (int i = 0; i < 102; ++i)
        many[i] = i % 2 ? "*.x" : "X";
    ASSERT_TRUE(open.setFilters(many));
    const char* p = open.filterBuf;
    int count = 0;
    while (*p) {
        p += std::strlen(p) + 1;
        ++count;
    }
    EXPECT_EQ(count, 100);
}

TEST(FileDialogSetup, MultimediaFiltersComeFromTheSystem)
{
    rpGetOpenFileName open(nullptr);
    ASSERT_TRUE(open.setMMfilters(false));
    ASSERT_NE(open.mmFilterBuf, nullptr);
    EXPECT_EQ(open.ofn.lpstrFilter, open.mmFilterBuf);
    EXPECT_GT(std::strlen(open.mmFilterBuf), 0u);

    // Without memory for a new list the record keeps pointing at the old one, still held.
    refuseNothrowArrays = 1;
    EXPECT_FALSE(open.setMMfilters(true));
    EXPECT_EQ(open.ofn.lpstrFilter, open.mmFilterBuf);
    EXPECT_NE(open.mmFilterBuf, nullptr);
}

class FileDialogRun : public testing::Test {
protected:
    void TearDown() override { testsupport::cancelPending(); }
    testsupport::ModalGuard guard{10000};
};

TEST_F(FileDialogRun, OpenCancelledReturnsZeroAndChangesNothing)
{
    rpGetOpenFileName open(nullptr);
    std::strcpy(open.initialDir, "C:\\");
    char path[300] = "left over";
    bool answered = false;
    answerFileDialog("", true, &answered);
    EXPECT_EQ(open.run(path, nullptr), 0);
    EXPECT_TRUE(answered);
    EXPECT_STREQ(path, "");
    EXPECT_STREQ(open.initialDir, "C:\\");
    EXPECT_EQ(open.fileCount, 0);
}

TEST_F(FileDialogRun, OpenOneFileGivesItsPathTitleAndNextDirectory)
{
    DllFolder folder;
    rpGetOpenFileName open(nullptr);
    const char* filters[] = {"プラグイン", "*.dll", "全てのファイル", "*.*", nullptr};
    open.setFilters(filters);
    std::strcpy(open.initialDir, folder.dir().c_str());
    char path[300] = "";
    answerFileDialog("a.dll");
    EXPECT_EQ(open.run(path, nullptr), 1);
    EXPECT_EQ(std::string(path), folder.dir() + "\\a.dll");
    EXPECT_EQ(std::string(open.initialDir), folder.dir() + "\\");
    char title[300];
    open.getFileTitle(title);
    EXPECT_STREQ(title, "a.dll");

    // The next run starts there: a bare name is found in that folder.
    answerFileDialog("b.dll");
    EXPECT_EQ(open.run(path, nullptr), 1);
    EXPECT_EQ(std::string(path), folder.dir() + "\\b.dll");
}

TEST_F(FileDialogRun, PreviewVariantsChooseLikeThePlainDialogs)
{
    DllFolder folder;
    rpGetOpenFileName open(nullptr);
    open.preview = true;
    std::strcpy(open.initialDir, folder.dir().c_str());
    char path[300] = "";
    answerFileDialog("b.dll");
    EXPECT_EQ(open.run(path, nullptr), 1);
    EXPECT_EQ(std::string(path), folder.dir() + "\\b.dll");

    rpGetSaveFileName save(nullptr);
    save.preview = true;
    std::strcpy(save.initialDir, folder.dir().c_str());
    answerFileDialog("", true);
    EXPECT_FALSE(save.run(path));
    EXPECT_STREQ(path, "");
}

TEST_F(FileDialogRun, ExplorerMultiSelectionListsTheNames)
{
    DllFolder folder;
    rpGetOpenFileName open(nullptr);
    open.flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    std::strcpy(open.initialDir, folder.dir().c_str());
    char path[300] = "";
    char names[5000];
    std::memset(names, 'x', sizeof names);
    answerFileDialog("\"a.dll\" \"b.dll\"");
    ASSERT_EQ(open.run(path, names), 2);
    EXPECT_EQ(bytes(names, 12), std::string("a.dll") + '\0' + "b.dll" + '\0');
    EXPECT_EQ(open.namesLength, 12);
    EXPECT_EQ(open.fileCount, 2);
    EXPECT_EQ(std::string(path), folder.dir());
    EXPECT_EQ(std::string(open.initialDir), folder.dir() + "\\");

    // One name in the same mode: the full path, the name, and the folder with its separator,
    // whatever the earlier run left in the buffer.
    answerFileDialog("b.dll");
    ASSERT_EQ(open.run(path, names), 1);
    EXPECT_EQ(std::string(path), folder.dir() + "\\b.dll");
    EXPECT_EQ(bytes(names, 6), std::string("b.dll") + '\0');
    EXPECT_EQ(open.namesLength, 6);
    EXPECT_EQ(std::string(open.initialDir), folder.dir() + "\\");
}

// Wine's older-style dialog cannot be made to give a multi-selection from outside, so its answer
// (the directory and the names in one line, separated by blanks) is put in place as that dialog
// leaves it, and taken as run takes it.
TEST(FileDialogAnswer, OlderStyleMultiSelectionSplitsTheBlankSeparatedAnswer)
{
    rpGetOpenFileName open(nullptr);
    open.flags |= OFN_ALLOWMULTISELECT;
    const char answer[] = "C:\\DIR A.DLL B.DLL";
    std::memcpy(open.fileBuf, answer, sizeof answer);
    open.ofn.nFileOffset = 7;
    char path[300] = "";
    char names[100];
    std::memset(names, 'x', sizeof names);
    ASSERT_EQ(open.takeAnswer(path, names), 2);
    EXPECT_EQ(bytes(names, 12), std::string("A.DLL") + '\0' + "B.DLL" + '\0');
    EXPECT_EQ(open.namesLength, 12);
    EXPECT_STREQ(path, "C:\\DIR A.DLL B.DLL");  // what the dialog put first: the whole line
    EXPECT_STREQ(open.initialDir, "C:\\DIR");     // without the separating blank

    // One name in that dialog: its full path; the next run starts in its folder.
    const char single[] = "C:\\DIR\\A.DLL";
    std::memcpy(open.fileBuf, single, sizeof single);
    open.ofn.nFileOffset = 7;
    ASSERT_EQ(open.takeAnswer(path, names), 1);
    EXPECT_STREQ(path, "C:\\DIR\\A.DLL");
    EXPECT_EQ(bytes(names, 6), std::string("A.DLL") + '\0');
    EXPECT_STREQ(open.initialDir, "C:\\DIR\\");
}

// Windows reports a name typed without extension by the offset of its terminating zero (Wine
// by 0); either way the chosen filter's extension is added, and a typed one is kept.
TEST(FileDialogAnswer, SaveTakesTheOffsetOfTheTerminatorForNoExtension)
{
    rpGetSaveFileName save(nullptr);
    const char* filters[] = {"プラグイン", "*.dll", "全てのファイル", "*.*", nullptr};
    ASSERT_TRUE(save.setFilters(filters));
    save.ofn.nFilterIndex = 1;
    char path[300] = "";

    const char bare[] = "C:\\DIR\\OUT";
    std::memcpy(save.fileBuf, bare, sizeof bare);
    save.ofn.nFileOffset = 7;
    save.ofn.nFileExtension = 10;
    ASSERT_TRUE(save.takeAnswer(path));
    EXPECT_STREQ(path, "C:\\DIR\\OUT.dll");
    EXPECT_STREQ(save.initialDir, "C:\\DIR\\");

    const char typed[] = "C:\\DIR\\NOTES.TXT";
    std::memcpy(save.fileBuf, typed, sizeof typed);
    save.ofn.nFileExtension = 13;
    ASSERT_TRUE(save.takeAnswer(path));
    EXPECT_STREQ(path, "C:\\DIR\\NOTES.TXT");
}

// A directory longer than initialDir can hold: the next run starts in the enclosing folder.
TEST(FileDialogAnswer, ADirectoryTooLongForInitialDirLeavesTheFolderAbove)
{
    const std::string parent = "C:\\" + std::string(200, 'p') + "\\";
    const std::string dir = parent + std::string(100, 'd');
    const std::string answer = dir + '\0' + "A.DLL" + '\0' + "B.DLL" + '\0' + '\0';
    rpGetOpenFileName open(nullptr);
    open.flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    rpGetSaveFileName save(nullptr);
    for (rpGetFileName* dialog : std::initializer_list<rpGetFileName*>{&open, &save}) {
        std::memcpy(dialog->fileBuf, answer.data(), answer.size());
        dialog->fileBuf[dir.size()] = dialog == &save ? '\\' : 0;  // one name: its full path
        dialog->ofn.nFileOffset = static_cast<WORD>(dir.size() + 1);
    }
    char path[300];
    ASSERT_EQ(open.takeAnswer(path, nullptr), 2);
    save.takeAnswer(path);
    EXPECT_EQ(std::string(open.initialDir, strnlen(open.initialDir, 300)), parent);
    EXPECT_EQ(std::string(save.initialDir, strnlen(save.initialDir, 300)), parent);
}

TEST_F(FileDialogRun, AMultiSelectionLongerThan300BytesIsNotMistakenForACancel)
{
    testsupport::TempDir temp;
    std::string typed;
    std::string expected;
    for (int i = 10; i < 40; ++i) {
        std::string name = "plugin_with_a_long_name_" + std::to_string(i) + ".dll";
        temp.writeFile(name, "x");
        typed += "\"" + name + "\" ";
        expected += name + '\0';
    }
    rpGetOpenFileName open(nullptr);
    open.flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    std::strcpy(open.initialDir, temp.path().c_str());
    char path[300] = "";
    std::vector<char> names(5000);
    answerFileDialog(typed);
    ASSERT_EQ(open.run(path, names.data()), 30);
    EXPECT_EQ(open.namesLength, static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(names.data(), expected.size()), expected);
}

TEST_F(FileDialogRun, SaveAddsTheChosenFiltersExtensionToABareName)
{
    DllFolder folder;
    rpGetSaveFileName save(nullptr);
    const char* filters[] = {"プラグイン", "*.dll", "全てのファイル", "*.*", "画像", "*.bmp;*.dib", nullptr};
    save.setFilters(filters);
    std::strcpy(save.initialDir, folder.dir().c_str());
    char path[300] = "";

    answerFileDialog("out");
    ASSERT_TRUE(save.run(path));
    EXPECT_EQ(std::string(path), folder.dir() + "\\out.dll");
    EXPECT_EQ(std::string(save.initialDir), folder.dir() + "\\");

    save.ofn.nFilterIndex = 2;
    answerFileDialog("out");
    ASSERT_TRUE(save.run(path));
    EXPECT_EQ(std::string(path), folder.dir() + "\\out.*");

    save.ofn.nFilterIndex = 3;
    answerFileDialog("picture");
    ASSERT_TRUE(save.run(path));
    EXPECT_EQ(std::string(path), folder.dir() + "\\picture.bmp");

    save.ofn.nFilterIndex = 1;
    answerFileDialog("notes.txt");
    ASSERT_TRUE(save.run(path));
    EXPECT_EQ(std::string(path), folder.dir() + "\\notes.txt");

    answerFileDialog("", true);
    EXPECT_FALSE(save.run(path));
    EXPECT_STREQ(path, "");
}

TEST_F(FileDialogRun, SaveWithoutFiltersKeepsABareName)
{
    DllFolder folder;
    rpGetSaveFileName save(nullptr);
    std::strcpy(save.initialDir, folder.dir().c_str());
    char path[300] = "";
    answerFileDialog("plain");
    ASSERT_TRUE(save.run(path));
    EXPECT_EQ(std::string(path), folder.dir() + "\\plain");
}

// The browse dialog: a dialog-class window with a tree view.
BOOL CALLBACK collectBrowseDialog(HWND h, LPARAM found)
{
    char name[16] = {};
    GetClassNameA(h, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(h) && FindWindowExA(h, nullptr, "SysTreeView32", nullptr)) {
        *reinterpret_cast<HWND*>(found) = h;
        return FALSE;
    }
    return TRUE;
}

HWND findBrowseDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), collectBrowseDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void pressInBrowseDialog(int button, int triesLeft = 80)
{
    testsupport::runLater(100, [=] {
        if (HWND dialog = findBrowseDialog())
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        else if (triesLeft > 0)
            pressInBrowseDialog(button, triesLeft - 1);
    });
}

TEST_F(FileDialogRun, FolderDialogCancelledReturnsFalseWithAnEmptyPath)
{
    rpGetDirectoryName browse(nullptr);
    char path[MAX_PATH] = "left over";
    pressInBrowseDialog(IDCANCEL);
    EXPECT_FALSE(browse.run(path, BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT));
    EXPECT_STREQ(path, "");
    EXPECT_STREQ(current0, "");
    EXPECT_EQ(browse.flags, static_cast<DWORD>(BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT));  // kept for later runs
}

// What the browse callback sends to the browse window, recorded by a stand-in window.
struct BrowseMessage {
    UINT msg = 0;
    WPARAM wParam = 0;
    std::string text;
};
BrowseMessage lastBrowseMessage;

LRESULT CALLBACK recordBrowseMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == BFFM_SETSELECTIONA || msg == BFFM_SETSTATUSTEXTA) {
        lastBrowseMessage.msg = msg;
        lastBrowseMessage.wParam = wParam;
        lastBrowseMessage.text = reinterpret_cast<const char*>(lParam);
        return 0;
    }
    return DefWindowProcA(h, msg, wParam, lParam);
}

// (Wine's browse dialog applies a preselection only some of the time, so the callback is
// checked against a window that records what it is sent.)
TEST(FolderBrowseCallback, PreselectsCurrent0AndShowsEachSelectionAsStatus)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = recordBrowseMessage;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "rpBrowseRecorder";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("rpBrowseRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    DllFolder folder;

    current0[0] = 0;
    lastBrowseMessage = {};
    EXPECT_EQ(getDir(window, BFFM_INITIALIZED, 0, 0), 0);
    EXPECT_EQ(lastBrowseMessage.msg, 0u);  // nothing to preselect

    std::strcpy(current0, folder.dir().c_str());
    EXPECT_EQ(getDir(window, BFFM_INITIALIZED, 0, 0), 0);
    EXPECT_EQ(lastBrowseMessage.msg, static_cast<UINT>(BFFM_SETSELECTIONA));
    EXPECT_EQ(lastBrowseMessage.wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(lastBrowseMessage.text, folder.dir());

    LPITEMIDLIST item = nullptr;
    const std::string dir = folder.dir();
    std::wstring wide(dir.begin(), dir.end());  // the temporary folder's path is ASCII
    ASSERT_TRUE(SUCCEEDED(SHParseDisplayName(wide.c_str(), nullptr, &item, 0, nullptr)));
    lastBrowseMessage = {};
    EXPECT_EQ(getDir(window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), 0), 0);
    CoTaskMemFree(item);
    EXPECT_EQ(lastBrowseMessage.msg, static_cast<UINT>(BFFM_SETSTATUSTEXTA));
    EXPECT_EQ(lstrcmpiA(lastBrowseMessage.text.c_str(), folder.dir().c_str()), 0) << lastBrowseMessage.text;

    lastBrowseMessage = {};
    EXPECT_EQ(getDir(window, BFFM_VALIDATEFAILEDA, 0, 0), 0);
    EXPECT_EQ(lastBrowseMessage.msg, 0u);
    current0[0] = 0;
    DestroyWindow(window);
}

}  // namespace
