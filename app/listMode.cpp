// The modes without a window: --list (text or JSON), --help and --version.
#include "listMode.h"

#include "app_version.h"
#include "fileFacts.h"
#include "fileSystem.h"
#include "folderScan.h"
#include "loadFailure.h"
#include "outputChannel.h"
#include "listReport.h"
#include "probe.h"
#include "textCodec.h"
#include "validation.h"

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

// A plug-in's or the probe's Shift-JIS text as UTF-8.
std::string utf8FromShiftJis(const std::string& text)
{
    return fromWide(toWide(text, ShiftJis), CP_UTF8);
}

// ---- How a file's probe ended

struct Outcome {
    const char* kind = "ok";
    bool hasCode = false;
    DWORD code = 0;
    std::vector<std::string> explanation;  // Shift-JIS, without their indentation
};

Outcome outcomeOf(const BatchEvent& event)
{
    static const struct {
        ProbeOutcome outcome;
        const char* kind;
        bool hasCode;
    } kinds[] = {
        {ProbeOutcome::NotProbed, "loadError", true},   {ProbeOutcome::NoExecutable, "workerMissing", false},
        {ProbeOutcome::Faulted, "fault", true},          {ProbeOutcome::Exited, "exited", true},
        {ProbeOutcome::Hung, "hung", false},             {ProbeOutcome::Stopped, "stopped", false},
        {ProbeOutcome::NotStarted, "workerNotStarted", true},
        {ProbeOutcome::ProtocolError, "protocolError", false},
    };
    Outcome outcome;
    if (event.outcome == ProbeOutcome::Probed) {
        if (event.hasResult && event.result.loadError != 0) {
            outcome.kind = "loadError";
            outcome.hasCode = true;
            outcome.code = static_cast<DWORD>(event.result.loadError);
        } else if (!fileAnswered(event)) {
            outcome.kind = "incomplete";
        }
    } else {
        for (const auto& known : kinds) {
            if (known.outcome == event.outcome) {
                outcome.kind = known.kind;
                outcome.hasCode = known.hasCode;
                outcome.code = event.code;
            }
        }
    }
    // The failure lines are the line that names the failure, then what explains it.
    for (size_t i = 1; i < event.failure.size(); ++i) {
        const std::string& line = event.failure[i];
        outcome.explanation.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
    }
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

// The file's facts: read as its event arrives, the hash with them (a script asked for them all).
void addFacts(Json& file, const std::wstring& path)
{
    FileFacts facts = readFileFacts(path);
    std::string sha256 = sha256AsFound(path, facts);
    file["fileVersion"] = orNull(!facts.fileVersion.empty(), facts.fileVersion);
    file["company"] = orNull(!facts.company.empty(), fromWide(facts.company, CP_UTF8));
    file["size"] = orNull(facts.found, facts.size);
    file["modified"] = orNull(facts.found, utcTimestamp(facts.modified));
    file["sha256"] = orNull(!sha256.empty(), sha256);
}

Json fileJson(const std::wstring& path, const BatchEvent& event)
{
    // The worker's record: sent with the file's end, or as it stood at the last line of a
    // worker that ended or hung.
    const ProbeResult& result = event.result;
    bool hasIds = event.hasResult && (result.answers & ProbeAnsweredIds);
    bool hasName = event.hasResult && (result.answers & ProbeAnsweredName);
    bool hasType = event.hasResult && (result.answers & ProbeAnsweredType);
    bool knownType = hasType && result.ptype >= 1 && result.ptype <= 7;
    bool fileTypes = hasType && (result.ptype == 1 || result.ptype == 2);
    Outcome outcome = outcomeOf(event);

    Json file;
    file["path"] = fromWide(path, CP_UTF8);
    // As measured when the file was probed: the file may have changed or gone since.
    file["bitness"] = orNull(event.bitness != 0, event.bitness);
    file["productId"] = orNull(hasIds, hex8(result.aid));
    file["pluginId"] = orNull(hasIds, hex8(result.pid));
    file["name"] = orNull(hasName, utf8FromShiftJis(result.pname));
    file["type"] = orNull(hasType, result.ptype);
    file["typeName"] = orNull(knownType, knownType ? typeName[result.ptype] : "");
    Json strings = Json::array();
    for (size_t i = 0; event.hasResult && i < result.strings.size(); ++i) {
        Json item;
        item["text"] = utf8FromShiftJis(result.strings[i]);
        std::string extensions = i < result.extensions.size() ? result.extensions[i] : std::string();
        item["extensions"] = orNull(fileTypes, utf8FromShiftJis(extensions));
        strings.push_back(item);
    }
    file["strings"] = strings;
    file["outcome"] = outcome.kind;
    file["code"] = orNull(outcome.hasCode, outcome.code);
    Json explanation = Json::array();
    for (const std::string& line : outcome.explanation)
        explanation.push_back(utf8FromShiftJis(line));
    file["explanation"] = explanation;
    addFacts(file, path);
    return file;
}

Json findingsJson(const std::vector<Finding>& findings)
{
    Json list = Json::array();
    for (const Finding& finding : findings) {
        Json item;
        item["check"] = finding.check;
        item["severity"] = severityName(finding.severity);
        item["message"] = utf8FromShiftJis(finding.message);
        list.push_back(item);
    }
    return list;
}

// The JSON object of a folder that could not be searched, in its place among the files.
Json folderErrorJson(const FolderError& folder)
{
    Json object;
    object["path"] = fromWide(folder.path, CP_UTF8);
    for (const char* field : {"bitness", "productId", "pluginId", "name", "type", "typeName"})
        object[field] = nullptr;
    object["strings"] = Json::array();
    object["outcome"] = "folderError";
    object["code"] = folder.code;
    std::string message = systemMessageLine(folder.code);
    object["explanation"] = Json::array({utf8FromShiftJis(message.substr(std::min(message.find_first_not_of(' '), message.size())))});
    for (const char* field : {"fileVersion", "company", "size", "modified", "sha256"})
        object[field] = nullptr;
    return object;
}

// ---- The batch

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
    std::string name = fromWide(programName());
    return "Usage:\r\n"
           "  " + name + " --list [--json] [--output FILE] [--workers=N] [--probe-timeout=MS] PATH...\r\n"
           "  " + name + " --validate [--json] [--strict] [--output FILE] [--workers=N] [--probe-timeout=MS] PATH...\r\n"
           "  " + name + " [FILE...]        the window, with the files probed\r\n"
           "  " + name + " --help | --version\r\n"
           "\r\n"
           "  --list             probe each PATH without a window and write the results\r\n"
           "  --validate         as --list, then check each plug-in for what harms the host\r\n"
           "  --strict           (with --validate) warnings fail as errors do\r\n"
           "  --json             one JSON document (UTF-8) instead of the list lines (Shift-JIS)\r\n"
           "  --output FILE      write to FILE instead of standard output\r\n"
           "  --workers=N        probe N files at once (1 to 64; default: one per processor)\r\n"
           "  --probe-timeout=MS end a probe silent for MS milliseconds (default: 10000)\r\n"
           "  --                 every argument after it is a PATH\r\n"
           "\r\n"
           "Exit code: 0 every file gave its IDs, a name and a known type (validated: and had no\r\n"
           "error finding; with --strict no finding at all); 1 some file did not, or a folder could\r\n"
           "not be searched; 2 usage error, or the output cannot be written or is one of the files\r\n"
           "to probe (it is then left alone).\r\n";
}

// A wrong command line: what is wrong, then the usage, on standard error.
int usageError(const std::string& message)
{
    OutputChannel errors;
    errors.openStandard(STD_ERROR_HANDLE);
    errors.write(fromWide(programName()) + ": " + message + "\r\n" + usageText(), CP_ACP);
    return ListUsageError;
}

// An output that cannot be written or is refused: one line on standard error that says what
// failed (and the system's message for `error`, when there is one).
int outputError(const std::string& message, DWORD error = 0)
{
    std::string line = fromWide(programName()) + ": " + message;
    if (error != 0) {
        std::string reason = systemMessageLine(error);
        line += ": error " + std::to_string(error) + " (" + reason.substr(std::min(reason.find_first_not_of(' '), reason.size())) + ")";
    }
    OutputChannel errors;
    errors.openStandard(STD_ERROR_HANDLE);
    errors.write(line + "\r\n", CP_ACP);
    return ListUsageError;
}

// Whether the file at `output` is one of the files to probe, by file identity: a report
// written there would destroy a plug-in, whatever spelling, link or case names it.
bool outputIsAnInput(const std::wstring& output, const std::vector<BatchFile>& files)
{
    FileIdentity target;
    if (!fileIdentity(output, &target))
        return false;  // no such file yet (or no identity to compare)
    for (const BatchFile& file : files) {
        FileIdentity input;
        if (fileIdentity(file.path, &input) && input == target)
            return true;
    }
    return false;
}

// Probes the files with workers and writes each file's result in file order: the list lines
// as each file's turn comes (a folder's summary block after its files, as the window shows it),
// or the JSON document at the end, with an object for each folder that could not be searched
// in its place among the files. The output is opened only once the files are known: a file to
// probe is never overwritten. Returns the exit code.
int runList(const InspectorOptions& options)
{
    std::vector<BatchFile> files;
    std::vector<BatchFolder> folders;
    batchFilesFor(fullPaths(options.files), true, 0, &files, &folders);
    std::vector<const FolderError*> folderErrors;  // in file order
    for (const BatchFolder& folder : folders) {
        for (const FolderError& unreadable : folder.unreadable)
            folderErrors.push_back(&unreadable);
    }

    OutputChannel output;
    if (!options.output.empty()) {
        if (outputIsAnInput(options.output, files))
            return outputError("refused to write " + fromWide(options.output) + ": it is one of the files to probe");
        if (DWORD error = output.openFile(options.output))
            return outputError("cannot write " + fromWide(options.output), error);
    } else {
        output.openStandard(STD_OUTPUT_HANDLE);
    }

    bool allAnswered = folderErrors.empty();
    bool written = true;
    Json document = Json::array();
    size_t folderErrorsWritten = 0;
    // The JSON objects of the unreadable folders that come before file `index`.
    auto addFolderErrors = [&](size_t index) {
        for (; folderErrorsWritten < folderErrors.size() && folderErrors[folderErrorsWritten]->before <= index;
             ++folderErrorsWritten) {
            document.push_back(folderErrorJson(*folderErrors[folderErrorsWritten]));
            if (options.validate)
                document.back()["findings"] = Json::array();
        }
    };
    std::vector<ListedFile> listed;
    size_t summarized = 0;  // folders whose summary is written
    // The summaries of the folders whose files are all written (folders come in file order).
    auto writeSummaries = [&](size_t filesWritten) {
        for (; summarized < folders.size() && folders[summarized].first + folders[summarized].count <= filesWritten;
             ++summarized) {
            const BatchFolder& folder = folders[summarized];
            if (options.json)
                continue;
            std::vector<ListedFile> inside(listed.begin() + static_cast<std::ptrdiff_t>(folder.first),
                                           listed.begin() + static_cast<std::ptrdiff_t>(folder.first + folder.count));
            std::string text;
            for (const std::string& line : folderSummary(folder, inside))
                text += line + "\r\n";
            written = written && output.write(text, ShiftJis);
        }
    };
    writeSummaries(0);
    if (!files.empty()) {
        // The batch reports to a message-only window of this thread; its events are taken
        // from the queue here, not dispatched.
        HWND sink = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (!sink)
            return outputError("cannot receive the results", GetLastError());
        BatchSettings settings;
        settings.timeoutMs = options.probeTimeoutMs;
        settings.workers = options.workers;
        settings.validate = options.validate;
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
                listed.push_back(listedFile(files[next], block));
                const std::vector<Finding> findings = validationFindings(block);
                for (const Finding& finding : findings) {
                    if (finding.severity == Severity::Error || options.strict)
                        allAnswered = false;
                }
                if (options.json) {
                    addFolderErrors(next);
                    document.push_back(fileJson(files[next].path, block));
                    if (options.validate)
                        document.back()["findings"] = findingsJson(findings);
                } else {
                    std::string text;
                    for (const std::string& line : block.lines)
                        text += line + "\r\n";
                    for (const Finding& finding : findings)
                        text += findingLine(finding) + "\r\n";
                    written = written && output.write(text, ShiftJis);
                }
                waiting.erase(ready);
                ++next;
                writeSummaries(next);
            }
        }
        DestroyWindow(sink);
    }
    if (options.json) {
        addFolderErrors(files.size());
        written = output.write(document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n", CP_UTF8);
    }
    const std::string target = options.output.empty() ? "the output" : fromWide(options.output);
    if (!written)
        return outputError("cannot write " + target, output.error());
    if (DWORD error = output.commit())
        return outputError("cannot write " + target, error);
    return allAnswered ? ListAllAnswered : ListSomeFailed;
}

}  // namespace

bool fileAnswered(const BatchEvent& event)
{
    const int all = ProbeAnsweredIds | ProbeAnsweredName | ProbeAnsweredType;
    return event.outcome == ProbeOutcome::Probed && event.hasResult && event.result.loadError == 0 &&
           (event.result.answers & all) == all && event.result.ptype >= 1 && event.result.ptype <= 7;
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
        return usageError(fromWide(options.usageError));
    return runList(options);
}
