// The modes without a window: --list (text or JSON), --help and --version.
#include "listMode.h"

#include "app_version.h"
#include "outputChannel.h"
#include "peImage.h"
#include "probe.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

using Json = nlohmann::ordered_json;

constexpr UINT ShiftJis = 932;                 // the code page of every list line
constexpr UINT ListEventMessage = WM_APP + 1;  // a BatchEvent* from the batch

// ---- Text conversions

std::string fromWide(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring toWide(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

// A plug-in's or the probe's Shift-JIS text as UTF-8.
std::string utf8FromShiftJis(const std::string& text)
{
    return fromWide(toWide(text, ShiftJis), CP_UTF8);
}

// ---- Reading a block's lines (Shift-JIS, as the probe formats them)

// Where the ASCII `pattern` last starts on a character boundary of the Shift-JIS text; npos
// when nowhere. A trail byte that looks like ASCII is never taken for it.
size_t findLastWhole(const std::string& text, const char* pattern)
{
    size_t found = std::string::npos;
    size_t length = std::char_traits<char>::length(pattern);
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, length, pattern) == 0)
            found = i;
        i += IsDBCSLeadByteEx(ShiftJis, static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
    }
    return found;
}

bool startsWith(const std::string& line, const char* prefix, std::string* rest)
{
    size_t length = std::char_traits<char>::length(prefix);
    if (line.compare(0, length, prefix) != 0)
        return false;
    *rest = line.substr(length);
    return true;
}

// The text of "[text]" after its opening bracket: without the closing one, unless the line was
// cut before it.
std::string unbracket(const std::string& text)
{
    size_t close = findLastWhole(text, "]");
    return close != std::string::npos && close + 1 == text.size() ? text.substr(0, close) : text;
}

// A collected string: a menu string, or a file type with its extensions.
struct CollectedString {
    std::string text;
    bool hasExtensions = false;
    std::string extensions;
};

// A menu line "  メニュー[%d]= [%s]" or a file-type line "  ファイルタイプ[%d]= [%s] [%s]".
bool collectedString(const std::string& line, CollectedString* entry)
{
    std::string rest;
    bool menu = startsWith(line, "  メニュー[", &rest);
    if (!menu && !startsWith(line, "  ファイルタイプ[", &rest))
        return false;
    size_t open = rest.find("]= [");
    if (open == std::string::npos)
        return false;
    entry->text = rest.substr(open + 4);
    if (menu) {
        entry->text = unbracket(entry->text);
        return true;
    }
    // "type] [extensions]": the last "] [" divides them.
    size_t divide = findLastWhole(entry->text, "] [");
    entry->hasExtensions = divide != std::string::npos;
    if (entry->hasExtensions) {
        entry->extensions = unbracket(entry->text.substr(divide + 3));
        entry->text.resize(divide);
    }
    return true;
}

// What the plug-in answered, in Shift-JIS.
struct Answers {
    bool hasIds = false;
    DWORD aid = 0;
    DWORD pid = 0;
    bool hasName = false;
    std::string name;
    bool hasType = false;
    int type = 0;
    std::vector<CollectedString> strings;
};

// The answers the block's lines show. The lines are the probe's: "  プラグインID  %08x  %08x",
// "  名称= [%s]", "  タイプ=  %s", "  不明なタイプ %d" and the collected strings' (a line is cut
// at 299 bytes).
Answers answersFromLines(const std::vector<std::string>& lines)
{
    Answers answers;
    for (const std::string& line : lines) {
        std::string rest;
        unsigned long aid = 0, pid = 0;
        if (startsWith(line, "  プラグインID  ", &rest)) {
            if (std::sscanf(rest.c_str(), "%8lx  %8lx", &aid, &pid) == 2) {
                answers.hasIds = true;
                answers.aid = static_cast<DWORD>(aid);
                answers.pid = static_cast<DWORD>(pid);
            }
        } else if (startsWith(line, "  名称= [", &rest)) {
            answers.hasName = true;
            answers.name = unbracket(rest);
        } else if (startsWith(line, "  タイプ=  ", &rest)) {
            for (int type = 1; type < 8; ++type) {
                if (rest == typeName[type]) {
                    answers.hasType = true;
                    answers.type = type;
                }
            }
        } else if (startsWith(line, "  不明なタイプ ", &rest)) {
            answers.hasType = true;
            answers.type = std::atoi(rest.c_str());
        } else {
            CollectedString entry;
            if (collectedString(line, &entry))
                answers.strings.push_back(entry);
        }
    }
    return answers;
}

// The answers of a file: the worker's record where it arrived (its texts are whole), else what
// the lines show (a worker that ended or hung sends no record, but its lines tell what the
// plug-in had answered by then). The record has no extensions: each file type takes them from
// the next file-type line that shows the same type.
Answers answersOf(const BatchEvent& event)
{
    Answers answers = answersFromLines(event.lines);
    if (!event.hasResult)
        return answers;
    const ProbeResult& result = event.result;
    answers.hasIds = (result.answers & ProbeAnsweredIds) != 0;
    answers.aid = result.aid;
    answers.pid = result.pid;
    answers.hasName = (result.answers & ProbeAnsweredName) != 0;
    answers.name = result.pname;
    answers.hasType = (result.answers & ProbeAnsweredType) != 0;
    answers.type = result.ptype;
    std::vector<CollectedString> shown;
    shown.swap(answers.strings);
    size_t next = 0;
    for (const std::string& text : result.strings) {
        CollectedString entry;
        entry.text = text;
        for (size_t line = next; line < shown.size(); ++line) {
            if (shown[line].hasExtensions && shown[line].text == text) {
                entry.hasExtensions = true;
                entry.extensions = shown[line].extensions;
                next = line + 1;
                break;
            }
        }
        answers.strings.push_back(entry);
    }
    return answers;
}

// ---- How a file's probe ended

struct Outcome {
    const char* kind = "ok";
    bool hasCode = false;
    DWORD code = 0;
    std::vector<std::string> explanation;  // Shift-JIS, without their indentation
};

// The lines after the block's failure line: the first line starting with `failure` (the
// probe's load error), or the last (the line the batch adds when a worker failed).
std::vector<std::string> linesAfter(const std::vector<std::string>& lines, const char* failure, bool last)
{
    size_t found = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, std::char_traits<char>::length(failure), failure) == 0) {
            found = i;
            if (!last)
                break;
        }
    }
    std::vector<std::string> after;
    for (size_t i = found + 1; i < lines.size(); ++i)
        after.push_back(lines[i].substr(std::min(lines[i].find_first_not_of(' '), lines[i].size())));
    return after;
}

Outcome outcomeOf(const BatchEvent& event)
{
    Outcome outcome;
    const char* failure = nullptr;  // the start of the failure line
    bool last = true;
    outcome.hasCode = true;
    outcome.code = event.code;
    switch (event.outcome) {
    case ProbeOutcome::Probed: {
        outcome.hasCode = false;
        if (fileAnswered(event))
            break;
        std::string rest;
        for (const std::string& line : event.lines) {
            if (startsWith(line, "load error ", &rest)) {
                outcome.kind = "loadError";
                outcome.hasCode = true;
                outcome.code = static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 10));
                failure = "load error ";
                last = false;
                break;
            }
        }
        if (!failure)
            outcome.kind = "incomplete";
        break;
    }
    case ProbeOutcome::NotProbed:
        outcome.kind = "loadError";
        failure = "load error ";
        last = false;
        break;
    case ProbeOutcome::NoExecutable:
        outcome.kind = "workerMissing";
        outcome.hasCode = false;
        failure = "load error ";
        last = false;
        break;
    case ProbeOutcome::Faulted:
        outcome.kind = "fault";
        failure = "  例外が発生しました ";
        break;
    case ProbeOutcome::Exited:
        outcome.kind = "exited";
        failure = "  プロセスが終了しました ";
        break;
    case ProbeOutcome::Hung:
        outcome.kind = "hung";
        outcome.hasCode = false;
        failure = "  応答がありません";
        break;
    case ProbeOutcome::Stopped:
        outcome.kind = "stopped";
        outcome.hasCode = false;
        failure = "  中止しました";
        break;
    case ProbeOutcome::NotStarted:
        outcome.kind = "workerNotStarted";
        failure = "  検査プロセスを起動できません ";
        break;
    }
    if (failure)
        outcome.explanation = linesAfter(event.lines, failure, last);
    return outcome;
}

// ---- The JSON object of one file

Json orNull(bool has, const Json& value)
{
    return has ? value : Json(nullptr);
}

std::string hex8(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
    return text;
}

Json fileJson(const std::wstring& path, const BatchEvent& event)
{
    Answers answers = answersOf(event);
    Outcome outcome = outcomeOf(event);
    WORD machine = peMachine(path);
    bool knownType = answers.hasType && answers.type >= 1 && answers.type <= 7;

    Json file;
    file["path"] = fromWide(path, CP_UTF8);
    file["bitness"] = orNull(machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_AMD64,
                             machine == IMAGE_FILE_MACHINE_I386 ? 32 : 64);
    file["productId"] = orNull(answers.hasIds, hex8(answers.aid));
    file["pluginId"] = orNull(answers.hasIds, hex8(answers.pid));
    file["name"] = orNull(answers.hasName, utf8FromShiftJis(answers.name));
    file["type"] = orNull(answers.hasType, answers.type);
    file["typeName"] = orNull(knownType, knownType ? typeName[answers.type] : "");
    Json strings = Json::array();
    for (const CollectedString& entry : answers.strings) {
        Json item;
        item["text"] = utf8FromShiftJis(entry.text);
        item["extensions"] = orNull(entry.hasExtensions, utf8FromShiftJis(entry.extensions));
        strings.push_back(item);
    }
    file["strings"] = strings;
    file["outcome"] = outcome.kind;
    file["code"] = orNull(outcome.hasCode, outcome.code);
    Json explanation = Json::array();
    for (const std::string& line : outcome.explanation)
        explanation.push_back(utf8FromShiftJis(line));
    file["explanation"] = explanation;
    return file;
}

// ---- The batch

std::string toAnsi(const std::wstring& text)
{
    return fromWide(text, CP_ACP);
}

// A file of the batch as the window makes it from a real name: the record's path and the name
// shown are the ANSI code page's rendering of it, and a path the record cannot hold is reported
// as too long without probing.
BatchFile batchFile(const std::wstring& path)
{
    BatchFile file;
    file.path = path;
    file.dllName = toAnsi(path);
    size_t slash = path.find_last_of(L"\\/");
    file.shown = toAnsi(slash == std::wstring::npos ? path : path.substr(slash + 1));
    if (file.dllName.size() >= ProbeTextSize) {
        file.shown = file.dllName;
        file.loadError = ERROR_FILENAME_EXCED_RANGE;
    }
    return file;
}

std::wstring programName()
{
    wchar_t path[MAX_PATH] = L"";
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length < MAX_PATH ? length : 0);
    size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

std::string usageText()
{
    std::string name = toAnsi(programName());
    return "Usage:\r\n"
           "  " + name + " --list [--json] [--output FILE] [--workers=N] [--probe-timeout=MS] PATH...\r\n"
           "  " + name + " [FILE...]        the window, with the files probed\r\n"
           "  " + name + " --help | --version\r\n"
           "\r\n"
           "  --list             probe each PATH without a window and write the results\r\n"
           "  --json             one JSON document (UTF-8) instead of the list lines (Shift-JIS)\r\n"
           "  --output FILE      write to FILE instead of standard output\r\n"
           "  --workers=N        probe N files at once (1 to 64; default: one per processor)\r\n"
           "  --probe-timeout=MS end a probe silent for MS milliseconds (default: 10000)\r\n"
           "  --                 every argument after it is a PATH\r\n"
           "\r\n"
           "Exit code: 0 every file gave its IDs, a name and a known type; 1 some file did not;\r\n"
           "2 usage error or output not writable.\r\n";
}

int usageError(const std::string& message)
{
    OutputChannel errors;
    errors.openStandard(STD_ERROR_HANDLE);
    errors.write(toAnsi(programName()) + ": " + message + "\r\n" + usageText(), CP_ACP);
    return ListUsageError;
}

// Probes the files with workers and writes each file's result in file order: the list lines
// as each file's turn comes, or the JSON document at the end. Returns the exit code.
int runList(const InspectorOptions& options, OutputChannel& output)
{
    std::vector<std::wstring> paths = expandPaths(options.files);
    std::vector<BatchFile> files;
    for (const std::wstring& path : paths)
        files.push_back(batchFile(path));

    bool allAnswered = true;
    bool written = true;
    Json document = Json::array();
    if (!files.empty()) {
        // The batch reports to a message-only window of this thread; its events are taken
        // from the queue here, not dispatched.
        HWND sink = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (!sink)
            return usageError("cannot receive the results: error " + std::to_string(GetLastError()));
        BatchSettings settings;
        settings.timeoutMs = options.probeTimeoutMs;
        settings.workers = options.workers;
        ProbeBatch batch(sink, ListEventMessage, settings, std::make_shared<WorkerPool>());
        batch.add(files);
        std::map<size_t, std::unique_ptr<BatchEvent>> waiting;
        for (size_t next = 0; next < files.size();) {
            MSG msg;
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
                break;
            if (msg.hwnd != sink || msg.message != ListEventMessage) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
                continue;
            }
            std::unique_ptr<BatchEvent> event(reinterpret_cast<BatchEvent*>(msg.lParam));
            if (!event || event->index < next || event->index >= files.size())
                continue;
            waiting[event->index] = std::move(event);
            for (auto ready = waiting.find(next); ready != waiting.end(); ready = waiting.find(next)) {
                const BatchEvent& block = *ready->second;
                allAnswered = allAnswered && fileAnswered(block);
                if (options.json) {
                    document.push_back(fileJson(paths[next], block));
                } else {
                    std::string text;
                    for (const std::string& line : block.lines)
                        text += line + "\r\n";
                    written = written && output.write(text, ShiftJis);
                }
                waiting.erase(ready);
                ++next;
            }
        }
        DestroyWindow(sink);
    }
    if (options.json)
        written = output.write(document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n", CP_UTF8);
    if (!written)
        return usageError("cannot write the output: error " + std::to_string(GetLastError()));
    return allAnswered ? ListAllAnswered : ListSomeFailed;
}

}  // namespace

bool fileAnswered(const BatchEvent& event)
{
    const int all = ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType;
    return event.outcome == ProbeOutcome::Probed && event.hasResult && event.result.loadError == 0 &&
           (event.result.answers & all) == all && event.result.ptype >= 1 && event.result.ptype <= 7;
}

std::vector<std::wstring> expandPaths(const std::vector<std::wstring>& paths)
{
    std::vector<std::wstring> files;
    for (const std::wstring& path : paths) {
        wchar_t full[32768];
        DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
        std::wstring file = length > 0 && length < 32768 ? std::wstring(full, length) : path;
        // The place where a folder becomes the files of a folder batch; for now every path is
        // probed as the file it names.
        files.push_back(file);
    }
    return files;
}

int runWithoutWindow(const InspectorOptions& options)
{
    if (options.help || options.version) {
        OutputChannel output;
        output.openStandard(STD_OUTPUT_HANDLE);
        std::string text = options.help ? usageText()
                                        : "plugin-inspector " RP_VERSION_TEXT " (" + std::to_string(ownBitness()) + "-bit)\r\n";
        output.write(text, CP_ACP);
        return ListAllAnswered;
    }
    if (!options.usageError.empty())
        return usageError(toAnsi(options.usageError));

    OutputChannel output;
    if (!options.output.empty()) {
        DWORD error = output.openFile(options.output);
        if (error != 0)
            return usageError("cannot write " + toAnsi(options.output) + ": error " + std::to_string(error));
    } else {
        output.openStandard(STD_OUTPUT_HANDLE);
    }
    return runList(options, output);
}
