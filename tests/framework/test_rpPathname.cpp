// Path names: parsing into parts, making relative paths absolute, limits, and the file on disk.
#include "rpPathname.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

using testsupport::TempDir;

static const char Hyo[] = "\x95\x5C";  // "表": trail byte 0x5C
static const char So[] = "\x83\x5C";   // "ソ": trail byte 0x5C
static const char Kana[] = "\xB1";     // "ｱ": half-width, one byte of 0x80 or more

namespace {
// Switches the current directory for one test and restores it afterwards.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& dir)
    {
        GetCurrentDirectoryA(sizeof saved_, saved_);
        EXPECT_TRUE(SetCurrentDirectoryA(dir.c_str())) << dir;
    }
    ~CurrentDir() { SetCurrentDirectoryA(saved_); }
private:
    char saved_[MAX_PATH];
};

std::string parts(rpPathname& p)
{
    return std::string(p.server) + "|" + p.drive + "|" + p.dir + "|" + p.fname + "|" + p.ext;
}

void expectEmpty(rpPathname& p)
{
    EXPECT_STREQ(p.path, "");
    EXPECT_EQ(parts(p), "||||");
    EXPECT_STREQ(p.filePos, "");
}
}  // namespace

TEST(PathnameTest, SplitsAbsolutePaths)
{
    struct Case {
        std::string src;
        std::string parts;
        std::string filePos;
        std::string path;
    } cases[] = {
        {"D:\\dir\\file.txt", "|D:|\\dir\\|file|txt", "file.txt", "D:\\dir\\file.txt"},
        {"\\\\host\\share\\a.b.txt", "\\\\host||\\share\\|a.b|txt", "a.b.txt", "\\\\host\\share\\a.b.txt"},
        {"D:\\dir\\.profile", "|D:|\\dir\\|.profile|", ".profile", "D:\\dir\\.profile"},
        {"D:\\dir\\sub\\", "|D:|\\dir\\sub\\||", "", "D:\\dir\\sub\\"},
        {"D:\\noext", "|D:|\\|noext|", "noext", "D:\\noext"},
        {"d:\\dir\\file.txt", "|d:|\\dir\\|file|txt", "file.txt", "d:\\dir\\file.txt"},
        {std::string("D:\\") + Hyo + "\\" + So + ".txt", std::string("|D:|\\") + Hyo + "\\|" + So + "|txt",
         std::string(So) + ".txt", std::string("D:\\") + Hyo + "\\" + So + ".txt"},
    };
    for (const Case& c : cases) {
        rpPathname p(c.src.c_str());
        EXPECT_EQ(p.lastError, 0) << c.src;
        EXPECT_EQ(parts(p), c.parts) << c.src;
        EXPECT_EQ(std::string(p.filePos), c.filePos) << c.src;
        EXPECT_EQ(std::string(p.path), c.path) << c.src;
        EXPECT_STREQ(p.name(), p.fname);
    }
}

TEST(PathnameTest, FilePosAndGetFilePos)
{
    rpPathname p("D:\\dir\\file.txt");
    char head[300];
    EXPECT_STREQ(p.getFilePos(head), "D:\\dir\\");
    EXPECT_EQ(p.filePos, p.path + 7);

    rpPathname empty;
    EXPECT_STREQ(empty.getFilePos(head), "");
    expectEmpty(empty);
}

TEST(PathnameTest, UncWithoutShareSeparatorIsRefused)
{
    testsupport::clearDbout();
    rpPathname p("\\\\host");
    EXPECT_EQ(p.lastError, ERROR_INVALID_NAME);
    expectEmpty(p);
    ASSERT_FALSE(testsupport::dboutLog().empty());
    EXPECT_EQ(testsupport::dboutLog().back(), "<<rpPathname::store 無効な名前>>\n");

    // The host's last character ends in 0x5C: it is not the separator.
    EXPECT_EQ(p.storeName((std::string("\\\\ho") + Hyo).c_str()), ERROR_INVALID_NAME);
    EXPECT_EQ(p.storeName((std::string("\\\\ho") + Hyo + "\\s\\f.c").c_str()), 0);
    EXPECT_EQ(std::string(p.server), std::string("\\\\ho") + Hyo);
}

TEST(PathnameTest, RelativePathsUseTheDrivesCurrentDirectory)
{
    TempDir temp;
    std::string hyoDir = temp.file(Hyo);
    ASSERT_TRUE(CreateDirectoryA(hyoDir.c_str(), nullptr));
    std::string drive = temp.path().substr(0, 2);
    std::string rest = temp.path().substr(2);

    {
        CurrentDir cd(temp.path());
        rpPathname p("file.txt");
        EXPECT_EQ(std::string(p.path), temp.path() + "\\file.txt");
        EXPECT_EQ(std::string(p.dir), rest + "\\");
        EXPECT_EQ(std::string(p.drive), drive);

        p.storeName("..\\x.txt");
        EXPECT_EQ(std::string(p.path), temp.path() + "\\..\\x.txt");

        p.storeName("sub\\y.c");
        EXPECT_EQ(std::string(p.path), temp.path() + "\\sub\\y.c");

        // Only a backslash marks a directory absolute.
        p.storeName("/fw/z.c");
        EXPECT_EQ(std::string(p.dir), rest + "\\/fw/\\");

        // A lower-case drive letter still finds its drive's current directory.
        std::string lower = drive;
        lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
        EXPECT_EQ(p.storeName((lower + "file.txt").c_str()), 0);
        EXPECT_EQ(std::string(p.path), temp.path() + "\\file.txt");
    }
    {
        // The current directory ends in a trail byte 0x5C, not in a separator.
        CurrentDir cd(hyoDir);
        rpPathname p("file.txt");
        EXPECT_EQ(std::string(p.path), hyoDir + "\\file.txt");
    }
    {
        CurrentDir cd(drive + "\\");
        rpPathname p("file.txt");
        EXPECT_EQ(std::string(p.path), drive + "\\file.txt");
    }
}

TEST(PathnameTest, TheLimitIs260Bytes)
{
    // "D:\" + 200 + "\" + 50 + ".txt" = 3 + 200 + 1 + 50 + 4 = 258; pad the name to 260.
    std::string src = "D:\\" + std::string(200, 'd') + "\\" + std::string(52, 'n') + ".txt";
    ASSERT_EQ(src.size(), 260u);
    rpPathname p(src.c_str());
    EXPECT_EQ(p.lastError, 0);
    EXPECT_EQ(std::string(p.path), src);
    EXPECT_EQ(std::string(p.fname), std::string(52, 'n'));

    std::string over = src + "x";
    EXPECT_EQ(p.storeName(over.c_str()), ERROR_INVALID_NAME);
    expectEmpty(p);

    // The extension's dot counts: 2 + 248 + 8 + 1 + 2 = 261.
    EXPECT_EQ(p.make(nullptr, "D:", std::string(248, 'd').c_str(), "12345678", "xy"), ERROR_INVALID_NAME);
    expectEmpty(p);
    EXPECT_EQ(p.make(nullptr, "D:", std::string(247, 'd').c_str(), "12345678", "xy"), 0);
}

TEST(PathnameTest, AcceptedPathsAreKeptByteForByte)
{
    rpPathname p;
    const std::string host = std::string("\\\\h") + Kana;  // ends in a single high byte
    // A directory, name or extension of 256 bytes or more within the 260-byte limit.
    for (const std::string& src : {"D:\\" + std::string(254, 'd') + "\\x",
                                   "D:\\" + std::string(257, 'n'),
                                   "D:\\n." + std::string(255, 'e'), host + "\\share\\f.txt"}) {
        EXPECT_EQ(p.storeName(src.c_str()), 0);
        EXPECT_EQ(std::string(p.path), src);
    }
    // The pathname's own fields as arguments.
    EXPECT_EQ(p.make(p.server, p.drive, p.dir, p.fname, "bak"), 0);
    EXPECT_EQ(p.storeName(p.path), 0);
    EXPECT_EQ(std::string(p.path), host + "\\share\\f.bak");
}

TEST(PathnameTest, RelativePathTooLongOnceMadeAbsoluteIsRefused)
{
    TempDir temp;
    CurrentDir cd(temp.path());
    std::string src = std::string(200, 'd') + "\\" + std::string(55, 'n') + ".txt";
    ASSERT_LE(src.size(), 260u);
    rpPathname p(src.c_str());
    EXPECT_EQ(p.lastError, ERROR_INVALID_NAME);
    expectEmpty(p);
}

TEST(PathnameTest, MakeBuildsFromParts)
{
    rpPathname p;
    EXPECT_EQ(p.make("\\\\srv\\", nullptr, "\\share", "f", "exe"), 0);
    EXPECT_STREQ(p.path, "\\\\srv\\share\\f.exe");
    EXPECT_EQ(parts(p), "\\\\srv||\\share\\|f|exe");

    // A name-less extension of maximal length does not overflow the part store.
    std::string ext(259, 'e');
    EXPECT_EQ(p.make(nullptr, nullptr, nullptr, nullptr, ext.c_str()), 0);
    EXPECT_EQ(std::string(p.fname), "." + ext);
    EXPECT_STREQ(p.ext, "");
}

TEST(PathnameTest, ExecutableExtensions)
{
    struct Case {
        const char* src;
        bool executable;
    } cases[] = {
        {"C:\\a.EXE", true}, {"C:\\a.Com", true}, {"C:\\a.bat", true},
        {"C:\\a.cmd", false}, {"C:\\a.exe ", false}, {"C:\\exe", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rpPathname(c.src).isExecutable(), c.executable) << c.src;
}

TEST(PathnameTest, ExistenceRemoveAndRename)
{
    TempDir temp;
    std::string file = temp.writeFile(std::string(So) + ".txt", "x");
    EXPECT_TRUE(rpPathname::IsExist(file.c_str()));
    EXPECT_TRUE(rpPathname::IsExist(temp.file("*.txt").c_str()));
    EXPECT_FALSE(rpPathname::IsExist(temp.file("*.dat").c_str()));
    EXPECT_FALSE(rpPathname::IsExist(""));
    EXPECT_FALSE(rpPathname::IsExist(nullptr));

    EXPECT_EQ(rpPathname::Remove(temp.file("missing.txt").c_str()), 0);

    rpPathname p(file.c_str());
    EXPECT_TRUE(p.isArchive() || p.isNormal());
    std::string renamed = temp.file("renamed.txt");
    EXPECT_EQ(p.rename(renamed.c_str(), 0), 0);
    EXPECT_FALSE(p.statValid);
    EXPECT_EQ(std::string(p.path), file);
    EXPECT_FALSE(p.isArchive() || p.isNormal());
    EXPECT_EQ(p.lastError, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(rpPathname::IsExist(renamed.c_str()));

    // A rename onto an existing file without MOVEFILE_REPLACE_EXISTING fails with the system code.
    temp.writeFile("other.txt", "o");
    EXPECT_EQ(rpPathname::Rename(renamed.c_str(), temp.file("other.txt").c_str(), 0), ERROR_ALREADY_EXISTS);

    rpPathname q(renamed.c_str());
    EXPECT_EQ(q.remove(), 0);
    EXPECT_FALSE(rpPathname::IsExist(renamed.c_str()));
}

TEST(PathnameTest, AttributesAreReadOnceAndCached)
{
    TempDir temp;
    std::string file = temp.writeFile("ro.txt", "x");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    rpPathname p(file.c_str());
    WIN32_FIND_DATAA data;
    EXPECT_EQ(p.getStatus(&data), 0);
    EXPECT_STREQ(data.cFileName, "ro.txt");
    EXPECT_TRUE(p.isReadOnly());
    EXPECT_TRUE(p.isHidden());
    EXPECT_FALSE(p.isDirectory());
    EXPECT_FALSE(p.isSystem());

    // Answers come from the cache until the status is dropped.
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(p.isReadOnly());
    EXPECT_EQ(p.getStatus(nullptr), 0);
    EXPECT_FALSE(p.isReadOnly());

    rpPathname d(temp.path().c_str());
    EXPECT_TRUE(d.isDirectory());

    rpPathname missing(temp.file("none.txt").c_str());
    EXPECT_EQ(missing.getStatus(nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.isDirectory());
    EXPECT_EQ(missing.setupDirectory(), 1);
}
