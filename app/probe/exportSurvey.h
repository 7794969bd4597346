// Why a library is not a plug-in: which of the six entry points it exports under a name that
// the probe takes (the plain name, or the name with a leading underscore), and which exports come
// close to one that it lacks. An entry point comes close when it was exported decorated
// (_MQGetPlugInID@8 or MQGetPlugInID@8: declared __stdcall, or exported without a .def file),
// as a C++ name (_Z13MQGetPlugInIDPmS_, ?MQGetPlugInID@@YAXPAK0@Z: declared without
// extern "C"), or with other cases of letters (mqGetPluginID). Read from the file's export table
// within a bound of its own; a survey keeps only the few names it reports.
#ifndef INSPECTOR_EXPORT_SURVEY_H
#define INSPECTOR_EXPORT_SURVEY_H

#include "callWatch.h"

#include <windows.h>

#include <string>
#include <vector>

enum class NearMissKind {
    None,       // the entry point itself, or nothing like it
    Decorated,  // a __stdcall or fastcall decoration
    Cpp,        // a C++ (GCC or MSVC) name
    OtherCase,  // the name in other cases of letters
};

// How the export name `exported` comes close to the entry point named `entry`.
NearMissKind nearMissKind(const std::string& exported, const char* entry);

class ExportSurvey {
public:
    // A close export, written exactly as exported.
    struct Close {
        std::string name;
        NearMissKind kind = NearMissKind::None;
    };
    static constexpr size_t MaxKept = 4;  // close names kept for each entry point

    // Reads the export table of the file at path.
    explicit ExportSurvey(const std::wstring& path);

    // The whole table was read (false: the file or its table could not be read, or it is too
    // large for the bound).
    bool complete() const { return complete_; }
    // The functions the library exports, with a name or by ordinal only.
    DWORD exportCount() const { return exportCount_; }
    // Whether the entry point (CallGetId..CallEnumFileExt) is exported under a name the probe takes.
    bool exports(PluginCall entry) const { return (exported_ & (1u << entry)) != 0; }
    // Whether any of the six is exported, or comes close.
    bool anyEntryPoint() const;
    // The first MaxKept exports that come close to the entry point, and how many there are.
    const std::vector<Close>& closeTo(PluginCall entry) const { return close_[entry]; }
    size_t closeCount(PluginCall entry) const { return closeCount_[entry]; }

private:
    bool complete_ = false;
    DWORD exportCount_ = 0;
    uint32_t exported_ = 0;  // entry-point bits
    std::vector<Close> close_[CallCount];
    size_t closeCount_[CallCount] = {};
};

#endif
