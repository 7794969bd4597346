// The HTML report made from the list's record, for texts that plug-ins and file names may
// really hold. (The folder summary is checked end to end.)
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
