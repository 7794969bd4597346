// The folder walk of a folder batch: which files, in which order, names outside the ANSI code
// page, and links that lead back up the tree.
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
    DWORD error = 99;
    EXPECT_EQ(scanFolder(root, &error), expected);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(scanFolder(root + L"\\"), expected);
    EXPECT_TRUE(isFolder(root + L"\\folder.dll"));
    EXPECT_FALSE(isFolder(root + L"\\b.dll"));

    EXPECT_EQ(scanFolder(root + L"\\missing", &error), Paths());
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;

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
    EXPECT_EQ(scanFolder(root), expected);
}

}  // namespace
