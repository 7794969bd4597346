// The HTML report made from the list's record, and the list lines made from names, for texts
// that plug-ins and file names may really hold. (The folder summary's counts are checked end to
// end.)
#include "listReport.h"
#include "pluginapi.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Shift-JIS (the literals' encoding) as UTF-8.
std::string utf8(const std::string& sjis)
{
    wchar_t wide[1000] = {};
    MultiByteToWideChar(932, 0, sjis.c_str(), -1, wide, 1000);
    char out[3000] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

ListedFile plugin(const std::string& shown, DWORD aid, DWORD pid, int type)
{
    ListedFile file;
    file.shown = shown;
    file.hasResult = true;
    file.result.aid = aid;
    file.result.pid = pid;
    file.result.ptype = type;
    file.result.answers = ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType;
    return file;
}

TEST(HtmlReport, EscapesEveryTextAndCarriesNoControlCharacters)
{
    ListedFile file = plugin("<a&b>.dll", 0xABCDEF01, 2, PLUGIN_TYPE_IMPORT);
    file.result.pname = "\"名前\" & 'quote'";
    file.result.strings = {"<script>x</script>", std::string("bell\x07") + "\x80"};
    file.result.extensions = {"*.a;*.b", ""};
    ListedFile failed;
    failed.shown = "gone.dll";
    failed.failure = {"load error 126", "  見つからないDLL: <x>.dll"};

    file.facts.found = true;
    file.facts.fileVersion = "1.2.3.4";
    file.facts.company = L"<\u00A9 \uD55C>";  // outside code page 932, kept whole
    file.facts.size = 1234567;
    const std::vector<std::string> summary = {"", "フォルダ  C:\\<p>", "  ファイル数= 2", "  読み込みエラー: gone.dll (126)"};

    const std::string html = htmlReport("題<名>", {file, failed}, {summary});
    auto has = [&](const std::string& text) { return html.find(text) != std::string::npos; };
    EXPECT_TRUE(has(utf8("<title>題&lt;名&gt;</title>")));
    // The file's facts follow its failure cell; no hash for a file that was not found as it is.
    EXPECT_TRUE(has(utf8("<tr><td>&lt;a&amp;b&gt;.dll</td><td>abcdef01</td><td>00000002</td>"
                         "<td>&quot;名前&quot; &amp; &#39;quote&#39;</td><td>Import</td>"
                         "<td>&lt;script&gt;x&lt;/script&gt; (*.a;*.b)<br>bell") +
                    "\xEF\xBF\xBD\xEF\xBF\xBD</td><td></td>"  // U+FFFD for the bell and for 0x80
                    "<td>1.2.3.4</td><td>&lt;\xC2\xA9 \xED\x95\x9C&gt;</td><td>1,234,567</td><td>"));
    EXPECT_TRUE(has(utf8("<tr><td>gone.dll</td><td></td><td></td><td></td><td></td><td></td>"
                         "<td>load error 126<br>見つからないDLL: &lt;x&gt;.dll</td><td></td><td></td><td></td><td></td><td></td></tr>")));
    // A folder's summary is part of the document: its folder as a heading, its lines listed.
    EXPECT_TRUE(has(utf8("</table>\r\n<h2>フォルダ  C:\\&lt;p&gt;</h2>\r\n<ul>\r\n<li>ファイル数= 2</li>\r\n"
                         "<li>読み込みエラー: gone.dll (126)</li>\r\n</ul>\r\n</body>")));
    for (char c : html)
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n') << static_cast<int>(c);
}

// Collects lines as a list would.
class LineCollector : public ProbeSink {
public:
    void addLine(const char* line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// Shown names hold what file systems and plug-ins allow: a control character never breaks a
// list line. An identifier pair held by more files than a line can name gets their count, as
// many whole names as fit and how many more, never a name cut in the middle.
TEST(ListLines, ShownNamesStayOneLineAndDuplicatesAreNamedWhole)
{
    LineCollector header;
    probeHeader(header, "a\nb\x01.dll");
    EXPECT_EQ(header.lines, (std::vector<std::string>{"", "プラグイン  a?b?.dll"}));

    BatchFolder folder;
    folder.shown = "C:\\plug\tins";
    folder.unreadable = {{L"C:\\plug\tins\\x\ny", "x\ny", ERROR_ACCESS_DENIED, 0}};
    std::vector<ListedFile> files = {plugin("a\r.dll", 1, 2, PLUGIN_TYPE_IMPORT), plugin("b.dll", 1, 2, PLUGIN_TYPE_IMPORT)};
    std::vector<std::string> names;  // 40 files of one pair, with Japanese names
    for (int i = 0; i < 40; ++i) {
        names.push_back("サブ\\プラグイン" + std::to_string(10 + i) + ".dll");
        files.push_back(plugin(names.back(), 3, 4, PLUGIN_TYPE_COMMAND));
    }
    const std::string longName(280, 'n');  // alone longer than what a line has room for
    files.push_back(plugin(longName, 5, 6, PLUGIN_TYPE_COMMAND));
    files.push_back(plugin("short.dll", 5, 6, PLUGIN_TYPE_COMMAND));
    const std::vector<std::string> summary = folderSummary(folder, files);
    ASSERT_EQ(summary.size(), 12u);
    EXPECT_EQ(summary[1], "フォルダ  C:\\plug?ins");
    EXPECT_EQ(std::vector<std::string>(summary.begin() + 6, summary.begin() + 9),
              (std::vector<std::string>{"  異常終了= 0", "  読めないフォルダ= 1", "  読めないフォルダ: x?y (5)"}));
    EXPECT_EQ(summary[9], "  ID重複  00000001  00000002 (2件): a?.dll, b.dll");
    EXPECT_EQ(summary[11], "  ID重複  00000005  00000006 (2件)");

    // The first names of the 40, then how many more; one more name would not have fitted.
    const std::string& many = summary[10];
    const std::string head = "  ID重複  00000003  00000004 (40件)";
    auto shortened = [&](size_t named) {
        std::string line = head;
        for (size_t i = 0; i < named; ++i)
            line += (i ? ", " : ": ") + names[i];
        return line + ", ほか " + std::to_string(names.size() - named) + " 件";
    };
    size_t named = 0;
    while (named < names.size() && shortened(named) != many)
        ++named;
    EXPECT_GT(named, 5u) << many;
    EXPECT_LT(named, names.size()) << many;
    EXPECT_LE(many.size(), 299u);
    EXPECT_GT(shortened(named + 1).size(), 299u);
    for (const std::string& line : summary) {
        for (char c : line)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << line;
    }

    // The files that failed are named after the counts with what happened to them; a name too
    // long for the line is cut at a whole character so that what happened is never lost.
    ListedFile notLoaded;
    notLoaded.shown = "sub\\gone.dll";
    notLoaded.hasResult = true;
    notLoaded.result.loadError = 126;
    notLoaded.failure = {"load error 126", "  見つからないDLL: x.dll"};
    ListedFile faulted;
    for (int i = 0; i < 150; ++i)
        faulted.shown += "あ";
    faulted.outcome = ProbeOutcome::Faulted;
    faulted.failure = {"  例外が発生しました c0000005"};
    const std::vector<std::string> failures = folderSummary(BatchFolder(), {notLoaded, plugin("ok.dll", 1, 2, 1), faulted});
    ASSERT_EQ(failures.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(failures.begin() + 4, failures.begin() + 7),
              (std::vector<std::string>{"  読み込みエラー= 1", "  異常終了= 1", "  読み込みエラー: sub\\gone.dll (126)"}));
    const std::string label = "  異常終了: ", what = " (例外が発生しました c0000005)";
    const std::string& cut = failures[7];
    ASSERT_LE(cut.size(), 299u);
    EXPECT_EQ(cut.substr(0, label.size()), label);
    ASSERT_GT(cut.size(), label.size() + what.size());
    EXPECT_EQ(cut.substr(cut.size() - what.size()), what);
    EXPECT_EQ(faulted.shown.rfind(cut.substr(label.size(), cut.size() - label.size() - what.size()), 0), 0u);
    EXPECT_EQ((cut.size() - label.size() - what.size()) % 2, 0u);  // whole two-byte characters
}

}  // namespace
