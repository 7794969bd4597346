// The folder walk of a folder batch: which files, in which order, names outside the ANSI code
// page, links that lead back up the tree, deep trees, and folders that cannot be searched (one
// inside a tree is checked end to end, with the list mode).
#include "folderScan.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using testsupport::wide;
using Paths = std::vector<std::wstring>;

void touch(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
}

TEST(FolderScan, FindsEveryDllOfTheTreeInPathOrderByItsRealName)
{
    testsupport::TempDir temp;
    const std::wstring root = wide(temp.path());
    // A name that code page 932 cannot spell, and one in Japanese.
    const std::wstring korean = root + L"\\\uD55C\uAE00.dll";
    const std::wstring japanese = root + L"\\\u8868\u793A.dll";  // 表示
    for (const wchar_t* folder : {L"\\sub", L"\\sub\\deeper", L"\\empty", L"\\folder.dll"})
        ASSERT_TRUE(CreateDirectoryW((root + folder).c_str(), nullptr));
    for (const wchar_t* file : {L"\\b.dll", L"\\A.DLL", L"\\notes.txt", L"\\x.dllx", L"\\zeta.Dll", L"\\sub\\c.dll",
                                L"\\sub\\deeper\\d.dll", L"\\sub\\readme.md"})
        touch(root + file);
    touch(korean);
    touch(japanese);

    Paths expected = {root + L"\\A.DLL", root + L"\\b.dll", root + L"\\sub\\c.dll", root + L"\\sub\\deeper\\d.dll",
                      root + L"\\zeta.Dll", japanese, korean};
    FolderContents contents = scanFolder(root);
    EXPECT_EQ(contents.files, expected);
    EXPECT_TRUE(contents.unreadable.empty());
    EXPECT_EQ(scanFolder(root + L"\\").files, expected);
    EXPECT_TRUE(isFolder(root + L"\\folder.dll"));
    EXPECT_FALSE(isFolder(root + L"\\b.dll"));

    // The temporary folder's cleanup works with ANSI names.
    DeleteFileW(korean.c_str());
    DeleteFileW(japanese.c_str());
}

TEST(FolderScan, DoesNotFollowALinkBackUpTheTree)
{
    // Made by the build: looptree\top.dll, looptree\inner\inner.dll, looptree\inner\back -> looptree.
    const std::wstring root = wide(testsupport::binDir() + "..\\looptree");
    Paths expected = {root + L"\\inner\\inner.dll", root + L"\\top.dll"};
    if (!isFolder(root + L"\\inner\\back"))
        std::printf("no link could be made here: only the tree without it is checked\n");
    EXPECT_EQ(scanFolder(root).files, expected);
}

TEST(FolderScan, ReportsWhatItCannotSearchAndHasNoDepthLimit)
{
    testsupport::TempDir temp;
    // Far deeper than the walk once went (64 folders).
    std::wstring deep = wide(temp.path());
    for (int depth = 0; depth < 80; ++depth) {
        deep += L"\\d";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << depth;
    }
    touch(deep + L"\\deep.dll");
    FolderContents contents = scanFolder(wide(temp.path()));
    EXPECT_EQ(contents.files, Paths{deep + L"\\deep.dll"});
    EXPECT_TRUE(contents.unreadable.empty());

    // A folder that is gone, or a file where a folder is expected: the folder itself.
    for (const std::wstring& notAFolder : {wide(temp.file("missing")), wide(temp.writeFile("a.dll", "x"))}) {
        contents = scanFolder(notAFolder);
        EXPECT_TRUE(contents.files.empty());
        ASSERT_EQ(contents.unreadable.size(), 1u);
        EXPECT_EQ(contents.unreadable[0].path, notAFolder);
        EXPECT_NE(contents.unreadable[0].error, 0u);
    }
}

}  // namespace
