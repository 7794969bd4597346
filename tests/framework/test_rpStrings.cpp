// Byte-string helpers and the directory search on Shift-JIS text.
#include "rpFind.h"
#include "rpStrings.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using testsupport::TempDir;

// "表" and "ソ" end in the byte 0x5C, the backslash code.
static const char Hyo[] = "\x95\x5C";
static const char So[] = "\x83\x5C";

TEST(StrncpyTest, CopiesWholeCharactersOnly)
{
    struct Case {
        const char* src;
        int n;
        const char* expected;
        int result;
    } cases[] = {
        {"ab\x82\xA0", 4, "ab", 2},           // the two-byte character would need 4 + 1
        {"ab\x82\xA0", 5, "ab\x82\xA0", 4},
        {"ab\x82\xA0", 1, "", 0},
        {"abc", 10, "abc", 3},
        {"abcdef", 4, "abc", 3},
        {"ab\x95\x5C" "c", 4, "ab", 2},       // stops at the character that does not fit
        {"\x95", 5, "\x95", 1},               // a lead byte before the terminator is one byte
    };
    for (const Case& c : cases) {
        char dst[16];
        std::memset(dst, 'X', sizeof dst);
        EXPECT_EQ(rpStrncpy(dst, c.src, c.n), c.result) << c.src << " n=" << c.n;
        EXPECT_STREQ(dst, c.expected) << c.src << " n=" << c.n;
        EXPECT_EQ(dst[c.result + 1], 'X') << "wrote past the terminator";
    }
}

TEST(StrncpyTest, RefusesBadArgumentsWithoutWriting)
{
    char dst[4] = "zz";
    EXPECT_EQ(rpStrncpy(dst, static_cast<const char*>(nullptr), 4), -1);
    EXPECT_EQ(rpStrncpy(dst, "a", 0), -1);
    EXPECT_EQ(rpStrncpy(dst, "a", -3), -1);
    EXPECT_STREQ(dst, "zz");
    EXPECT_EQ(rpStrncpy(static_cast<char*>(nullptr), "a", 4), -1);
}

TEST(MbschrTest, TrailByteIsNotTheCharacter)
{
    std::string text = std::string(Hyo) + So + "\\x";
    const char* found = rpMbschr(text.c_str(), '\\');
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found - text.c_str(), 4);
    EXPECT_EQ(rpMbschr(Hyo, '\\'), nullptr);
    EXPECT_EQ(rpMbschr("abc", 'z'), nullptr);
    std::string path = std::string("C:\\a\\") + Hyo;
    EXPECT_EQ(rpLastBackslash(path.c_str()) - path.c_str(), 4);
}

// The list's filter: ASCII letters in either case, two-byte characters whole, and never a match
// that starts at, or takes only, a byte of a two-byte character.
TEST(FindTextTest, MatchesWholeCharactersAndIgnoresTheCaseOfAsciiLetters)
{
    const char line[] = "  \x83\x41Load Error \x95\x5C";  // "アLoad Error 表": ア is 83 41 ('A')
    EXPECT_EQ(rpFindText(line, "load error"), line + 4);
    EXPECT_EQ(rpFindText(line, "LOAD"), line + 4);
    EXPECT_EQ(rpFindText(line, ""), line);
    EXPECT_EQ(rpFindText(line, "\x83\x41"), line + 2);       // ア itself
    EXPECT_EQ(rpFindText(line, "a"), line + 6);                // the "a" of Load, not ア's trail byte
    EXPECT_EQ(rpFindText(line, "\\"), nullptr);               // 表's trail byte is no backslash
    EXPECT_EQ(rpFindText(line, "\x95"), nullptr);              // nor is its lead byte alone a match
    EXPECT_EQ(rpFindText(line, "\x83\x61"), nullptr);         // ア is not "folded" into another character
    const char kana[] = "\xB1\xB2";  // ｱｲ: half-width katakana are one byte each
    EXPECT_EQ(rpFindText(kana, "\xB2"), kana + 1);
    EXPECT_EQ(rpFindText(nullptr, "a"), nullptr);
    EXPECT_EQ(rpFindText(line, "error x"), nullptr);
}

TEST(BlankCutTest, TrimsControlCharactersAndSpacesAtBothEnds)
{
    struct Case {
        const char* src;
        const char* expected;
    } cases[] = {
        {"  \tab \n", "ab"},
        {" \t\r\n ", ""},
        {"", ""},
        {"a b", "a b"},
        {"\x81\x40" "ab\x81\x40", "\x81\x40" "ab\x81\x40"},  // the full-width space stays
        {"\x01x\x1f", "x"},
    };
    for (const Case& c : cases) {
        char text[32];
        std::strcpy(text, c.src);
        rpBlankCut(text);
        EXPECT_STREQ(text, c.expected) << "[" << c.src << "]";
    }
}

TEST(AdjustDirTest, TrailingBackslashByMode)
{
    std::string hyoDir = std::string("C:\\") + Hyo;
    struct Case {
        std::string src;
        char mode;
        std::string expected;
    } cases[] = {
        {"\\dir", '+', "\\dir\\"},
        {"\\dir\\", '+', "\\dir\\"},
        {"", '+', "\\"},
        {hyoDir, '+', hyoDir + "\\"},
        {"\\dir\x95", '+', "\\dir\\"},      // a lone lead byte gives way to the backslash
        {"\\dir\\\x95", '+', "\\dir\\"},
        {"\\dir\xB1", '+', "\\dir\xB1\\"},  // a half-width katakana is a whole character
        {"\\dir\\", '-', "\\dir"},
        {"\\dir", '-', "\\dir"},
        {"\\dir\\\\", '-', "\\dir\\"},
        {hyoDir, '-', hyoDir},
        {"D:", 'r', "D:\\"},
        {"D:\\", 'r', "D:\\"},
        {"D:\\dir\\", 'r', "D:\\dir"},
        {"D:\\dir", 'r', "D:\\dir"},
        {std::string("D:\\") + So, 'r', std::string("D:\\") + So},
        {"\\dir\\", 'r', "\\dir\\"},
    };
    for (const Case& c : cases) {
        char text[64];
        std::strcpy(text, c.src.c_str());
        rpAdjustDir(text, c.mode);
        EXPECT_EQ(std::string(text), c.expected) << "[" << c.src << "] mode " << c.mode;
    }
}

namespace {
std::set<std::string> enumerate(rpFind& find)
{
    std::set<std::string> names;
    char name[MAX_PATH];
    while (find.read(name))
        names.insert(name);
    return names;
}
}  // namespace

TEST(FindTest, EnumeratesADirectoryWithOrWithoutBackslash)
{
    TempDir temp;
    temp.writeFile("one.txt", "1");
    temp.writeFile("two.dat", "22");
    CreateDirectoryA(temp.file("sub").c_str(), nullptr);
    const std::set<std::string> expected = {".", "..", "one.txt", "two.dat", "sub"};

    rpFind find;
    ASSERT_EQ(find.open(temp.path().c_str(), 0xFF), 0);
    EXPECT_TRUE(find.firstPending);
    EXPECT_EQ(enumerate(find), expected);
    EXPECT_EQ(find.lastError, ERROR_NO_MORE_FILES);
    EXPECT_FALSE(find.read(nullptr));

    ASSERT_EQ(find.open((temp.path() + "\\").c_str(), 0xFF), 0);
    EXPECT_EQ(enumerate(find), expected);
}

TEST(FindTest, EnumeratesADirectoryWhoseNameEndsInTrailByte5C)
{
    TempDir temp;
    std::string dir = temp.file(Hyo);
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    temp.writeFile(std::string(Hyo) + "\\" + So + ".txt", "x");

    rpFind find;
    ASSERT_EQ(find.open(dir.c_str(), 0xFF), 0);
    EXPECT_EQ(enumerate(find), (std::set<std::string>{".", "..", std::string(So) + ".txt"}));
}

TEST(FindTest, NoSearchGivesNullAndEmptyName)
{
    rpFind find;
    char name[MAX_PATH] = "junk";
    EXPECT_EQ(find.getName(name), nullptr);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(find.getAlterName(nullptr), nullptr);
    EXPECT_EQ(find.getData(), nullptr);
    EXPECT_FALSE(find.findNext());
}

TEST(FindTest, FailedSearchesReturnSystemCodesAndStayClosed)
{
    TempDir temp;
    temp.writeFile("a.txt", "a");
    rpFind find;
    EXPECT_EQ(find.findFirst(temp.file("*.none").c_str(), 0xFF), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(find.getData(), nullptr);
    EXPECT_EQ(find.findFirst(temp.file("missing\\*.*").c_str(), 0xFF), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(find.getData(), nullptr);
    EXPECT_EQ(find.findData.dwFileAttributes, 0u);

    ASSERT_EQ(find.findFirst(temp.file("*.txt").c_str(), 0xFF), 0);
    char name[MAX_PATH];
    EXPECT_STREQ(find.getName(name), "a.txt");
    EXPECT_STREQ(name, "a.txt");
    ASSERT_NE(find.getData(), nullptr);
    find.close();
    EXPECT_EQ(find.getData(), nullptr);
}

TEST(FindTest, OverlongDirectoryIsRefused)
{
    std::string dir(400, 'a');
    rpFind find;
    EXPECT_EQ(find.open(dir.c_str(), 0xFF), ERROR_INVALID_NAME);
    EXPECT_FALSE(find.read(nullptr));
}
