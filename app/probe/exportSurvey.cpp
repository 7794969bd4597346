// Reading what a library exports instead of the entry points it lacks.
#include "exportSurvey.h"

#include "peImage.h"

#include <cstring>

namespace {

// What one survey may read: a table of tens of thousands of names, not more.
constexpr ULONGLONG SurveyWork = 32ull * 1024 * 1024;
constexpr size_t SurveyMemory = 64 * 1024;

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(const std::string& text, const char* name)
{
    const size_t length = std::strlen(name);
    if (text.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (lowerAscii(text[i]) != lowerAscii(name[i]))
            return false;
    }
    return true;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The identifier that a C++ name declares, or an empty text when the name is none: MSVC's
// "?name@..." and GCC's "_Z<length><name>..." or, inside a namespace or class,
// "_ZN<length><name>...E..." (the last part is the function), with one more leading underscore
// as some 32-bit tools export it.
std::string cppIdentifier(const std::string& name)
{
    if (name.size() > 1 && name[0] == '?' && name[1] != '?') {
        const size_t at = name.find('@', 1);
        return at == std::string::npos ? std::string() : name.substr(1, at - 1);
    }
    size_t p = name.rfind("_Z", 0) == 0 ? 2 : name.rfind("__Z", 0) == 0 ? 3 : std::string::npos;
    if (p == std::string::npos)
        return std::string();
    if (p < name.size() && name[p] == 'L')
        ++p;  // internal linkage
    const bool nested = p < name.size() && name[p] == 'N';
    if (nested) {
        ++p;
        while (p < name.size() && name[p] != 0 && std::strchr("rVKRO", name[p]))
            ++p;  // qualifiers of a member function
    }
    std::string last;
    while (p < name.size() && isDigit(name[p])) {
        size_t length = 0;
        while (p < name.size() && isDigit(name[p])) {
            length = length * 10 + static_cast<size_t>(name[p++] - '0');
            if (length > name.size())
                return std::string();
        }
        if (length > name.size() - p)
            return std::string();
        last = name.substr(p, length);
        p += length;
        if (!nested)
            break;
    }
    return last;
}

}  // namespace

NearMissKind nearMissKind(const std::string& exported, const char* entry)
{
    const size_t length = std::strlen(entry);
    if (exported == entry || (exported.size() == length + 1 && exported[0] == '_' && exported.compare(1, length, entry) == 0))
        return NearMissKind::None;  // the probe takes it as it is
    std::string core = exported;
    // "@" and the size of the arguments at the end: the decoration of __stdcall and fastcall.
    bool decorated = false;
    const size_t at = core.rfind('@');
    if (at != std::string::npos && at > 0 && at + 1 < core.size() &&
        core.find_first_not_of("0123456789", at + 1) == std::string::npos) {
        core.erase(at);
        decorated = true;
    }
    const std::string identifier = cppIdentifier(core);
    if (!identifier.empty())
        return equalIgnoringCase(identifier, entry) ? NearMissKind::Cpp : NearMissKind::None;
    if (decorated) {
        if (core[0] == '_' || core[0] == '@')
            core.erase(0, 1);
        return equalIgnoringCase(core, entry) ? NearMissKind::Decorated : NearMissKind::None;
    }
    if (equalIgnoringCase(core, entry) || (core[0] == '_' && equalIgnoringCase(core.substr(1), entry)))
        return NearMissKind::OtherCase;
    return NearMissKind::None;
}

ExportSurvey::ExportSurvey(const std::wstring& path)
{
    PeImage image(path);
    if (image.status() != PeImage::Status::Ok)
        return;
    PeImage::Budget budget(SurveyWork, 1, SurveyMemory);
    const PeImage::Lookup read = image.exportedNames(budget, &exportCount_, [&](const std::string& name) {
        for (uint32_t entry = CallGetId; entry <= CallEnumFileExt; ++entry) {
            const char* entryName = pluginCallName(static_cast<PluginCall>(entry));
            if (name == entryName || (name[0] == '_' && name.compare(1, std::string::npos, entryName) == 0)) {
                exported_ |= 1u << entry;
                continue;
            }
            const NearMissKind kind = nearMissKind(name, entryName);
            if (kind == NearMissKind::None)
                continue;
            if (close_[entry].size() < MaxKept)
                close_[entry].push_back({name, kind});
            ++closeCount_[entry];
        }
    });
    complete_ = read == PeImage::Lookup::Found || read == PeImage::Lookup::Missing;
}

bool ExportSurvey::anyEntryPoint() const
{
    for (uint32_t entry = CallGetId; entry <= CallEnumFileExt; ++entry) {
        if (exports(static_cast<PluginCall>(entry)) || closeCount_[entry] > 0)
            return true;
    }
    return false;
}
