// The list's record of probed files and the reports made from it.
#include "listReport.h"

#include "outputChannel.h"
#include "probe.h"
#include "rpStrings.h"
#include "textCodec.h"

#include <map>
#include <utility>

namespace {

std::string countLine(const char* label, size_t count)
{
    char line[ProbeTextSize];
    formatBounded(line, sizeof line, "  %s= %u", label, static_cast<unsigned>(count));
    return line;
}

// UTF-16 text as UTF-8 that HTML can carry as it is: markup characters become references,
// control characters (which a document may not contain) become U+FFFD.
std::string htmlText(std::wstring wide)
{
    if (wide.empty())
        return std::string();
    for (wchar_t& c : wide) {
        if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || (c >= 0x7F && c <= 0x9F))
            c = 0xFFFD;
    }
    std::string utf8 = fromWide(wide, CP_UTF8);
    std::string escaped;
    escaped.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

// The same for Shift-JIS text.
std::string htmlText(const std::string& sjis)
{
    return htmlText(toWide(sjis, 932));
}

std::string hex8(DWORD value)
{
    char text[16];
    formatBounded(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

// A line of the block without its leading blanks.
std::string trimmed(const std::string& line)
{
    size_t start = line.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : line.substr(start);
}

// "  ID重複  AID  PID (N件): a.dll, b.dll" for the files that report one identifier pair: as
// many whole names as fit in a list line, then how many more ("ほか N 件"); when not even the
// first name fits, none.
std::string duplicateLine(DWORD aid, DWORD pid, const std::vector<ListedFile>& files, const std::vector<size_t>& holders)
{
    char head[ProbeTextSize];
    formatBounded(head, sizeof head, "  ID重複  %08x  %08x (%u件)", static_cast<unsigned>(aid), static_cast<unsigned>(pid),
                  static_cast<unsigned>(holders.size()));
    auto more = [](size_t count) { return count ? ", ほか " + std::to_string(count) + " 件" : std::string(); };
    std::string line = head;
    size_t named = 0;
    for (; named < holders.size(); ++named) {
        std::string name = (named ? ", " : ": ") + files[holders[named]].shown;
        if (line.size() + name.size() + more(holders.size() - named - 1).size() > ProbeTextSize - 1)
            break;
        line += name;
    }
    if (named > 0)
        line += more(holders.size() - named);
    return line;
}

// "  LABEL: NAME (WHAT)" for a file of a folder's summary. A name too long for the line is cut
// at a whole character so that what happened to the file is never lost.
std::string failureLine(const char* label, const std::string& name, const std::string& what)
{
    const std::string head = std::string("  ") + label + ": ";
    const std::string tail = " (" + what + ")";
    std::string line = head;
    const int room = ProbeTextSize - static_cast<int>(head.size() + tail.size());
    if (room > 1) {
        std::vector<char> cut(static_cast<size_t>(room), '\0');
        rpStrncpy(cut.data(), name.c_str(), room);
        line += cut.data();
    }
    line += tail;
    if (line.size() > static_cast<size_t>(ProbeTextSize - 1)) {
        char bounded[ProbeTextSize];
        rpStrncpy(bounded, line.c_str(), sizeof bounded);
        line = bounded;
    }
    return line;
}

// What a file of a summary's failure lines shows of its failure: the code of a failed load, or
// the line that ended an abnormal probe.
std::string failureOf(const ListedFile& file)
{
    if (file.failedToLoad()) {
        DWORD code = file.outcome == ProbeOutcome::Probed ? static_cast<DWORD>(file.result.loadError)
                     : file.outcome == ProbeOutcome::NoExecutable ? static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)
                                                                   : file.code;
        return std::to_string(code);
    }
    return file.failure.empty() ? std::string() : trimmed(file.failure.front());
}

}  // namespace

ListedFile listedFile(const BatchFile& file, const BatchEvent& block)
{
    ListedFile entry;
    entry.shown = file.shown;
    entry.path = file.dllName;
    entry.widePath = file.path;
    entry.outcome = block.outcome;
    entry.code = block.code;
    entry.hasResult = block.hasResult;
    entry.result = block.result;
    entry.failure = block.failure;
    return entry;
}

bool ListedFile::failedToLoad() const
{
    return outcome == ProbeOutcome::NotProbed || outcome == ProbeOutcome::NoExecutable ||
           (outcome == ProbeOutcome::Probed && hasResult && result.loadError != 0);
}

bool ListedFile::endedAbnormally() const
{
    return outcome == ProbeOutcome::Faulted || outcome == ProbeOutcome::Exited || outcome == ProbeOutcome::Hung ||
           outcome == ProbeOutcome::NotStarted || outcome == ProbeOutcome::ProtocolError;
}

bool ListedFile::answered() const
{
    const int all = ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType;
    return outcome == ProbeOutcome::Probed && hasResult && result.loadError == 0 && (result.answers & all) == all &&
           result.ptype >= 1 && result.ptype <= 7;
}

std::vector<std::string> folderSummary(const BatchFolder& folder, const std::vector<ListedFile>& files)
{
    std::vector<std::string> lines;
    char line[ProbeTextSize];
    lines.push_back("");
    formatBounded(line, sizeof line, "フォルダ  %s", folder.shown.c_str());
    lines.push_back(line);
    lines.push_back(countLine("ファイル数", files.size()));

    size_t perType[8] = {};
    size_t unknownType = 0, failedLoads = 0, abnormal = 0, stopped = 0;
    // Files by identifier pair, pairs in the order of their first file.
    std::map<std::pair<DWORD, DWORD>, std::vector<size_t>> byIds;
    std::vector<std::pair<DWORD, DWORD>> pairs;
    for (size_t i = 0; i < files.size(); ++i) {
        const ListedFile& file = files[i];
        const ProbeResult& result = file.result;
        if (file.hasResult && (result.answers & ProbeAnsweredType)) {
            if (result.ptype >= 1 && result.ptype <= 7)
                ++perType[result.ptype];
            else
                ++unknownType;
        }
        if (file.hasResult && (result.answers & ProbeAnsweredIds)) {
            auto ids = std::make_pair(result.aid, result.pid);
            std::vector<size_t>& holders = byIds[ids];
            if (holders.empty())
                pairs.push_back(ids);
            holders.push_back(i);
        }
        if (file.failedToLoad())
            ++failedLoads;
        else if (file.endedAbnormally())
            ++abnormal;
        else if (file.outcome == ProbeOutcome::Stopped)
            ++stopped;
    }
    for (int type = 1; type <= 7; ++type) {
        if (perType[type])
            lines.push_back(countLine(typeName[type], perType[type]));
    }
    if (unknownType)
        lines.push_back(countLine("不明なタイプ", unknownType));
    lines.push_back(countLine("読み込みエラー", failedLoads));
    lines.push_back(countLine("異常終了", abnormal));
    if (stopped)
        lines.push_back(countLine("中止", stopped));
    // The files of a folder that could not be searched are missing from the counts above.
    if (!folder.unreadable.empty()) {
        lines.push_back(countLine("読めないフォルダ", folder.unreadable.size()));
        for (const FolderError& unreadable : folder.unreadable) {
            formatBounded(line, sizeof line, "  読めないフォルダ: %s (%lu)", unreadable.shown.c_str(),
                          static_cast<unsigned long>(unreadable.code));
            lines.push_back(line);
        }
    }
    // Which files those counts are, by name.
    for (const ListedFile& file : files) {
        if (file.failedToLoad())
            lines.push_back(failureLine("読み込みエラー", file.shown, failureOf(file)));
        else if (file.endedAbnormally())
            lines.push_back(failureLine("異常終了", file.shown, failureOf(file)));
    }
    // The host loads only one plug-in of an identifier pair: every pair held by more than one
    // file is named with its files.
    for (const auto& ids : pairs) {
        const std::vector<size_t>& holders = byIds[ids];
        if (holders.size() >= 2)
            lines.push_back(duplicateLine(ids.first, ids.second, files, holders));
    }
    for (std::string& text : lines)
        replaceControlCharacters(&text[0]);
    return lines;
}

std::string htmlReport(const std::string& title, const std::vector<ListedFile>& files,
                       const std::vector<std::vector<std::string>>& summaries)
{
    std::string html =
        "<!DOCTYPE html>\r\n<html lang=\"ja\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>" + htmlText(title) +
        "</title>\r\n<style>\r\ntable { border-collapse: collapse; }\r\n"
        "th, td { border: 1px solid #999; padding: 2px 6px; text-align: left; vertical-align: top; }\r\n"
        "</style>\r\n</head>\r\n<body>\r\n<table>\r\n<thead>\r\n<tr>";
    for (const char* heading : {"ファイル", "製品ID", "プラグインID", "名称", "タイプ", "文字列・ファイルタイプ", "失敗",
                                "バージョン", "会社", "サイズ", "更新日時", "SHA-256"})
        html += "<th>" + htmlText(heading) + "</th>";
    html += "</tr>\r\n</thead>\r\n<tbody>\r\n";
    for (const ListedFile& file : files) {
        const ProbeResult& result = file.result;
        const int answers = file.hasResult ? result.answers : 0;
        std::string type;
        if (answers & ProbeAnsweredType) {
            char text[32];
            formatBounded(text, sizeof text, "%s", result.ptype >= 1 && result.ptype <= 7 ? typeName[result.ptype] : "");
            if (!text[0])
                formatBounded(text, sizeof text, "不明なタイプ %d", result.ptype);
            type = text;
        }
        std::string strings;
        for (size_t i = 0; file.hasResult && i < result.strings.size(); ++i) {
            std::string item = htmlText(result.strings[i]);
            if (i < result.extensions.size() && !result.extensions[i].empty())
                item += " (" + htmlText(result.extensions[i]) + ")";
            strings += (i ? "<br>" : "") + item;
        }
        std::string failure;
        for (const std::string& line : file.failure)
            failure += (failure.empty() ? "" : "<br>") + htmlText(trimmed(line));
        const FileFacts& facts = file.facts;
        html += "<tr><td>" + htmlText(file.shown) + "</td><td>" + (answers & ProbeAnsweredIds ? hex8(result.aid) : "") +
                "</td><td>" + (answers & ProbeAnsweredIds ? hex8(result.pid) : "") + "</td><td>" +
                (answers & ProbeAnsweredName ? htmlText(result.pname) : "") + "</td><td>" + htmlText(type) + "</td><td>" +
                strings + "</td><td>" + failure + "</td><td>" + htmlText(facts.fileVersion) + "</td><td>" +
                htmlText(facts.company) + "</td><td>" + (facts.found ? groupedNumber(facts.size) : "") +
                "</td><td>" + (facts.found ? localTimestamp(facts.modified) : "") + "</td><td>" +
                sha256AsFound(file.widePath, facts) + "</td></tr>\r\n";
    }
    html += "</tbody>\r\n</table>\r\n";
    // Each folder's summary: its "フォルダ  PATH" line as a heading, the lines after it as a list.
    for (const std::vector<std::string>& summary : summaries) {
        bool headed = false;
        for (const std::string& line : summary) {
            if (line.empty())
                continue;
            if (!headed) {
                html += "<h2>" + htmlText(line) + "</h2>\r\n<ul>\r\n";
                headed = true;
            } else {
                html += "<li>" + htmlText(trimmed(line)) + "</li>\r\n";
            }
        }
        if (headed)
            html += "</ul>\r\n";
    }
    html += "</body>\r\n</html>\r\n";
    return html;
}

DWORD saveWhole(const std::string& path, const std::string& bytes)
{
    OutputChannel file;
    DWORD error = file.openFile(toWide(path));
    if (error == 0 && !file.write(bytes, CP_ACP))
        error = file.error();
    return error != 0 ? error : file.commit();
}
