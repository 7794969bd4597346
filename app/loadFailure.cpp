// Explaining a failed load from the image tables and the loader's search.
#include "loadFailure.h"

#include "peImage.h"
#include "probe.h"
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

bool fileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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

const char* machineName(WORD machine, char* other, size_t size)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "x86";
    case IMAGE_FILE_MACHINE_AMD64: return "x64";
    case 0xAA64: return "ARM64";
    case IMAGE_FILE_MACHINE_ARMNT:
    case IMAGE_FILE_MACHINE_ARM: return "ARM";
    case IMAGE_FILE_MACHINE_IA64: return "IA64";
    default:
        formatBounded(other, static_cast<int>(size), "機種 %04x", machine);
        return other;
    }
}

// "32ビットのDLLです (x86)" and the like, for an image whose headers could be read.
std::string whatImage(const PeImage& image)
{
    char other[32];
    return line("%dビットのDLLです (%s)", image.is64() ? 64 : 32, machineName(image.machine(), other, sizeof other));
}

// The line for a file whose headers cannot be read as an image, or an empty text.
std::string damageLine(const PeImage& image, const std::string& name)
{
    switch (image.status()) {
    case PeImage::Status::Ok: return std::string();
    case PeImage::Status::CannotOpen: return line("  ファイルを読めません: %s (%lu)", name.c_str(), image.error());
    case PeImage::Status::NotImage: return line("  WindowsのDLLではありません: %s", name.c_str());
    case PeImage::Status::Truncated: return line("  ファイルが途中で切れています: %s", name.c_str());
    case PeImage::Status::BadHeaders: return line("  ヘッダが壊れています: %s", name.c_str());
    }
    return std::string();
}

// What the loader would do with an imported library's name.
struct Resolution {
    enum Kind { Missing, Found, SystemResolved } kind = Missing;
    std::wstring path;   // the file, when found
    bool loaded = false; // already loaded in this process, or a known library: its own
                         // dependencies are the system's business
};

Resolution resolve(const std::string& name, const LibrarySearch& search)
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
        if (fileExists(wide)) {
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
        std::wstring candidate = joined(folder, wide);
        if (fileExists(candidate)) {
            result.kind = Resolution::Found;
            result.path = candidate;
            return result;
        }
    }
    return result;
}

// The findings of one walk over a library and its dependencies.
struct Findings {
    std::vector<std::string> missingLibraries;
    std::vector<std::string> missingFunctions;
    std::vector<std::string> otherMachine;  // dependencies built for another machine than the file
    std::vector<std::string> damaged;
};

// Reads the import tables of the file and of every dependency found, breadth first, each
// library once; checks every imported function against the export table of its library.
Findings walkImports(const std::wstring& path, const LibrarySearch& search)
{
    struct Pending {
        std::wstring path;
        std::string name;    // as shown
        bool root;
    };
    Findings findings;
    // Libraries met so far by lower-case name, with their files: the loader takes a library
    // whose name it has already loaded (the file itself included) as that one.
    std::map<std::wstring, std::wstring> met;
    std::set<std::wstring> reportedMissing;
    std::set<std::string> reportedFunctions;
    std::map<std::wstring, std::unique_ptr<PeImage::ExportTable>> exportsOf;  // by lower-case path; null: broken
    std::deque<Pending> pending = {{path, fileNameOf(path), true}};
    met[lower(toWide(fileNameOf(path)))] = path;
    WORD rootMachine = 0;
    size_t visited = 0;

    while (!pending.empty() && visited < MaxModules) {
        Pending module = pending.front();
        pending.pop_front();
        ++visited;
        PeImage image(module.path);
        if (module.root && image.status() == PeImage::Status::CannotOpen &&
            (image.error() == ERROR_FILE_NOT_FOUND || image.error() == ERROR_PATH_NOT_FOUND)) {
            findings.missingLibraries.push_back(line("  見つからないDLL: %s", module.name.c_str()));
            continue;
        }
        std::string damage = damageLine(image, module.name);
        if (!damage.empty()) {
            findings.damaged.push_back(damage);
            continue;
        }
        if (module.root) {
            rootMachine = image.machine();
        } else if (image.machine() != rootMachine) {
            char other[32];
            findings.otherMachine.push_back(line("  形式の違うDLL: %s (%s)", module.name.c_str(),
                                                 machineName(image.machine(), other, sizeof other)));
        }
        std::vector<PeImage::ImportedLibrary> libraries;
        if (!image.imports(&libraries))
            findings.damaged.push_back(line("  インポート表が壊れています: %s", module.name.c_str()));

        for (const PeImage::ImportedLibrary& library : libraries) {
            const std::string name = shownName(library.name);
            const std::wstring key = lower(toWide(library.name));
            auto known = met.find(key);
            Resolution found;
            if (known != met.end()) {
                found.kind = Resolution::Found;
                found.path = known->second;
                found.loaded = true;  // visited already, or on its way
            } else {
                found = resolve(library.name, search);
            }
            if (found.kind == Resolution::SystemResolved)
                continue;
            if (found.kind == Resolution::Missing) {
                if (reportedMissing.insert(key).second) {
                    findings.missingLibraries.push_back(
                        module.root ? line("  見つからないDLL: %s", name.c_str())
                                    : line("  見つからないDLL: %s (%s が必要とする)", name.c_str(), module.name.c_str()));
                }
                continue;
            }
            // The functions it must export.
            const std::wstring exportKey = lower(found.path);
            auto cached = exportsOf.find(exportKey);
            if (cached == exportsOf.end()) {
                std::unique_ptr<PeImage::ExportTable> table(new PeImage::ExportTable);
                PeImage dependency(found.path);
                if (dependency.status() != PeImage::Status::Ok || !dependency.exports(table.get())) {
                    table.reset();
                    if (dependency.status() == PeImage::Status::Ok)
                        findings.damaged.push_back(line("  エクスポート表が壊れています: %s", name.c_str()));
                }
                cached = exportsOf.emplace(exportKey, std::move(table)).first;
            }
            if (const PeImage::ExportTable* table = cached->second.get()) {
                for (const PeImage::ImportedFunction& function : library.functions) {
                    std::string missing;
                    if (function.name.empty()) {
                        if (!table->hasOrdinal(function.ordinal))
                            missing = line("  見つからない関数: %s!#%lu", name.c_str(), function.ordinal);
                    } else if (!table->hasName(function.name)) {
                        missing = line("  見つからない関数: %s!%s", name.c_str(), shownName(function.name).c_str());
                    }
                    if (!missing.empty() && reportedFunctions.insert(missing).second)
                        findings.missingFunctions.push_back(missing);
                }
            }
            if (met.emplace(key, found.path).second && !found.loaded)
                pending.push_back({found.path, name, false});
        }
    }
    return findings;
}

// Adds findings to lines, at most MaxFindings of them, then one line counting the rest.
void addFindings(std::vector<std::string>& lines, const std::vector<std::string>& findings)
{
    for (size_t i = 0; i < findings.size() && i < MaxFindings; ++i)
        lines.push_back(findings[i]);
    if (findings.size() > MaxFindings)
        lines.push_back(line("  ほか %lu 件", static_cast<unsigned long>(findings.size() - MaxFindings)));
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
        // nothing was found when both are empty.
        Findings found = walkImports(path, search);
        bool libraries = error == ERROR_MOD_NOT_FOUND;
        std::vector<std::string> all = libraries ? found.missingLibraries : found.missingFunctions;
        all.insert(all.end(), found.damaged.begin(), found.damaged.end());
        if (all.empty())
            all.push_back(libraries ? "  見つからないDLLは特定できません" : "  見つからない関数は特定できません");
        addFindings(lines, all);
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
        // What the file is; for a library of this process's own kind the fault lies with a
        // dependency of another kind.
        if (image.status() == PeImage::Status::NotImage)
            lines.push_back("  WindowsのDLLではありません");
        else if (!damage.empty())
            lines.push_back(damage);
        else
            lines.push_back("  " + whatImage(image));
        const WORD ownMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
        if (image.status() == PeImage::Status::Ok && image.machine() == ownMachine) {
            Findings found = walkImports(path, search);
            addFindings(lines, found.otherMachine);
        }
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
