// The benchmark: times the framework's streams and strings and the inspector's probe, report
// copy and start-up against plain baselines measured in the same run, and prints a table with
// each side's minimum, median and maximum and the ratio of ours to the baseline (benchTable.h).
// To add a row, give BenchTable::compare the two sides and the check that their results are
// the same; work that needs a fresh window or process per run times its own pairs (see the
// cold batch and the start-up rows).
// Usage: bench.exe [--runs=N] [streams] [probe] [validate] [folder] [report] [startup]   (no
// section: every one;
// N: timed runs of each side, at least the default 15)
#include "benchTable.h"
#include "rpJString.h"
#include "rpMemoryStream.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
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

const int DefaultRuns = 15;

BenchTable* table = nullptr;  // not owned: main's

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
    rpMemoryStream stream;
    std::string text;
    auto sameContent = [&] {
        std::unique_ptr<std::string> ours(stream.getString());
        return *ours == text;
    };

    // putsln of 1 MB. Each run starts from no storage on both sides: the stream's pages and the
    // string's growth are part of the job.
    Side ours = {[&] {
                     stream.wopen();
                     for (size_t i = 0; stream.size() < MegaByte; ++i)
                         stream.putsln(lines[i % lines.size()].c_str());
                     stream.close();
                 },
                 [&] { stream.releaseHeap(); }, nullptr};
    Side baseline = {[&] {
                         for (size_t i = 0; text.size() < static_cast<size_t>(MegaByte); ++i) {
                             text += lines[i % lines.size()];
                             text += "\r\n";
                         }
                     },
                     [&] { std::string().swap(text); }, nullptr};
    table->compare("stream putsln 1 MB", ours, baseline, sameContent, ratioAtMost(2, "<=2"));

    // formatln of 1 MB.
    ours.run = [&] {
        stream.wopen();
        for (int i = 0; stream.size() < MegaByte; ++i)
            stream.formatln("%5d %s %d", i, lines[i % 16].c_str(), i * 7);
        stream.close();
    };
    baseline.run = [&] {
        char buffer[rpStream::FormatBufferSize];
        for (int i = 0; text.size() < static_cast<size_t>(MegaByte); ++i) {
            int n = std::snprintf(buffer, sizeof buffer, "%5d %s %d", i, lines[i % 16].c_str(), i * 7);
            text.append(buffer, n);
            text += "\r\n";
        }
    };
    table->compare("stream formatln 1 MB", ours, baseline, sameContent, ratioAtMost(2, "<=2"));

    // gets of the formatted megabyte, line by line into a 1,000-byte buffer, against splitting
    // the string.
    int ourLines = 0, baseLines = 0;
    size_t ourBytes = 0, baseBytes = 0;
    ours = {[&] {
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
            },
            nullptr, nullptr};
    baseline = {[&] { baseLines = splitLines(text, baseBytes); }, nullptr, nullptr};
    table->compare("stream gets 1 MB", ours, baseline,
                   [&] { return ourLines == baseLines && ourBytes == baseBytes; });

    // read of the whole megabyte at once, as the report copy reads its text back.
    std::vector<char> out(text.size());
    std::vector<char> baseOut(text.size());
    int got = 0;
    ours = {[&] {
                stream.ropen();
                stream.read(out.data(), static_cast<int>(out.size()), &got);
                stream.close();
            },
            nullptr, nullptr};
    baseline = {[&] { std::memcpy(baseOut.data(), text.data(), text.size()); }, nullptr, nullptr};
    table->compare("stream read 1 MB", ours, baseline, [&] {
        return got == static_cast<int>(text.size()) && out == baseOut;
    });
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

// Case-blind equality of UTF-16 codes, as jupper folds them.
bool equalFolded(char16_t a, char16_t b)
{
    return upper16(a) == upper16(b);
}

void benchJString()
{
    const std::vector<std::string>& lines = sampleLines();
    const int Pieces = 2000;  // about 80,000 characters

    // Building by appending byte strings.
    std::unique_ptr<rpJString> built;
    std::u16string builtU;
    Side ours = {[&] {
                     for (int i = 0; i < Pieces; ++i)
                         built->append(lines[i % 16].c_str());
                 },
                 [&] { built.reset(new rpJString); }, nullptr};
    Side baseline = {[&] {
                         for (int i = 0; i < Pieces; ++i)
                             appendCodes(builtU, lines[i % 16]);
                     },
                     [&] { std::u16string().swap(builtU); }, nullptr};
    table->compare("jstring append 2000 lines", ours, baseline, [&] { return sameText(*built, builtU); });

    // Inserting and erasing in the middle.
    rpJString edited;
    std::u16string editedU;
    rpJString piece;
    piece.storeString(lines[3].c_str());
    std::u16string pieceU = codesOf(lines[3]);
    ours = {[&] {
                for (int i = 0; i < 500; ++i) {
                    edited.insert(edited.count / 2, &piece, 0, -1);
                    edited.erase(edited.count / 3, piece.count / 2);
                }
            },
            [&] {
                edited.count = 0;
                edited.append(built.get());
            },
            nullptr};
    baseline = {[&] {
                    for (int i = 0; i < 500; ++i) {
                        editedU.insert(editedU.size() / 2, pieceU);
                        editedU.erase(editedU.size() / 3, pieceU.size() / 2);
                    }
                },
                [&] { editedU = builtU; }, nullptr};
    table->compare("jstring insert/erase x500", ours, baseline, [&] { return sameText(edited, editedU); });

    // Searching: a character and a pattern near the end, exact and ignoring case.
    rpJString pattern;
    pattern.storeString("メニュー項目 import");
    std::u16string patternU = codesOf("メニュー項目 import");
    rpJString tail;
    tail.storeString("メニュー項目 IMPORT!");
    built->append(&tail);
    builtU += codesOf("メニュー項目 IMPORT!");
    int ourHits = 0, baseHits = 0;
    ours = {[&] {
                ourHits = 0;
                for (int i = 0; i < 20; ++i) {
                    ourHits += built->find('!', 0, -1, false);
                    ourHits += built->find(0, -1, &pattern, 0, -1, true);
                    ourHits += built->find(0, -1, &pattern, 0, 6, false);
                }
            },
            nullptr, nullptr};
    baseline = {[&] {
                    baseHits = 0;
                    for (int i = 0; i < 20; ++i) {
                        baseHits += static_cast<int>(builtU.find(u'!'));
                        auto found = std::search(builtU.begin(), builtU.end(), patternU.begin(), patternU.end(),
                                                 equalFolded);
                        baseHits += static_cast<int>(found - builtU.begin());
                        baseHits += static_cast<int>(builtU.find(patternU.substr(0, 6)));
                    }
                },
                nullptr, nullptr};
    table->compare("jstring find x60", ours, baseline, [&] { return ourHits == baseHits; });

    // Comparing two long equal strings, exact and ignoring case.
    rpJString copy;
    copy.append(built.get());
    copy.toLower();
    std::u16string copyU = builtU;
    for (char16_t& c : copyU)
        c = static_cast<char16_t>(jlower(c));
    int ourOrder = 0, baseOrder = 0;
    ours = {[&] {
                ourOrder = 0;
                for (int i = 0; i < 20; ++i) {
                    ourOrder += (built->comp(0, -1, &copy, 0, -1, true) == 0) +
                                (built->comp(0, -1, &copy, 0, -1, false) < 0);
                }
            },
            nullptr, nullptr};
    baseline = {[&] {
                    baseOrder = 0;
                    for (int i = 0; i < 20; ++i) {
                        bool equal = builtU.size() == copyU.size() &&
                                     std::equal(builtU.begin(), builtU.end(), copyU.begin(), equalFolded);
                        baseOrder += equal + (builtU.compare(copyU) < 0);
                    }
                },
                nullptr, nullptr};
    table->compare("jstring comp x40", ours, baseline, [&] { return ourOrder == baseOrder; });
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

// Dispatches messages, as a window's own loop would, while `going` says so and at most `limitMs`
// milliseconds; true when `going` ended it.
bool dispatchWhile(const std::function<bool()>& going, double limitMs)
{
    double start = nowMs();
    while (going()) {
        if (nowMs() - start > limitMs)
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

// Dispatches messages until the dialog's batch has shown every block; false after a minute.
bool waitForBatch(mainDialog& dialog)
{
    return dispatchWhile([&] { return dialog.batchRunning(); }, 60000);
}

// Dispatches messages for `ms` milliseconds, as a window's own loop would while a user looks.
void pauseDispatching(double ms)
{
    dispatchWhile([] { return true; }, ms);
}

// One batch of `files` through the dialog, waited for: the list's line count, or -1 when the
// batch did not finish.
int runBatch(mainDialog& dialog, HWND list, const std::vector<std::wstring>& files)
{
    dialog.probeFiles(files);
    if (!waitForBatch(dialog))
        return -1;
    UpdateWindow(list);
    return listCount(list);
}

void benchProbe()
{
    std::string dir = binDir();
    for (const char* name : ProbeFixtures) {
        if (!fileExists(dir + name)) {
            table->skip("probe", std::string("fixture missing: ") + name);
            return;
        }
    }
    const char* const bad[] = {"plug_fault_id.dll", "plug_exit.dll", "plug_fault_enum.dll", "plug_hang.dll"};
    for (const char* name : bad) {
        if (!fileExists(dir + name)) {
            table->skip("probe", std::string("fixture missing: ") + name);
            return;
        }
    }
    // One batch of 200 files, as one drop of them: every fixture, 25 times over.
    std::vector<std::wstring> files;
    for (int round = 0; round < ProbeRounds; ++round) {
        for (const char* name : ProbeFixtures)
            files.push_back(wide(dir + name));
    }
    const int count = static_cast<int>(files.size());
    int baseLines = 0;
    size_t textBytes = 0;
    Side bareLoop = {[&] {
                         baseLines = 0;
                         for (int round = 0; round < ProbeRounds; ++round) {
                             for (const char* name : ProbeFixtures)
                                 baseLines += bareProbe((dir + name).c_str(), textBytes);
                         }
                     },
                     nullptr, nullptr};
    char label[64];

    // The window's batch against the bare loop; the workers are the ones the untimed first
    // batch started.
    int ourLines = 0;
    bool finished = true;
    std::snprintf(label, sizeof label, "probe x%d (isolated batch)", count);
    bool ran = withMainDialog([&](mainDialog& dialog, HWND list) {
        Side batch = {[&] { ourLines = runBatch(dialog, list, files); }, nullptr,
                      [&] { finished = finished && ourLines >= 0; }};
        Row& row = table->compare(label, batch, bareLoop, [&] { return ourLines == baseLines; },
                                  ratioAtMost(1.0, "<=1"));
        if (!finished)
            row.note = "a batch did not finish";
    });
    if (!ran) {
        table->skip(label, "the main dialog did not run");
        return;
    }

    // The first batch of a window against the next one: a new window for each pair, the first
    // pair untimed. The first drop comes a second after the window showed, as a user's would:
    // the window starts its workers once it is on screen and idle.
    std::snprintf(label, sizeof label, "probe x%d (first, cold)", count);
    Row& cold = table->add(label, ratioAtMost(1.2, "<=1.2"));
    cold.note = "baseline: the next batch, warm";
    for (int i = 0; i <= table->runs(); ++i) {
        withMainDialog([&](mainDialog& dialog, HWND list) {
            pauseDispatching(1000);
            double start = nowMs();
            int coldLines = runBatch(dialog, list, files);
            double coldMs = nowMs() - start;
            start = nowMs();
            int warmLines = runBatch(dialog, list, files);
            double warmMs = nowMs() - start;
            cold.differ = cold.differ || coldLines != baseLines || warmLines != baseLines;
            if (i > 0) {
                cold.ours.add(coldMs);
                cold.baseline.add(warmMs);
            }
        });
    }

    // The same batch with a faulting, an exiting, an overflowing and a hanging plug-in in it
    // (limit one second), each replacing a well-behaved file, against the good batch in the
    // same window. Every run of it must show the same number of lines.
    std::vector<std::wstring> mixed = files;
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i)
        mixed[(i + 1) * mixed.size() / 5] = wide(dir + bad[i]);
    int mixedLines = 0, firstMixedLines = -1, goodLines = 0;
    bool steady = true;
    std::snprintf(label, sizeof label, "probe x%d, 4 bad (1 s limit)", count);
    ran = withMainDialog([&](mainDialog& dialog, HWND list) {
        dialog.batchSettings.timeoutMs = 1000;
        Side withBad = {[&] { mixedLines = runBatch(dialog, list, mixed); }, nullptr, [&] {
                            if (firstMixedLines < 0)
                                firstMixedLines = mixedLines;
                            steady = steady && mixedLines > 0 && mixedLines == firstMixedLines;
                        }};
        Side good = {[&] { goodLines = runBatch(dialog, list, files); }, nullptr,
                     [&] { steady = steady && goodLines == baseLines; }};
        Goal goal = {"<=1s+1.3x", [](double ours, double good) { return ours <= 1000 + 1.3 * good; }};
        Row& row = table->compare(label, withBad, good, [&] { return steady; }, goal);
        row.note = "baseline: the good batch";
    });
    if (!ran)
        table->skip(label, "the main dialog did not run");
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
                table->skip("validate", std::string("fixture missing: ") + name);
                return;
            }
            files += std::string(" ") + name;
        }
    }
    std::string listed, validated;
    Side validate = {[&] { validated = runWithoutWindow("--validate", files); }, nullptr, nullptr};
    Side list = {[&] { listed = runWithoutWindow("--list", files); }, nullptr, nullptr};
    char label[64];
    std::snprintf(label, sizeof label, "validate x%d vs list", ProbeRounds * static_cast<int>(sizeof ProbeFixtures / sizeof ProbeFixtures[0]));
    Row& row = table->compare(label, validate, list, [&] { return !listed.empty() && withoutFindings(validated) == listed; },
                              ratioAtMost(3.0, "<=3"));
    row.note = "both without a window, as a script runs them";
}

// ---------------------------------------------------------------------------------------------
// A folder batch

const int FolderRounds = 250;  // rounds over the fixtures: 2,000 files in the folder

// A folder of 2,000 plug-ins (the probe's fixtures, 250 times over) probed as a folder batch in
// the window against --list of the same folder: the list must not be what makes the window
// slow. Both show the same lines, the folder's summary included.
void benchFolder()
{
    const char* label = "folder x2000, window vs --list";
    std::string dir = binDir();
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "inspector-bench-folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<std::string> copies;
    for (int round = 0; round < FolderRounds; ++round) {
        for (const char* name : ProbeFixtures) {
            char copy[MAX_PATH];
            std::snprintf(copy, sizeof copy, "%s\\p%04d_%s", folder.c_str(), round, name);
            if (!CopyFileA((dir + name).c_str(), copy, FALSE)) {
                table->skip(label, std::string("could not copy ") + name);
                for (const std::string& made : copies)
                    DeleteFileA(made.c_str());
                RemoveDirectoryA(folder.c_str());
                return;
            }
            copies.push_back(copy);
        }
    }
    int windowLines = 0, listLines = 0;
    bool ran = withMainDialog([&](mainDialog& dialog, HWND list) {
        Side window = {[&] {
                           dialog.probeFiles({wide(folder)}, true);
                           windowLines = waitForBatch(dialog) ? listCount(list) : -1;
                           UpdateWindow(list);
                       },
                       nullptr, nullptr};
        Side listMode = {[&] {
                             std::string text = runWithoutWindow("--list", " \"" + folder + "\"");
                             listLines = text.empty() ? -1 : static_cast<int>(std::count(text.begin(), text.end(), '\n'));
                         },
                         nullptr, nullptr};
        Row& row = table->compare(label, window, listMode, [&] { return windowLines > 0 && windowLines == listLines; },
                                  ratioAtMost(1.5, "<=1.5"));
        char note[96];
        std::snprintf(note, sizeof note, "baseline: --list of the folder; %d lines", listLines);
        row.note = note;
    });
    if (!ran)
        table->skip(label, "the main dialog did not run");
    for (const std::string& made : copies)
        DeleteFileA(made.c_str());
    RemoveDirectoryA(folder.c_str());
}

// ---------------------------------------------------------------------------------------------
// Report copy

const int ReportLines = 10000;

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
        Side ours = {[&] { dialog.dataCopy(); }, nullptr, [&] { ourText = clipboardText(); }};
        Side baseline = {[&] { rawCopy(list); }, nullptr, [&] { baseText = clipboardText(); }};
        table->compare("report dataCopy 10000 lines", ours, baseline, [&] {
            return ourText == baseText && ourText.size() > static_cast<size_t>(ReportLines) * 2;
        }, ratioAtMost(1.2, "<=1.2"));
    });
    if (!ran)
        table->skip("report dataCopy 10000 lines", "the main dialog did not run");
}
#endif

// ---------------------------------------------------------------------------------------------
// Start-up

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
    const char* name = "start-up to visible dialog";
    if (!fileExists(inspector) || !fileExists(mini)) {
        table->skip(name, "plugin-inspector.exe or minidialog.exe not built");
        return;
    }
    // Only the time to the visible dialog counts, not closing it. The two programs take turns,
    // a new process each run; one untimed start each comes first.
    Row& row = table->add(name, ratioAtMost(1.1, "<=1.1"));
    row.note = "baseline: a minimal dialog program";
    timeStartup(inspector);
    timeStartup(mini);
    for (int i = 0; i < table->runs(); ++i) {
        double ours = timeStartup(inspector);
        double base = timeStartup(mini);
        if (ours < 0 || base < 0) {
            row.differ = true;  // a dialog did not appear
            continue;
        }
        row.ours.add(ours);
        row.baseline.add(base);
    }
}

// ---------------------------------------------------------------------------------------------
// Command line

bool wanted(int argc, char** argv, const char* section)
{
    bool anySection = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0)
            continue;
        anySection = true;
        if (std::strcmp(argv[i], section) == 0)
            return true;
    }
    return !anySection;
}

// --runs=N, at least the default.
int runsWanted(int argc, char** argv)
{
    int runs = DefaultRuns;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--runs=", 7) == 0)
            runs = std::max(DefaultRuns, std::atoi(argv[i] + 7));
    }
    return runs;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchTable rows(runsWanted(argc, argv));
    table = &rows;
    if (wanted(argc, argv, "streams")) {
        benchStreams();
        benchJString();
    }
#ifdef BENCH_HAVE_INSPECTOR
    if (wanted(argc, argv, "probe"))
        benchProbe();
    if (wanted(argc, argv, "validate"))
        benchValidate();
    if (wanted(argc, argv, "folder"))
        benchFolder();
    if (wanted(argc, argv, "report"))
        benchReport();
#endif
    if (wanted(argc, argv, "startup"))
        benchStartup();
    rows.print(stdout);
    return rows.resultsDiffer() ? 1 : 0;
}
