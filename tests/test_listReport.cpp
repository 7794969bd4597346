// The reports made from the list's record: the summary of a folder batch and the HTML document,
// for texts that plug-ins and file names may really hold.
#include "listReport.h"
#include "pluginapi.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

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

TEST(FolderSummary, CountsTypesAndEndingsAndNamesEveryFileOfAnIdentifierPairHeldTwice)
{
    std::vector<ListedFile> files = {plugin("a.dll", 1, 7, PLUGIN_TYPE_COMMAND), plugin("b.dll", 2, 7, PLUGIN_TYPE_COMMAND),
                                     plugin("sub\\a.dll", 1, 7, PLUGIN_TYPE_COMMAND), plugin("odd.dll", 3, 1, 9),
                                     plugin("imp.dll", 2, 7, PLUGIN_TYPE_IMPORT)};
    files.push_back(plugin("old\\a.dll", 1, 7, PLUGIN_TYPE_COMMAND));
    files.back().outcome = ProbeOutcome::Faulted;  // it answered, then faulted
    ListedFile failed;
    failed.shown = "bad.dll";
    failed.hasResult = true;
    failed.result.loadError = 126;
    files.push_back(failed);
    ListedFile stopped;
    stopped.shown = "slow.dll";
    stopped.outcome = ProbeOutcome::Stopped;
    files.push_back(stopped);

    EXPECT_EQ(folderSummary("C:\\プラグイン", files),
              (Lines{"", "フォルダ  C:\\プラグイン", "  ファイル数= 8", "  Import= 1", "  Command= 4", "  不明なタイプ= 1",
                     "  読み込みエラー= 1", "  異常終了= 1", "  中止= 1", "  ID重複  00000001  00000007: a.dll, sub\\a.dll, old\\a.dll",
                     "  ID重複  00000002  00000007: b.dll, imp.dll"}));

    // Many long names: the line stops at 299 bytes, at a whole character.
    std::vector<ListedFile> many;
    for (int i = 0; i < 20; ++i)
        many.push_back(plugin("フォルダ\\表示ソフト" + std::to_string(i) + ".dll", 5, 5, PLUGIN_TYPE_SELECT));
    std::string line = folderSummary("x", many).back();
    EXPECT_EQ(line.rfind("  ID重複  00000005  00000005: フォルダ\\表示ソフト0.dll, ", 0), 0u);
    EXPECT_GE(line.size(), 298u);
    EXPECT_LE(line.size(), 299u);
    EXPECT_EQ(std::string(line.c_str()).size(), line.size());
    size_t i = 0;
    while (i < line.size())
        i += static_cast<unsigned char>(line[i]) >= 0x80 ? 2 : 1;
    EXPECT_EQ(i, line.size()) << "a double-byte character was cut";
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

    const std::string html = htmlReport("題<名>", {file, failed});
    auto has = [&](const std::string& text) { return html.find(text) != std::string::npos; };
    EXPECT_TRUE(has(utf8("<title>題&lt;名&gt;</title>")));
    EXPECT_TRUE(has(utf8("<tr><td>&lt;a&amp;b&gt;.dll</td><td>abcdef01</td><td>00000002</td>"
                         "<td>&quot;名前&quot; &amp; &#39;quote&#39;</td><td>Import</td>"
                         "<td>&lt;script&gt;x&lt;/script&gt; (*.a;*.b)<br>bell") +
                    "\xEF\xBF\xBD\xEF\xBF\xBD</td><td></td></tr>"));  // U+FFFD for the bell and for 0x80
    EXPECT_TRUE(has(utf8("<tr><td>gone.dll</td><td></td><td></td><td></td><td></td><td></td>"
                         "<td>load error 126<br>見つからないDLL: &lt;x&gt;.dll</td></tr>")));
    for (char c : html)
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\r' || c == '\n') << static_cast<int>(c);
}

}  // namespace
