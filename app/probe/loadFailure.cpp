// Explaining a failed load from the image tables and the loader's search.
#include "loadFailure.h"

#include "fileSystem.h"
#include "lineFormat.h"
#include "peImage.h"
#include "textCodec.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>

namespace {

constexpr size_t MaxModules = 256;  // libraries whose tables one explanation reads
constexpr size_t MaxFindings = 30;  // lines of findings; the rest are counted in one line
constexpr size_t MaxShownName = 120;  // bytes of a name taken from a table that a line shows

// What one explanation may cost, whatever the shape of the tables it meets: the bytes of tables
// examined (about a second of work), files opened or looked for, and memory kept.
constexpr ULONGLONG ExplainWork = 64ull * 1024 * 1024;
constexpr DWORD ExplainFiles = 4096;
constexpr size_t ExplainMemory = 4 * 1024 * 1024;
// What a container entry costs beyond its text, counted against the memory budget.
constexpr size_t EntryCost = 64;

const WORD OwnMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

std::wstring lower(std::wstring text)
{
    if (!text.empty())
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// A name read from a file as a line can show it: printable characters and whole double-byte
// characters of the code page; anything else (control bytes, a lone lead byte) becomes '?'.
std::string shownName(const std::string& name)
{
    std::string shown;
    for (size_t i = 0; i < name.size() && shown.size() < MaxShownName; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsDBCSLeadByte(c) && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x40) {
            shown += name.substr(i, 2);
            ++i;
        } else {
            shown += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
    }
    return shown;
}

std::string fileNameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return fromWide(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

bool isApiSet(const std::string& name)
{
    const std::wstring low = lower(toWide(name));
    return low.rfind(L"api-ms-win-", 0) == 0 || low.rfind(L"ext-ms-", 0) == 0;
}

std::wstring joined(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty())
        return name;
    wchar_t last = folder.back();
    return last == L'\\' || last == L'/' ? folder + name : folder + L"\\" + name;
}

#ifdef __GNUC__
__attribute__((format(gnu_printf, 1, 2)))
#endif
std::string line(const char* format, ...)
{
    char text[ProbeTextSize];
    va_list args;
    va_start(args, format);
    char whole[2048];
    vsnprintf(whole, sizeof whole, format, args);
    va_end(args);
    formatBounded(text, sizeof text, "%s", whole);
    return text;
}

// The machine's name and the pointer size its images are built for (0 when unknown).
const char* machineName(WORD machine, int* bits)
{
    *bits = 64;
    switch (machine) {
    case IMAGE_FILE_MACHINE_AMD64: return "x64";
    case 0xAA64: return "ARM64";
    case IMAGE_FILE_MACHINE_IA64: return "IA64";
    default: break;
    }
    *bits = 32;
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "x86";
    case IMAGE_FILE_MACHINE_ARMNT:
    case IMAGE_FILE_MACHINE_THUMB:
    case IMAGE_FILE_MACHINE_ARM: return "ARM";
    default: break;
    }
    *bits = 0;
    return nullptr;
}

std::string machineText(WORD machine)
{
    int bits = 0;
    const char* name = machineName(machine, &bits);
    return name ? std::string(name) : line("機種 %04x", machine);
}

// "  32ビットのDLLです (x86)" and the like: what the machine field says, whatever the rest of
// the headers claim.
std::string bitnessLine(WORD machine)
{
    int bits = 0;
    const char* name = machineName(machine, &bits);
    if (!name)
        return line("  未知の機種のDLLです (機種 %04x)", machine);
    return line("  %dビットのDLLです (%s)", bits, name);
}

// What a header fault is, in a few words.
std::string headerFaultText(const PeImage::HeaderFault& fault)
{
    const unsigned long long value = fault.value;
    const unsigned long long limit = fault.limit;
    switch (fault.kind) {
    case PeImage::HeaderFault::None: break;
    case PeImage::HeaderFault::OptionalHeaderKind: return line("オプションヘッダの種類 %04llx", value);
    case PeImage::HeaderFault::OptionalHeaderSize: return line("オプションヘッダの大きさ %llu", value);
    case PeImage::HeaderFault::OptionalHeaderMachine: return "オプションヘッダが機種と合いません";
    case PeImage::HeaderFault::SectionCount: return line("セクション数 %llu、最大 %llu", value, limit);
    case PeImage::HeaderFault::Alignment: return line("FileAlignment %llx、SectionAlignment %llx", value, limit);
    case PeImage::HeaderFault::HeadersSize: return line("SizeOfHeaders %llx が SizeOfImage %llx を超えます", value, limit);
    case PeImage::HeaderFault::ImageSize: return line("SizeOfImage %llx、セクションは %llx まで", value, limit);
    case PeImage::HeaderFault::SectionPlacement: return line("セクション %llu の位置", value);
    case PeImage::HeaderFault::SectionData: return line("セクション %llu のデータの位置", value);
    }
    return std::string();
}

std::string headerFaultLine(const PeImage::HeaderFault& fault, const std::string& name)
{
    return line("  ヘッダが壊れています: %s (%s)", name.c_str(), headerFaultText(fault).c_str());
}

// The line for a file whose tables cannot be read, or an empty text.
std::string damageLine(const PeImage& image, const std::string& name)
{
    switch (image.status()) {
    case PeImage::Status::Ok: return std::string();
    case PeImage::Status::CannotOpen: return line("  ファイルを読めません: %s (%lu)", name.c_str(), image.error());
    case PeImage::Status::NotImage: return line("  WindowsのDLLではありません: %s", name.c_str());
    case PeImage::Status::Truncated: return line("  ファイルが途中で切れています: %s", name.c_str());
    case PeImage::Status::BadHeaders: return headerFaultLine(image.headerFault(), name);
    }
    return std::string();
}

// Whether the fault says the table is broken (not only that reading it stopped).
bool isBroken(const PeImage::ImportFault& fault)
{
    return fault.kind != PeImage::ImportFault::None && fault.kind != PeImage::ImportFault::OverBudget;
}

std::string importFaultLine(const PeImage::ImportFault& fault, const std::string& name)
{
    std::string what;
    switch (fault.kind) {
    case PeImage::ImportFault::None:
    case PeImage::ImportFault::OverBudget: return std::string();
    case PeImage::ImportFault::Outside: what = "表が画像の外にあります"; break;
    case PeImage::ImportFault::Unterminated: what = "表の終わりがありません"; break;
    case PeImage::ImportFault::LibraryName: what = "DLL名を読めません"; break;
    case PeImage::ImportFault::FunctionList: what = shownName(fault.library) + " の関数表を読めません"; break;
    case PeImage::ImportFault::FunctionName: what = shownName(fault.library) + " の関数名を読めません"; break;
    }
    return line("  インポート表が壊れています: %s (%s)", name.c_str(), what.c_str());
}

// What the loader would do with an imported library's name.
struct Resolution {
    enum Kind { Missing, Found, SystemResolved, Unknown } kind = Missing;  // Unknown: over budget
    std::wstring path;   // the file, when found
    bool loaded = false; // already loaded in this process, or a known library: its own
                         // dependencies are the system's business
};

Resolution resolve(const std::string& name, const LibrarySearch& search, PeImage::Budget& budget)
{
    Resolution result;
    if (isApiSet(name)) {
        result.kind = Resolution::SystemResolved;
        return result;
    }
    const std::wstring wide = toWide(name);
    if (wide.empty())
        return result;
    if (wide.find_first_of(L"\\/") != std::wstring::npos) {
        if (!budget.touchFile())
            result.kind = Resolution::Unknown;
        else if (fileExists(wide)) {
            result.kind = Resolution::Found;
            result.path = wide;
        }
        return result;
    }
    if (search.useLoadedModules) {
        if (HMODULE loaded = GetModuleHandleW(wide.c_str())) {
            wchar_t path[MAX_PATH * 4] = L"";
            DWORD length = GetModuleFileNameW(loaded, path, MAX_PATH * 4);
            result.kind = Resolution::Found;
            result.path.assign(path, length);
            result.loaded = true;
            return result;
        }
    }
    const std::wstring low = lower(wide);
    for (const std::wstring& known : search.knownLibraries) {
        if (known == low) {
            result.kind = Resolution::Found;
            result.path = joined(search.systemFolder, wide);
            result.loaded = true;
            return result;
        }
    }
    for (const std::wstring& folder : search.folders) {
        if (!budget.touchFile()) {
            result.kind = Resolution::Unknown;
            return result;
        }
        std::wstring candidate = joined(folder, wide);
        if (fileExists(candidate)) {
            result.kind = Resolution::Found;
            result.path = candidate;
            return result;
        }
    }
    return result;
}

// Lines of one kind of finding: the first MaxFindings are kept, the rest only counted.
struct FindingList {
    std::vector<std::string> lines;
    size_t count = 0;
    void add(const std::string& text)
    {
        if (lines.size() < MaxFindings)
            lines.push_back(text);
        ++count;
    }
};

// The findings of one walk over a library and its dependencies.
struct Findings {
    FindingList missingLibraries;
    FindingList missingFunctions;
    FindingList otherMachine;  // dependencies built for another machine than the file
    FindingList damaged;
    bool tooManyLibraries = false;  // the walk stopped at MaxModules
    std::string debugRuntime;       // the first debug C runtime imported, as shown
    std::string debugRuntimeVia;    // the library that imports it; empty: the file itself
};

// What a walk reads beyond the import tables' library names: for missing libraries nothing
// more, for missing functions every function list against the export table of its library,
// for an image the loader refused every function list for damage.
enum class WalkPurpose { MissingLibraries, MissingFunctions, ImageFormat };

// Reads the import tables of a file and of every dependency found, breadth first, each file
// once (by its identity, whatever name led to it), within the budget. In every table the
// library names are read and looked for before any function list, so that a missing library is
// named even when a function list is broken or too costly to read.
class ImportWalk {
public:
    ImportWalk(const LibrarySearch& search, WalkPurpose purpose, PeImage::Budget& budget)
        : search_(search), purpose_(purpose), budget_(budget)
    {
    }
    ImportWalk(const ImportWalk&) = delete;
    ImportWalk& operator=(const ImportWalk&) = delete;

    Findings run(const std::wstring& path);

private:
    struct Module {
        std::wstring path;
        std::string name;  // as shown
        bool root;
    };
    // Reads one file's tables.
    void walk(const Module& module);
    // The file of each library, empty when it is missing or the system resolves it; a missing
    // library is reported and a new one queued.
    std::vector<std::wstring> findLibraries(const Module& module, const std::vector<PeImage::ImportedLibrary>& libraries);
    // Reads the library's function list, checking each function against `exporter` (when not
    // null); returns the list's fault.
    PeImage::ImportFault readFunctions(const PeImage& image, const PeImage::ImportedLibrary& library, const PeImage* exporter);

    const LibrarySearch& search_;
    const WalkPurpose purpose_;
    PeImage::Budget& budget_;  // not owned
    Findings findings_;
    // Libraries met so far by lower-case name, with their files: the loader takes a library
    // whose name it has already loaded (the file itself included) as that one.
    std::map<std::wstring, std::wstring> met_;
    std::set<std::wstring> reportedMissing_;
    std::set<std::string> reportedFunctions_;
    std::set<FileIdentity> visited_;  // the files whose tables were read
    std::set<FileIdentity> brokenExports_;  // reported already
    std::deque<Module> pending_;
    WORD rootMachine_ = 0;
    std::wstring rootFolder_;  // the folder of the file itself, with its separator
};

Findings ImportWalk::run(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    rootFolder_ = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    pending_.push_back({path, fileNameOf(path), true});
    met_[lower(toWide(fileNameOf(path)))] = path;
    while (!pending_.empty() && !budget_.exhausted()) {
        if (visited_.size() == MaxModules) {
            findings_.tooManyLibraries = true;
            break;
        }
        Module module = pending_.front();
        pending_.pop_front();
        walk(module);
    }
    return findings_;
}

void ImportWalk::walk(const Module& module)
{
    if (!budget_.touchFile())
        return;
    PeImage image(module.path);
    FileIdentity identity;
    if (image.identity(&identity)) {
        if (visited_.count(identity) || !budget_.keep(EntryCost))
            return;  // the same file under another name
        visited_.insert(identity);
    }
    if (!budget_.examine(image.headerBytes()))
        return;
    if (module.root && image.status() == PeImage::Status::CannotOpen &&
        (image.error() == ERROR_FILE_NOT_FOUND || image.error() == ERROR_PATH_NOT_FOUND)) {
        findings_.missingLibraries.add(line("  見つからないDLL: %s", module.name.c_str()));
        return;
    }
    std::string damage = damageLine(image, module.name);
    if (!damage.empty()) {
        findings_.damaged.add(damage);
        return;
    }
    if (module.root)
        rootMachine_ = image.machine();
    else if (image.machine() != rootMachine_)
        findings_.otherMachine.add(line("  形式の違うDLL: %s (%s)", module.name.c_str(), machineText(image.machine()).c_str()));

    std::vector<PeImage::ImportedLibrary> libraries;
    PeImage::ImportFault fault = image.importedLibraries(&libraries, budget_);
    bool damageShown = isBroken(fault);
    if (damageShown)
        findings_.damaged.add(importFaultLine(fault, module.name));
    const std::vector<std::wstring> files = findLibraries(module, libraries);
    if (purpose_ == WalkPurpose::MissingLibraries)
        return;
    for (size_t i = 0; i < libraries.size() && !budget_.exhausted(); ++i) {
        // The library's exports, when its functions are to be checked.
        std::unique_ptr<PeImage> exporter;
        if (purpose_ == WalkPurpose::MissingFunctions && !files[i].empty() && budget_.touchFile()) {
            exporter.reset(new PeImage(files[i]));
            if (exporter->status() != PeImage::Status::Ok || !budget_.examine(exporter->headerBytes()))
                exporter.reset();
        }
        fault = readFunctions(image, libraries[i], exporter.get());
        if (!damageShown && isBroken(fault)) {
            damageShown = true;
            findings_.damaged.add(importFaultLine(fault, module.name));
        }
    }
}

std::vector<std::wstring> ImportWalk::findLibraries(const Module& module, const std::vector<PeImage::ImportedLibrary>& libraries)
{
    std::vector<std::wstring> files(libraries.size());
    for (size_t i = 0; i < libraries.size() && !budget_.exhausted(); ++i) {
        const std::string& tableName = libraries[i].name;
        const std::string name = shownName(tableName);
        const std::wstring key = lower(toWide(tableName));
        if (findings_.debugRuntime.empty() && isDebugRuntime(tableName)) {
            findings_.debugRuntime = name;
            findings_.debugRuntimeVia = module.root ? std::string() : module.name;
        }
        auto known = met_.find(key);
        Resolution found;
        if (known != met_.end()) {
            found.kind = Resolution::Found;
            found.path = known->second;
            found.loaded = true;  // visited already, or on its way
        } else {
            found = resolve(tableName, search_, budget_);
        }
        if (found.kind == Resolution::SystemResolved || found.kind == Resolution::Unknown)
            continue;
        if (found.kind == Resolution::Missing) {
            if (!reportedMissing_.count(key) && budget_.keep(EntryCost + key.size() * sizeof(wchar_t))) {
                reportedMissing_.insert(key);
                findings_.missingLibraries.add(module.root ? line("  見つからないDLL: %s", name.c_str())
                                                           : line("  見つからないDLL: %s (%s が必要とする)", name.c_str(),
                                                                  module.name.c_str()));
                // Next to the plug-in, where a host that loads it by its full path never looks.
                const std::wstring besideFile = joined(rootFolder_, toWide(tableName));
                if (!rootFolder_.empty() && tableName.find_first_of("\\/") == std::string::npos && budget_.touchFile() &&
                    fileExists(besideFile))
                    findings_.missingLibraries.add(
                        "    プラグインと同じフォルダにありますが、フルパスで読み込まれたプラグインのフォルダは探されません");
            }
            continue;
        }
        files[i] = found.path;
        if (known == met_.end() &&
            budget_.keep(EntryCost * 2 + (key.size() + 2 * found.path.size()) * sizeof(wchar_t) + name.size())) {
            met_.emplace(key, found.path);
            if (!found.loaded)
                pending_.push_back({found.path, name, false});
        }
    }
    return files;
}

PeImage::ImportFault ImportWalk::readFunctions(const PeImage& image, const PeImage::ImportedLibrary& library,
                                               const PeImage* exporter)
{
    const std::string name = shownName(library.name);
    bool exportsBroken = false;
    PeImage::ImportFault fault = image.importedFunctions(library, budget_, [&](const PeImage::ImportedFunction& function) {
        if (!exporter || exportsBroken)
            return;
        const PeImage::Lookup found = exporter->findExport(function, budget_);
        exportsBroken = found == PeImage::Lookup::Broken;
        if (found != PeImage::Lookup::Missing)
            return;
        const std::string missing = function.name.empty()
                                        ? line("  見つからない関数: %s!#%lu", name.c_str(), function.ordinal)
                                        : line("  見つからない関数: %s!%s", name.c_str(), shownName(function.name).c_str());
        if (!reportedFunctions_.count(missing) && budget_.keep(EntryCost + missing.size())) {
            reportedFunctions_.insert(missing);
            findings_.missingFunctions.add(missing);
        }
    });
    FileIdentity identity;
    if (exportsBroken && exporter->identity(&identity) && !brokenExports_.count(identity) && budget_.keep(EntryCost)) {
        brokenExports_.insert(identity);
        findings_.damaged.add(line("  エクスポート表が壊れています: %s", name.c_str()));
    }
    return fault;
}

Findings walkImports(const std::wstring& path, const LibrarySearch& search, WalkPurpose purpose, PeImage::Budget& budget)
{
    return ImportWalk(search, purpose, budget).run(path);
}

// Adds the findings of the lists in order to lines, at most MaxFindings of them, then one line
// counting the rest.
void addFindings(std::vector<std::string>& lines, const std::vector<const FindingList*>& lists)
{
    size_t shown = 0;
    size_t total = 0;
    for (const FindingList* list : lists) {
        for (size_t i = 0; i < list->lines.size() && shown < MaxFindings; ++i, ++shown)
            lines.push_back(list->lines[i]);
        total += list->count;
    }
    if (total > shown)
        lines.push_back(line("  ほか %lu 件", static_cast<unsigned long>(total - shown)));
}

// The line that says an explanation stopped before its end, or an empty text.
std::string stoppedLine(const Findings& findings, const PeImage::Budget& budget)
{
    if (findings.tooManyLibraries || budget.exhaustedBy() == PeImage::Budget::Limit::Files)
        return "  説明を打ち切りました: DLLが多すぎます";
    if (budget.exhausted())
        return "  説明を打ち切りました: 表が大きすぎます";
    return std::string();
}

// Why an image of this process's own machine was refused as not a valid image: the header
// value the loader refuses, a broken import table, a dependency that is damaged or built for
// another machine.
void explainOwnImage(const std::wstring& path, const PeImage& image, const LibrarySearch& search,
                     std::vector<std::string>& lines)
{
    const size_t before = lines.size();
    const PeImage::HeaderFault fault = image.headerFault();
    if (fault.kind != PeImage::HeaderFault::None)
        lines.push_back(headerFaultLine(fault, fileNameOf(path)));
    PeImage::Budget budget(ExplainWork, ExplainFiles, ExplainMemory);
    Findings found = walkImports(path, search, WalkPurpose::ImageFormat, budget);
    addFindings(lines, {&found.damaged, &found.otherMachine});
    if (lines.size() == before) {
        int bits = 0;
        const char* machine = machineName(image.machine(), &bits);
        lines.push_back(line("  %dビットのDLL (%s) ですが、読み込めない理由は見つかりません", bits, machine));
    }
    std::string stopped = stoppedLine(found, budget);
    if (!stopped.empty())
        lines.push_back(stopped);
}

std::vector<std::wstring> knownLibraryNames()
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        wchar_t data[MAX_PATH];
        DWORD nameLength = 256;
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        LONG result = RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;  // DllDirectory (an expandable folder) and values too long for a name
        data[dataSize / sizeof(wchar_t)] = 0;
        names.push_back(lower(data));
    }
    RegCloseKey(key);
    return names;
}

}  // namespace

LibrarySearch LibrarySearch::ofThisProcess()
{
    LibrarySearch search;
    wchar_t buffer[32768];
    DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    std::wstring executable(buffer, length < 32768 ? length : 0);
    size_t slash = executable.find_last_of(L"\\/");
    std::wstring executableFolder = slash == std::wstring::npos ? std::wstring() : executable.substr(0, slash);

    length = GetSystemDirectoryW(buffer, MAX_PATH);
    search.systemFolder.assign(buffer, length < MAX_PATH ? length : 0);
    length = GetWindowsDirectoryW(buffer, MAX_PATH);
    std::wstring windowsFolder(buffer, length < MAX_PATH ? length : 0);
    length = GetCurrentDirectoryW(32768, buffer);
    std::wstring currentFolder(buffer, length < 32768 ? length : 0);

    // Safe search (the default) puts the current folder after the system's folders.
    DWORD safe = 1;
    DWORD size = sizeof safe;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", L"SafeDllSearchMode",
                     RRF_RT_REG_DWORD, nullptr, &safe, &size) != ERROR_SUCCESS)
        safe = 1;

    search.folders.push_back(executableFolder);
    if (!safe)
        search.folders.push_back(currentFolder);
    search.folders.push_back(search.systemFolder);
    if (!windowsFolder.empty())
        search.folders.push_back(windowsFolder + L"\\System");
    search.folders.push_back(windowsFolder);
    if (safe)
        search.folders.push_back(currentFolder);

    length = GetEnvironmentVariableW(L"PATH", buffer, 32768);
    std::wstring path(buffer, length < 32768 ? length : 0);
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
            folder = folder.substr(1, folder.size() - 2);
        if (!folder.empty())
            search.folders.push_back(folder);
        start = end + 1;
    }
    search.knownLibraries = knownLibraryNames();
    return search;
}

std::string systemMessageLine(DWORD error)
{
    // A failure the system has no Win32 code for reaches us as this code, whose own text is a
    // template about message files.
    if (error == ERROR_MR_MID_NOT_FOUND)
        return "  システムの状態コードに対応するエラー番号がありません";
    char* message = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    std::string text;
    if (message) {
        // One line: line breaks and tabs become blanks, runs of blanks one blank; the inserts
        // that the text expects (%1, %2!s!...) are shown as an ellipsis, and the escapes (%%,
        // %n...) as what they stand for. Only ASCII bytes are replaced, and those are never the
        // trail byte of a Shift-JIS character (trail bytes start at 0x40).
        for (DWORD i = 0; i < length; ++i) {
            char c = message[i];
            if (c == '%' && i + 1 < length) {
                const char next = message[i + 1];
                if (next >= '1' && next <= '9') {
                    i += 2;
                    while (i < length && message[i] >= '0' && message[i] <= '9')
                        ++i;
                    if (i < length && message[i] == '!') {
                        const char* close = static_cast<const char*>(std::memchr(message + i + 1, '!', length - i - 1));
                        if (close)
                            i = static_cast<DWORD>(close - message) + 1;
                    }
                    --i;
                    text += "…";
                    continue;
                }
                if (next == '0')
                    break;
                ++i;
                c = next == 'n' || next == 'r' || next == 't' ? ' ' : next;
            }
            if (c == '\r' || c == '\n' || c == '\t')
                c = ' ';
            if (c == ' ' && (text.empty() || text.back() == ' '))
                continue;
            text += c;
            if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < length)
                text += message[++i];
        }
        LocalFree(message);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
    }
    if (text.empty())
        return line("  エラー %lu の説明はありません", error);
    return line("  %s", text.c_str());
}

std::vector<std::string> explainLoadError(const std::wstring& path, DWORD error, const LibrarySearch& search)
{
    std::vector<std::string> lines;
    switch (error) {
    case ERROR_MOD_NOT_FOUND:
    case ERROR_PROC_NOT_FOUND: {
        // What is missing, then the tables that could not be read on the way; a line that says
        // nothing was found when both are empty, and one that says so when the walk stopped
        // early.
        const bool libraries = error == ERROR_MOD_NOT_FOUND;
        PeImage::Budget budget(ExplainWork, ExplainFiles, ExplainMemory);
        Findings found = walkImports(path, search, libraries ? WalkPurpose::MissingLibraries : WalkPurpose::MissingFunctions,
                                     budget);
        const FindingList& missing = libraries ? found.missingLibraries : found.missingFunctions;
        addFindings(lines, {&missing, &found.damaged});
        std::string stopped = stoppedLine(found, budget);
        if (lines.empty() && stopped.empty())
            lines.push_back(libraries ? "  見つからないDLLは特定できません" : "  見つからない関数は特定できません");
        if (!stopped.empty())
            lines.push_back(stopped);
        return lines;
    }
    case ERROR_DLL_INIT_FAILED:
        lines.push_back("  初期化ルーチン(DllMain)が失敗を返しました");
        return lines;
    default:
        break;
    }

    PeImage image(path);
    std::string damage = damageLine(image, fileNameOf(path));
    if (error == ERROR_BAD_EXE_FORMAT) {
        // What the file is. The machine field decides which library it is; for one of this
        // process's own machine, what in it the loader refused.
        const PeImage::Status status = image.status();
        if (status == PeImage::Status::NotImage)
            lines.push_back("  WindowsのDLLではありません");
        else if (status == PeImage::Status::CannotOpen || status == PeImage::Status::Truncated)
            lines.push_back(damage);
        else if (image.machine() != OwnMachine)
            lines.push_back(bitnessLine(image.machine()));
        else if (status == PeImage::Status::BadHeaders)
            lines.push_back(damage);
        else
            explainOwnImage(path, image, search, lines);
        return lines;
    }
    lines.push_back(systemMessageLine(error));
    if (!damage.empty() && image.status() != PeImage::Status::CannotOpen)
        lines.push_back(damage);
    return lines;
}

std::vector<std::string> explainLoadError(const std::wstring& path, DWORD error)
{
    return explainLoadError(path, error, LibrarySearch::ofThisProcess());
}

bool isDebugRuntime(const std::string& name)
{
    const std::wstring low = lower(toWide(name));
    auto matches = [&low](const wchar_t* prefix, const wchar_t* suffix) {
        const size_t p = wcslen(prefix), s = wcslen(suffix);
        return low.size() >= p + s && low.compare(0, p, prefix) == 0 && low.compare(low.size() - s, s, suffix) == 0;
    };
    return matches(L"msvcr", L"d.dll") || matches(L"msvcp", L"d.dll") || matches(L"vcruntime", L"d.dll") ||
           low == L"ucrtbased.dll" || matches(L"mfc", L"d.dll");
}

bool findDebugRuntime(const std::wstring& path, const LibrarySearch& search, std::string* runtime, std::string* via)
{
    PeImage::Budget budget(ExplainWork, ExplainFiles, ExplainMemory);
    Findings found = walkImports(path, search, WalkPurpose::MissingLibraries, budget);
    *runtime = found.debugRuntime;
    *via = found.debugRuntimeVia;
    return !runtime->empty();
}

DWORD checkBeforeLoad(const std::wstring& path)
{
    // No other file is compared with this one: its identity is not asked.
    PeImage image(path, PeImage::Identity::Skip);
    if (image.status() != PeImage::Status::Ok || image.machine() != OwnMachine)
        return 0;
    // Only what the loader will read, with a budget of its own: a table too large to check in
    // full is left to the loader.
    PeImage::Budget budget(ExplainWork, 0, ExplainMemory);
    std::vector<PeImage::ImportedLibrary> libraries;
    PeImage::ImportFault fault = image.importedLibraries(&libraries, budget);
    for (size_t i = 0; i < libraries.size() && !isBroken(fault) && !budget.exhausted(); ++i)
        fault = image.importedFunctions(libraries[i], budget, [](const PeImage::ImportedFunction&) {});
    return isBroken(fault) ? ERROR_BAD_EXE_FORMAT : 0;
}
