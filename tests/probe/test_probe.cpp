// The plug-in probe against real fixture DLLs: the lines it lists, the record it leaves, and how
// it copes with files that are not plug-ins or that answer with too much or nothing.
#include "probe.h"
#include "rpStrings.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// True when the text is a whole sequence of Shift-JIS characters: no lead byte without trail.
bool wholeCharacters(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            if (i + 1 >= text.size())
                return false;
            ++i;
        }
    }
    return true;
}

// Collects the probe's lines in order, as the list (or a worker's pipe) receives them.
class LineCollector : public ProbeSink {
public:
    void addLine(const char* line) override { lines.push_back(line); }
    Lines lines;
};

class ProbeTest : public testing::Test {
protected:
    // Probes one file as a worker does and returns the lines this probe produced.
    Lines probe(const std::string& path, const std::string& name)
    {
        rpStrncpy(dllName, path.c_str(), sizeof dllName);
        rpStrncpy(fn, name.c_str(), sizeof fn);
        LineCollector list;
        probeDll(list);
        return list.lines;
    }
    Lines probeFixture(const std::string& name) { return probe(testsupport::fixturePath(name), name); }

    std::vector<std::string> record()
    {
        return std::vector<std::string>(menu, menu + nmenu);
    }
};

TEST_F(ProbeTest, CommandPluginListsItsThreeMenuStringsAndRecordsThem)
{
    Lines lines = probeFixture("plug_command.dll");
    Lines expected = {
        "",
        "プラグイン  plug_command.dll",
        "  プラグインID  12ab34cd  00000007",
        "  名称= [テストコマンド]",
        "  タイプ=  Command",
        "  メニュー[0]= [表示(&V)]",
        "  メニュー[1]= [Second item]",
        "  メニュー[2]= [三番目]",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(aid, 0x12AB34CDu);
    EXPECT_EQ(pid, 7u);
    EXPECT_STREQ(pname, "テストコマンド");
    EXPECT_EQ(ptype, 7);
    EXPECT_EQ(record(), (std::vector<std::string>{"表示(&V)", "Second item", "三番目"}));
    // The strings lie one after the other in the pool, and pm is just past the last.
    EXPECT_EQ(menu[0], menuBuf);
    EXPECT_EQ(pm, menu[2] + std::strlen(menu[2]) + 1);
    // The library was released again.
    EXPECT_EQ(GetModuleHandleA(testsupport::fixturePath("plug_command.dll").c_str()), nullptr);
}

TEST_F(ProbeTest, ImportPluginListsFileTypesWithTheirExtensionsAndRecordsOnlyTheTypes)
{
    Lines lines = probeFixture("plug_import.dll");
    Lines expected = {
        "",
        "プラグイン  plug_import.dll",
        "  プラグインID  fedcba98  00000001",
        "  名称= [画像読み込み]",
        "  タイプ=  Import",
        "  ファイルタイプ[0]= [ビットマップ画像] [*.bmp;*.dib]",
        "  ファイルタイプ[1]= [Text file] [*.txt]",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(ptype, 1);
    EXPECT_EQ(record(), (std::vector<std::string>{"ビットマップ画像", "Text file"}));
    // The extensions are kept beside the strings, for the saved report.
    ASSERT_NE(menuExt[0], nullptr);
    ASSERT_NE(menuExt[1], nullptr);
    EXPECT_STREQ(menuExt[0], "*.bmp;*.dib");
    EXPECT_STREQ(menuExt[1], "*.txt");

    // A plug-in with menu strings has none, and leaves none of the earlier probe's.
    probeFixture("plug_command.dll");
    EXPECT_EQ(nmenu, 3);
    EXPECT_EQ(menuExt[0], nullptr);
    EXPECT_EQ(menuExt[1], nullptr);
}

TEST_F(ProbeTest, UnderscoreOnlyExportsAreProbedLikePlainOnes)
{
    Lines lines = probeFixture("plug_underscore.dll");
    Lines expected = {
        "",
        "プラグイン  plug_underscore.dll",
        "  プラグインID  0000abcd  00000005",
        "  名称= [Underscore]",
        "  タイプ=  Select",
        "  メニュー[0]= [選択]",
        "  メニュー[1]= [Select all]",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(nmenu, 2);
}

// Each missing answer ends the probe with the line of the failure table (or none), and the
// record keeps what the earlier probe set where this one stopped before.
TEST_F(ProbeTest, MissingEntryPointsAndUnknownTypesEndTheProbeAsTabled)
{
    probeFixture("plug_command.dll");

    Lines lines = probeFixture("plug_noid.dll");
    EXPECT_EQ(lines, (Lines{"", "プラグイン  plug_noid.dll", "プラグインIDが取得できません"}));
    EXPECT_EQ(nmenu, 0);
    EXPECT_EQ(aid, 0x12AB34CDu);  // left from the Command plug-in
    EXPECT_STREQ(pname, "テストコマンド");

    lines = probeFixture("plug_noname.dll");
    EXPECT_EQ(lines, (Lines{"", "プラグイン  plug_noname.dll", "  プラグインID  11111111  22222222",
                            "  プラグイン名称が取得できません"}));
    EXPECT_EQ(aid, 0x11111111u);
    EXPECT_EQ(pid, 0x22222222u);
    EXPECT_STREQ(pname, "テストコマンド");
    EXPECT_EQ(ptype, 7);

    lines = probeFixture("plug_notype.dll");
    EXPECT_EQ(lines, (Lines{"", "プラグイン  plug_notype.dll", "  プラグインID  33333333  44444444",
                            "  名称= [型なし]"}));
    EXPECT_STREQ(pname, "型なし");
    EXPECT_EQ(ptype, 7);
    EXPECT_EQ(nmenu, 0);

    for (int type : {0, 8}) {
        std::string name = "plug_type" + std::to_string(type) + ".dll";
        lines = probeFixture(name);
        ASSERT_EQ(lines.size(), 5u) << name;
        EXPECT_EQ(lines[4], "  不明なタイプ " + std::to_string(type));
        EXPECT_EQ(ptype, type);
        EXPECT_EQ(nmenu, 0);
    }

    lines = probeFixture("plug_noenum.dll");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], "  タイプ=  Object");
    EXPECT_EQ(nmenu, 0);

    lines = probeFixture("plug_noext.dll");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], "  タイプ=  Export");
    EXPECT_EQ(nmenu, 0);
}

TEST_F(ProbeTest, FilesThatCannotBeLoadedGiveTheirLoadErrorAndWhy)
{
    testsupport::TempDir temp;
    std::string text = temp.writeFile("readme.txt", "not a library\r\n");
    std::string folder = temp.file("plug_dir.dll");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string otherBitness = testsupport::otherBitnessBinDir() + "plug_command.dll";
    ASSERT_NE(GetFileAttributesA(otherBitness.c_str()), INVALID_FILE_ATTRIBUTES)
        << otherBitness << ": build the other preset before running the tests";

    struct Case {
        std::string path;
        Lines why;  // the lines after the file line; a single "load error " when any code will do
    } cases[] = {
        {text, {"load error 193", "  WindowsのDLLではありません"}},
        {otherBitness, {"load error 193", sizeof(void*) == 8 ? "  32ビットのDLLです (x86)" : "  64ビットのDLLです (x64)"}},
        {testsupport::fixturePath("plug_initfail.dll"), {"load error 1114", "  初期化ルーチン(DllMain)が失敗を返しました"}},
        {temp.file("missing.dll"), {"load error 126", "  見つからないDLL: missing.dll"}},
        // The library it imports is not installed; the API sets it imports are the system's.
        {testsupport::fixturePath("plug_missingdll.dll"), {"load error 126", "  見つからないDLL: gonedep.dll"}},
        // Its dependency is found (next to this test program), but that one's is not.
        {testsupport::fixturePath("plug_indirect.dll"),
         {"load error 126", "  見つからないDLL: gonedep.dll (needsgone.dll が必要とする)"}},
        {folder, {"load error "}},
    };
    probeFixture("plug_command.dll");
    for (const Case& c : cases) {
        Lines lines = probe(c.path, "x.dll");
        ASSERT_GE(lines.size(), 3u) << c.path;
        EXPECT_EQ(lines[1], "プラグイン  x.dll");
        if (c.why.size() > 1) {
            EXPECT_EQ(Lines(lines.begin() + 2, lines.end()), c.why) << c.path;
        } else {
            // A folder: the system's code, and some line that says why.
            EXPECT_EQ(lines[2].rfind("load error ", 0), 0u) << c.path;
            EXPECT_NE(lines[2], "load error 0");
            EXPECT_GE(lines.size(), 4u);
        }
        EXPECT_EQ(nmenu, 0) << "a failed load leaves no strings of the previous probe";
        EXPECT_EQ(pm, menuBuf);
    }
}

TEST_F(ProbeTest, AnEndlessEnumerationIsAskedForIndexes0To98Only)
{
    // Holding the library keeps its counter alive across the probe's load and release.
    HMODULE held = LoadLibraryA(testsupport::fixturePath("plug_endless.dll").c_str());
    ASSERT_NE(held, nullptr);
    Lines lines = probeFixture("plug_endless.dll");
    typedef int (*HighestIndex)();
    auto highest = reinterpret_cast<HighestIndex>(
        reinterpret_cast<void (*)()>(GetProcAddress(held, "PlugHighestIndex")));
    ASSERT_NE(highest, nullptr);
    EXPECT_EQ(highest(), 98);
    FreeLibrary(held);

    ASSERT_EQ(lines.size(), 5u + 99u);
    EXPECT_EQ(lines[5], "  メニュー[0]= [item 0]");
    EXPECT_EQ(lines.back(), "  メニュー[98]= [item 98]");
    EXPECT_EQ(nmenu, 99);
    EXPECT_STREQ(menu[98], "item 98");
}

TEST_F(ProbeTest, OversizedTextsAreCutAtWholeCharactersInsideTheRecord)
{
    Lines lines = probeFixture("plug_oversized.dll");
    ASSERT_EQ(lines.size(), 5u + 99u);
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 299u);
        EXPECT_TRUE(wholeCharacters(line)) << line;
    }
    // Lines whose prefix puts a lead byte at offset 298 lose that whole character.
    EXPECT_EQ(lines[15].size(), 298u);  // "  メニュー[10]= [" is 17 bytes, then "aKx" and kanji
    EXPECT_EQ(lines[5].size(), 299u);

    // The name: "ab" and 299 kanji, kept as "ab" and 148 kanji (298 bytes).
    EXPECT_EQ(std::strlen(pname), 298u);
    EXPECT_TRUE(wholeCharacters(pname));

    // The pool is filled, never overrun: every string recorded is a whole-character prefix of
    // what the plug-in said, the last one cut to the room that was left.
    ASSERT_GT(nmenu, 20);
    ASSERT_LT(nmenu, 99);
    EXPECT_LE(pm, menuBuf + MenuPoolSize);
    EXPECT_EQ(std::strlen(menu[0]), 409u);
    for (int i = 0; i < nmenu; ++i) {
        EXPECT_GE(menu[i], menuBuf);
        EXPECT_LE(menu[i] + std::strlen(menu[i]) + 1, menuBuf + MenuPoolSize);
        EXPECT_TRUE(wholeCharacters(menu[i]));
        EXPECT_EQ(menu[i][1], static_cast<char>('A' + i % 26));
    }
    EXPECT_EQ(nmenu, 25);  // 24 whole strings of 410 bytes, then 160 bytes left
    EXPECT_EQ(std::strlen(menu[nmenu - 1]), 159u);
    EXPECT_EQ(pm, menuBuf + MenuPoolSize);
}

TEST_F(ProbeTest, NullNameAndNullExtensionShowAsEmptyTexts)
{
    std::strcpy(pname, "old");
    Lines lines = probeFixture("plug_nullstr.dll");
    Lines expected = {
        "",
        "プラグイン  plug_nullstr.dll",
        "  プラグインID  00000000  00000001",
        "  名称= []",
        "  タイプ=  Import",
        "  ファイルタイプ[0]= [無名形式] []",
        "  ファイルタイプ[1]= [Second] [*.two]",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_STREQ(pname, "");
    EXPECT_EQ(record(), (std::vector<std::string>{"無名形式", "Second"}));
}

TEST(ProbeRecord, AddMenuStopsAtOneHundredStringsAndAtTheEndOfThePool)
{
    nmenu = 0;
    pm = menuBuf;
    for (int i = 0; i < MenuMax; ++i)
        ASSERT_TRUE(addMenu("x"));
    EXPECT_FALSE(addMenu("one too many"));
    EXPECT_EQ(nmenu, MenuMax);
    EXPECT_EQ(pm, menuBuf + 2 * MenuMax);

    // A null text is recorded as empty.
    nmenu = 0;
    pm = menuBuf;
    EXPECT_TRUE(addMenu(nullptr));
    EXPECT_STREQ(menu[0], "");

    // Three bytes left: "a" and a double-byte character do not both fit, "a" does.
    nmenu = 0;
    pm = menuBuf + MenuPoolSize - 3;
    EXPECT_TRUE(addMenu("a漢"));
    EXPECT_STREQ(menu[0], "a");
    EXPECT_EQ(pm, menuBuf + MenuPoolSize - 1);
    // One byte left: room for a terminator only, so nothing that has a character is recorded.
    EXPECT_FALSE(addMenu("b"));
    EXPECT_EQ(nmenu, 1);
    nmenu = 0;
    pm = menuBuf;
}

TEST(ProbeRecord, FormatBoundedCutsAtAWholeShiftJisCharacter)
{
    char buf[6];
    EXPECT_EQ(formatBounded(buf, sizeof buf, "%s", "abc漢字"), 5);  // a b c + 漢
    EXPECT_STREQ(buf, "abc漢");
    EXPECT_EQ(formatBounded(buf, sizeof buf, "%s", "ab漢字"), 4);   // 字 would need bytes 4..5
    EXPECT_STREQ(buf, "ab漢");
    EXPECT_EQ(formatBounded(buf, sizeof buf, "%d", 42), 2);
    EXPECT_STREQ(buf, "42");
}

}  // namespace
