// The benchmark: times the framework's streams and strings and the inspector's probe, report
// copy and start-up against plain baselines measured in the same run, and prints one ratio per
// measurement (ours / baseline, the median of several runs each). Each pair also checks that
// both sides produced the same result, so a fast but wrong path cannot pass unnoticed.
// Usage: bench.exe [streams] [probe] [validate] [report] [startup]   (no argument: every section)
#include "rpJString.h"
#include "rpMemoryStream.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifdef BENCH_HAVE_INSPECTOR
#include "mainDialog.h"
#include "probe.h"
#include "resource.h"
#endif

// The framework's diagnostics are discarded here, as in the tool.
void dbout(const char*, ...)
{
}

namespace {

// One row of the table.
struct Row {
    std::string name;
    double ours;      // milliseconds, median
    double baseline;  // milliseconds, median
    std::string note; // empty, or why the row is not comparable
};

std::vector<Row> rows;

double nowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Median duration of `runs` calls of body; setup (untimed) runs before each call.
double medianMs(int runs, const std::function<void()>& setup, const std::function<void()>& body)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (setup)
            setup();
        double start = nowMs();
        body();
        times.push_back(nowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void addRow(const std::string& name, double ours, double baseline, bool same)
{
    rows.push_back({name, ours, baseline, same ? "" : "RESULTS DIFFER"});
}

void addSkipped(const std::string& name, const std::string& why)
{
    rows.push_back({name, 0, 0, why});
}

std::string binDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---------------------------------------------------------------------------------------------
// Streams and strings

const int StreamRuns = 7;
const int MegaByte = 1 << 20;

// Sixteen list-like lines of mixed ASCII and Shift-JIS text, about 40 to 70 bytes each.
const std::vector<std::string>& sampleLines()
{
    static std::vector<std::string> lines = [] {
        std::vector<std::string> v;
        const char* words[] = {"Import", "プラグイン", "Command", "メニュー項目", "Station",
                               "ファイルタイプ", "Select", "名称"};
        char line[128];
        for (int i = 0; i < 16; ++i) {
            std::snprintf(line, sizeof line, "  %s[%d]= [%s %s] %08x", words[i % 8], i,
                          words[(i * 3 + 1) % 8], words[(i * 5 + 2) % 8], 0x9E3779B9u * (i + 1));
            v.push_back(line);
        }
        return v;
    }();
    return lines;
}

// Baseline of gets: splits at LF, CR or CR LF into a bounded line buffer.
int splitLines(const std::string& text, size_t& bytes)
{
    char line[1000];
    int count = 0;
    bytes = 0;
    size_t p = 0;
    while (p < text.size()) {
        size_t end = text.find_first_of("\r\n", p);
        if (end == std::string::npos)
            end = text.size();
        size_t n = std::min(end - p, sizeof line - 1);
        std::memcpy(line, text.data() + p, n);
        line[n] = 0;
        bytes += std::strlen(line);
        ++count;
        p = end;
        if (p < text.size() && text[p] == '\r')
            ++p;
        if (p < text.size() && text[p] == '\n')
            ++p;
    }
    return count;
}

void benchStreams()
{
    const std::vector<std::string>& lines = sampleLines();

    // putsln of 1 MB.
    rpMemoryStream stream;
    std::string text;
    double ours = medianMs(StreamRuns, [&] { stream.releaseHeap(); }, [&] {
        stream.wopen();
        for (size_t i = 0; stream.size() < MegaByte; ++i)
            stream.putsln(lines[i % lines.size()].c_str());
        stream.close();
    });
    double base = medianMs(StreamRuns, [&] { std::string().swap(text); }, [&] {
        for (size_t i = 0; text.size() < static_cast<size_t>(MegaByte); ++i) {
            text += lines[i % lines.size()];
            text += "\r\n";
        }
    });
    std::string* written = stream.getString();
    addRow("stream putsln 1 MB", ours, base, *written == text);
    delete written;

    // formatln of 1 MB.
    ours = medianMs(StreamRuns, [&] { stream.releaseHeap(); }, [&] {
        stream.wopen();
        for (int i = 0; stream.size() < MegaByte; ++i)
            stream.formatln("%5d %s %d", i, lines[i % 16].c_str(), i * 7);
        stream.close();
    });
    base = medianMs(StreamRuns, [&] { std::string().swap(text); }, [&] {
        char buffer[rpStream::FormatBufferSize];
        for (int i = 0; text.size() < static_cast<size_t>(MegaByte); ++i) {
            int n = std::snprintf(buffer, sizeof buffer, "%5d %s %d", i, lines[i % 16].c_str(), i * 7);
            text.append(buffer, n);
            text += "\r\n";
        }
    });
    written = stream.getString();
    addRow("stream formatln 1 MB", ours, base, *written == text);
    delete written;

    // gets of the formatted megabyte, line by line into a 1,000-byte buffer.
    int ourLines = 0, baseLines = 0;
    size_t ourBytes = 0, baseBytes = 0;
    ours = medianMs(StreamRuns, nullptr, [&] {
        unsigned char line[1000];
        ourLines = 0;
        ourBytes = 0;
        stream.ropen();
        while (!stream.eof()) {
            stream.gets(line, sizeof line);
            ourBytes += std::strlen(reinterpret_cast<char*>(line));
            ++ourLines;
        }
        stream.close();
    });
    base = medianMs(StreamRuns, nullptr, [&] { baseLines = splitLines(text, baseBytes); });
    addRow("stream gets 1 MB", ours, base, ourLines == baseLines && ourBytes == baseBytes);

    // read of the whole megabyte at once, as the report copy reads its text back.
    std::vector<char> out(text.size());
    int got = 0;
    ours = medianMs(StreamRuns, nullptr, [&] {
        stream.ropen();
        stream.read(out.data(), static_cast<int>(out.size()), &got);
        stream.close();
    });
    std::vector<char> baseOut(text.size());
    base = medianMs(StreamRuns, nullptr,
                    [&] { std::memcpy(baseOut.data(), text.data(), text.size()); });
    addRow("stream read 1 MB", ours, base,
           got == static_cast<int>(text.size()) && std::memcmp(out.data(), text.data(), text.size()) == 0);
}

// Appends the codes of a byte string under the same lead-byte rule as rpJString.
void appendCodes(std::u16string& out, const std::string& bytes)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.c_str());
    while (*b) {
        if (b[0] >= 0x80 && b[1] != 0) {
            out.push_back(static_cast<char16_t>(b[0] << 8 | b[1]));
            b += 2;
        } else {
            out.push_back(*b++);
        }
    }
}

std::u16string codesOf(const std::string& bytes)
{
    std::u16string codes;
    appendCodes(codes, bytes);
    return codes;
}

bool sameText(const rpJString& s, const std::u16string& u)
{
    return s.count == static_cast<int>(u.size()) &&
           std::equal(u.begin(), u.end(), s.chars,
                      [](char16_t a, unsigned short b) { return a == b; });
}

// ASCII-only folding, as jupper does, written inline so the baseline pays no call per code.
char16_t upper16(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

void benchJString()
{
    const std::vector<std::string>& lines = sampleLines();
    const int Pieces = 2000;  // about 80,000 characters

    // Building by appending byte strings.
    rpJString* built = nullptr;
    std::u16string builtU;
    double ours = medianMs(StreamRuns, [&] { delete built; built = new rpJString; }, [&] {
        for (int i = 0; i < Pieces; ++i)
            built->append(lines[i % 16].c_str());
    });
    double base = medianMs(StreamRuns, [&] { std::u16string().swap(builtU); }, [&] {
        for (int i = 0; i < Pieces; ++i)
            appendCodes(builtU, lines[i % 16]);
    });
    addRow("jstring append 2000 lines", ours, base, sameText(*built, builtU));

    // Inserting and erasing in the middle.
    rpJString edited;
    std::u16string editedU;
    rpJString piece;
    piece.storeString(lines[3].c_str());
    std::u16string pieceU = codesOf(lines[3]);
    ours = medianMs(StreamRuns, [&] { edited.count = 0; edited.append(built); }, [&] {
        for (int i = 0; i < 500; ++i) {
            edited.insert(edited.count / 2, &piece, 0, -1);
            edited.erase(edited.count / 3, piece.count / 2);
        }
    });
    base = medianMs(StreamRuns, [&] { editedU = builtU; }, [&] {
        for (int i = 0; i < 500; ++i) {
            editedU.insert(editedU.size() / 2, pieceU);
            editedU.erase(editedU.size() / 3, pieceU.size() / 2);
        }
    });
    addRow("jstring insert/erase x500", ours, base, sameText(edited, editedU));

    // Searching: a character and a pattern near the end, exact and ignoring case.
    rpJString pattern;
    pattern.storeString("メニュー項目 import");
    std::u16string patternU = codesOf("メニュー項目 import");
    rpJString tail;
    tail.storeString("メニュー項目 IMPORT!");
    built->append(&tail);
    builtU += codesOf("メニュー項目 IMPORT!");
    int ourHits = 0, baseHits = 0;
    ours = medianMs(StreamRuns, nullptr, [&] {
        ourHits = 0;
        for (int i = 0; i < 20; ++i) {
            ourHits += built->find('!', 0, -1, false);
            ourHits += built->find(0, -1, &pattern, 0, -1, true);
            ourHits += built->find(0, -1, &pattern, 0, 6, false);
        }
    });
    base = medianMs(StreamRuns, nullptr, [&] {
        baseHits = 0;
        for (int i = 0; i < 20; ++i) {
            baseHits += static_cast<int>(builtU.find(u'!'));
            auto found = std::search(builtU.begin(), builtU.end(), patternU.begin(), patternU.end(),
                                     [](char16_t a, char16_t b) { return upper16(a) == upper16(b); });
            baseHits += static_cast<int>(found - builtU.begin());
            baseHits += static_cast<int>(builtU.find(patternU.substr(0, 6)));
        }
    });
    addRow("jstring find x60", ours, base, ourHits == baseHits);

    // Comparing two long equal strings, exact and ignoring case.
    rpJString copy;
    copy.append(built);
    copy.toLower();
    std::u16string copyU = builtU;
    for (char16_t& c : copyU)
        c = static_cast<char16_t>(jlower(c));
    int ourOrder = 0, baseOrder = 0;
    ours = medianMs(StreamRuns, nullptr, [&] {
        ourOrder = 0;
        for (int i = 0; i < 20; ++i)
            ourOrder += (built->comp(0, -1, &copy, 0, -1, true) == 0) + (built->comp(0, -1, &copy, 0, -1, false) < 0);
    });
    base = medianMs(StreamRuns, nullptr, [&] {
        baseOrder = 0;
        for (int i = 0; i < 20; ++i) {
            bool equalFolded = builtU.size() == copyU.size() &&
                               std::equal(builtU.begin(), builtU.end(), copyU.begin(),
                                          [](char16_t a, char16_t b) { return upper16(a) == upper16(b); });
            baseOrder += equalFolded + (builtU.compare(copyU) < 0);
        }
    });
    addRow("jstring comp x40", ours, base, ourOrder == baseOrder);
    delete built;
}

// ---------------------------------------------------------------------------------------------
// Probe

#ifdef BENCH_HAVE_INSPECTOR
// Well-behaved fixtures covering every path of a probe: menus, file types, underscore names,
// a full 99-string enumeration, missing entry points, unknown types, null and oversized texts.
const char* const ProbeFixtures[] = {
    "plug_command.dll", "plug_import.dll", "plug_underscore.dll", "plug_endless.dll",
    "plug_noname.dll",  "plug_type8.dll",  "plug_nullstr.dll",    "plug_oversized.dll",
};
const int ProbeRounds = 25;  // rounds over the fixtures: 200 probes per measurement
const int ProbeRuns = 3;

std::wstring wide(const std::string& text)
{
    std::wstring result(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], static_cast<int>(result.size()));
    result.resize(n > 0 ? static_cast<size_t>(n) - 1 : 0);
    return result;
}

// Runs steps inside the real main dialog's modal loop (from a thread timer, as a user's actions
// would arrive), then ends the dialog with its Close button.
std::function<void()> pendingSteps;

void CALLBACK runPendingSteps(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    std::function<void()> steps = std::move(pendingSteps);
    pendingSteps = nullptr;
    if (steps)
        steps();
}

bool withMainDialog(const std::function<void(mainDialog& dialog, HWND list)>& steps)
{
    mainDialog* dialog = new mainDialog();  // deletes itself with its window
    dialog->batchSettings.executable = wide(binDir() + "..\\plugin-inspector.exe");
    bool ran = false;
    pendingSteps = [&] {
        ran = true;
        HWND window = dialog->hwnd;
        steps(*dialog, GetDlgItem(window, IDC_RESULTS));
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    };
    SetTimer(nullptr, 0, 50, runPendingSteps);
    if (dialog->run() == -1) {
        pendingSteps = nullptr;
        delete dialog;  // never bound to a window
    }
    return ran;
}

int listCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
}

// The plain name, then the name with a leading underscore.
FARPROC lookUp(HMODULE library, const char* name)
{
    FARPROC found = GetProcAddress(library, name);
    if (!found) {
        std::string underscored = std::string("_") + name;
        found = GetProcAddress(library, underscored.c_str());
    }
    return found;
}

template <typename Proc>
Proc entry(HMODULE library, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(lookUp(library, name)));
}

typedef void(__cdecl* IdProc)(DWORD*, DWORD*);
typedef const char*(__cdecl* TextProc)(void);
typedef int(__cdecl* TypeProc)(void);
typedef const char*(__cdecl* EnumProc)(int);

// The bare baseline: load, look up and call the same entry points, free. Returns the number of
// lines the probe writes for the file, so both sides can be checked against each other.
int bareProbe(const char* path, size_t& textBytes)
{
    int lines = 2;  // separator and file line
    HMODULE library = LoadLibraryA(path);
    if (!library)
        return lines + 1;
    IdProc getId = entry<IdProc>(library, "MQGetPlugInID");
    TextProc getName = getId ? entry<TextProc>(library, "MQGetPlugInName") : nullptr;
    TypeProc getType = getName ? entry<TypeProc>(library, "MQGetPlugInType") : nullptr;
    ++lines;  // the identifiers, or that they are missing
    if (getId) {
        DWORD first = 0, second = 0;
        getId(&first, &second);
        textBytes += first + second == 0 ? 0 : 1;
        ++lines;  // the name, or that it is missing
    }
    if (getName) {
        const char* name = getName();
        textBytes += name ? std::strlen(name) : 0;
    }
    int type = getType ? getType() : 0;
    if (getType)
        ++lines;  // the type, known or not
    if (type >= 3 && type <= 7) {
        if (EnumProc enumString = entry<EnumProc>(library, "MQEnumString")) {
            for (int i = 0; i < 99; ++i) {
                const char* text = enumString(i);
                if (!text)
                    break;
                textBytes += std::strlen(text);
                ++lines;
            }
        }
    } else if (type == 1 || type == 2) {
        EnumProc enumType = entry<EnumProc>(library, "MQEnumFileType");
        EnumProc enumExt = entry<EnumProc>(library, "MQEnumFileExt");
        for (int i = 0; enumType && enumExt && i < 99; ++i) {
            const char* text = enumType(i);
            if (!text)
                break;
            const char* ext = enumExt(i);
            textBytes += std::strlen(text) + (ext ? std::strlen(ext) : 0);
            ++lines;
        }
    }
    FreeLibrary(library);
    return lines;
}

// Dispatches messages until the dialog's batch has shown every block; false after a minute.
bool waitForBatch(mainDialog& dialog)
{
    double start = nowMs();
    while (dialog.batchRunning()) {
        if (nowMs() - start > 60000)
            return false;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return true;
}

// Batches of `files` through the real main dialog, its workers being the inspector of this
// build: the time of the first batch (which starts the workers), the median of the batches
// after it (whose workers are kept from the first), and the list's line count.
bool timeBatch(const std::vector<std::wstring>& files, DWORD timeoutMs, double* first, double* ms, int* lines)
{
    bool finished = true;
    bool ran = withMainDialog([&](mainDialog& dialog, HWND list) {
        dialog.batchSettings.timeoutMs = timeoutMs;
        auto batch = [&] {
            dialog.probeFiles(files);
            finished = waitForBatch(dialog) && finished;
            UpdateWindow(list);
            *lines = listCount(list);
        };
        *first = medianMs(1, nullptr, batch);
        *ms = medianMs(ProbeRuns, nullptr, batch);
    });
    return ran && finished;
}

void benchProbe()
{
    std::string dir = binDir();
    for (const char* name : ProbeFixtures) {
        if (!fileExists(dir + name)) {
            addSkipped("probe", std::string("fixture missing: ") + name);
            return;
        }
    }
    // One batch of 200 files, as one drop of them: every fixture, 25 times over.
    std::vector<std::wstring> files;
    for (int round = 0; round < ProbeRounds; ++round) {
        for (const char* name : ProbeFixtures)
            files.push_back(wide(dir + name));
    }
    int ourLines = 0;
    double ours = 0;
    double cold = 0;
    if (!timeBatch(files, 10000, &cold, &ours, &ourLines)) {
        addSkipped("probe", "the main dialog or its batch did not finish");
        return;
    }
    int baseLines = 0;
    size_t textBytes = 0;
    double base = medianMs(ProbeRuns, nullptr, [&] {
        baseLines = 0;
        for (int round = 0; round < ProbeRounds; ++round) {
            for (const char* name : ProbeFixtures)
                baseLines += bareProbe((dir + name).c_str(), textBytes);
        }
    });
    char label[64];
    std::snprintf(label, sizeof label, "probe x%d (isolated batch)", static_cast<int>(files.size()));
    addRow(label, ours, base, ourLines == baseLines);
    std::snprintf(label, sizeof label, "probe x%d (first, cold)", static_cast<int>(files.size()));
    rows.push_back({label, cold, base, "workers start with it"});

    // The same batch with a faulting, an exiting, an overflowing and a hanging plug-in in it
    // (limit one second), each replacing a well-behaved file: against the same baseline.
    const char* const bad[] = {"plug_fault_id.dll", "plug_exit.dll", "plug_fault_enum.dll", "plug_hang.dll"};
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        if (!fileExists(dir + bad[i])) {
            addSkipped("probe with bad plug-ins", std::string("fixture missing: ") + bad[i]);
            return;
        }
        files[(i + 1) * files.size() / 5] = wide(dir + bad[i]);
    }
    double mixed = 0;
    double mixedFirst = 0;
    int mixedLines = 0;
    if (!timeBatch(files, 1000, &mixedFirst, &mixed, &mixedLines)) {
        addSkipped("probe with bad plug-ins", "the batch did not finish");
        return;
    }
    std::snprintf(label, sizeof label, "probe x%d, 4 bad (1 s limit)", static_cast<int>(files.size()));
    rows.push_back({label, mixed, base, "baseline: the 200 good files"});
}

// ---------------------------------------------------------------------------------------------
// Validation

// Runs the inspector of this build without a window, as a script does, in the fixtures' folder:
// `mode` and the files, its output into a file. Returns the output; empty when it did not end
// within five minutes.
std::string runWithoutWindow(const std::string& mode, const std::string& files)
{
    const std::string exe = binDir() + "..\\plugin-inspector.exe";
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string output = std::string(temp) + "bench-output.txt";
    std::string commandLine = "\"" + exe + "\" " + mode + " --output \"" + output + "\"" + files;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, binDir().c_str(), &startup, &process))
        return std::string();
    bool ended = WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string text;
    HANDLE file = CreateFileA(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char chunk[65536];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
            text.append(chunk, got);
        CloseHandle(file);
    }
    DeleteFileA(output.c_str());
    return ended ? text : std::string();
}

// The list's text without the validation's finding lines.
std::string withoutFindings(const std::string& text)
{
    std::string kept;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string line = text.substr(at, end - at);
        if (line.rfind("  [エラー] ", 0) != 0 && line.rfind("  [警告] ", 0) != 0)
            kept += line;
        at = end;
    }
    return kept;
}

// --validate of the probe's 200 files against --list of the same files, both through the
// executable as a script runs them. Validation loads each file twice, each time in a worker
// process of its own: the workers' start-up is most of what it costs.
void benchValidate()
{
    std::string dir = binDir();
    std::string files;
    for (int round = 0; round < ProbeRounds; ++round) {
        for (const char* name : ProbeFixtures) {
            if (!fileExists(dir + name)) {
                addSkipped("validate", std::string("fixture missing: ") + name);
                return;
            }
            files += std::string(" ") + name;
        }
    }
    std::string listed, validated;
    double base = medianMs(ProbeRuns, nullptr, [&] { listed = runWithoutWindow("--list", files); });
    double ours = medianMs(ProbeRuns, nullptr, [&] { validated = runWithoutWindow("--validate", files); });
    char label[64];
    std::snprintf(label, sizeof label, "validate x%d vs list", ProbeRounds * static_cast<int>(sizeof ProbeFixtures / sizeof ProbeFixtures[0]));
    addRow(label, ours, base, !listed.empty() && withoutFindings(validated) == listed);
}

// ---------------------------------------------------------------------------------------------
// Report copy

const int ReportLines = 10000;
const int ReportRuns = 5;

// The CF_TEXT on the clipboard up to its NUL, or "<none>".
std::string clipboardText()
{
    std::string text = "<none>";
    if (!OpenClipboard(nullptr))
        return "<busy>";
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(h))) {
            text.assign(p, strnlen(p, GlobalSize(h)));
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

// The baseline: the same lines read from the list into a std::string, placed with the raw calls.
void rawCopy(HWND list)
{
    std::string text;
    std::vector<char> line;
    int count = listCount(list);
    for (int i = 0; i < count; ++i) {
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        line.assign(static_cast<size_t>(length) + 1, 0);
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data()));
        text += line.data();
        text += "\r\n";
    }
    if (!OpenClipboard(nullptr))
        return;
    EmptyClipboard();
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
        GlobalUnlock(block);
        if (!SetClipboardData(CF_TEXT, block))
            GlobalFree(block);
    }
    CloseClipboard();
}

void benchReport()
{
    const std::vector<std::string>& lines = sampleLines();
    double ours = 0, base = 0;
    std::string ourText, baseText;
    bool ran = withMainDialog([&](mainDialog& dialog, HWND list) {
        // Filled with its redraw held: the fill is not what is measured.
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        for (int i = 0; i < ReportLines; ++i) {
            char line[200];
            std::snprintf(line, sizeof line, "%d%s", i, lines[i % lines.size()].c_str());
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        }
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        UpdateWindow(list);
        ours = medianMs(ReportRuns, nullptr, [&] { dialog.dataCopy(); });
        ourText = clipboardText();
        base = medianMs(ReportRuns, nullptr, [&] { rawCopy(list); });
        baseText = clipboardText();
    });
    if (!ran) {
        addSkipped("report", "the main dialog did not run");
        return;
    }
    addRow("report dataCopy 10000 lines", ours, base,
           ourText == baseText && ourText.size() > static_cast<size_t>(ReportLines) * 2);
}
#endif

// ---------------------------------------------------------------------------------------------
// Start-up

const int StartupRuns = 9;

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && IsWindowVisible(window) &&
        std::strcmp(className, "#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from CreateProcess to a visible dialog of the new process, or -1 when none
// appeared within 20 seconds. The dialog is then closed with its Close button's command.
double timeStartup(const std::string& exe)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + exe + "\"";
    double start = nowMs();
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WindowSearch search = {process.dwProcessId, nullptr};
    double elapsed = -1;
    while (nowMs() - start < 20000) {
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            elapsed = nowMs() - start;
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;  // ended without showing a dialog
    }
    if (search.found)
        PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

void benchStartup()
{
    std::string dir = binDir();
    std::string inspector = dir + "..\\plugin-inspector.exe";
    std::string mini = dir + "minidialog.exe";
    if (!fileExists(inspector) || !fileExists(mini)) {
        addSkipped("start-up", "plugin-inspector.exe or minidialog.exe not built");
        return;
    }
    // Only the time to the visible dialog counts, not closing it. The two programs take turns,
    // so drift in the machine's load affects both alike; one untimed start each comes first.
    bool shown = true;
    timeStartup(inspector);
    timeStartup(mini);
    std::vector<double> ourTimes, baseTimes;
    for (int i = 0; i < StartupRuns; ++i) {
        ourTimes.push_back(timeStartup(inspector));
        baseTimes.push_back(timeStartup(mini));
        shown = shown && ourTimes.back() >= 0 && baseTimes.back() >= 0;
    }
    std::sort(ourTimes.begin(), ourTimes.end());
    std::sort(baseTimes.begin(), baseTimes.end());
    double ours = ourTimes[StartupRuns / 2];
    double base = baseTimes[StartupRuns / 2];
    addRow("start-up to visible dialog", ours, base, shown);
}

// ---------------------------------------------------------------------------------------------
// Output

void printTable()
{
    std::printf("%-30s %12s %12s %9s\n", "measurement", "ours ms", "baseline ms", "ratio");
    for (const Row& row : rows) {
        if (row.ours == 0 && row.baseline == 0 && !row.note.empty()) {
            std::printf("%-30s %s\n", row.name.c_str(), row.note.c_str());
            continue;
        }
        double ratio = row.baseline > 0 ? row.ours / row.baseline : 0;
        std::printf("%-30s %12.3f %12.3f %9.2f %s\n", row.name.c_str(), row.ours, row.baseline,
                    ratio, row.note.c_str());
    }
    std::fflush(stdout);
}

bool wanted(int argc, char** argv, const char* section)
{
    if (argc < 2)
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], section) == 0)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (wanted(argc, argv, "streams")) {
        benchStreams();
        benchJString();
    }
#ifdef BENCH_HAVE_INSPECTOR
    if (wanted(argc, argv, "probe"))
        benchProbe();
    if (wanted(argc, argv, "validate"))
        benchValidate();
    if (wanted(argc, argv, "report"))
        benchReport();
#endif
    if (wanted(argc, argv, "startup"))
        benchStartup();
    printTable();
    for (const Row& row : rows) {
        if (row.note == "RESULTS DIFFER")
            return 1;
    }
    return 0;
}
