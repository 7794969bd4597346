// Which exports come close to an entry point the probe looks for, and why: the spellings that
// compilers and linkers make of it, and names that only look alike.
#include "exportSurvey.h"

#include <gtest/gtest.h>

namespace {

TEST(ExportSurvey, NamesCloseToAnEntryPointAreTheSpellingsCompilersMakeOfIt)
{
    const struct {
        const char* exported;
        NearMissKind kind;
    } rows[] = {
        // What the probe takes as it is.
        {"MQGetPlugInID", NearMissKind::None},
        {"_MQGetPlugInID", NearMissKind::None},
        // __stdcall and fastcall decorations.
        {"_MQGetPlugInID@8", NearMissKind::Decorated},
        {"MQGetPlugInID@8", NearMissKind::Decorated},
        {"@MQGetPlugInID@8", NearMissKind::Decorated},
        {"_mqgetpluginid@8", NearMissKind::Decorated},
        // C++: GCC, also inside a namespace and as __stdcall, with the extra underscore some
        // 32-bit tools keep; MSVC.
        {"_Z13MQGetPlugInIDPmS_", NearMissKind::Cpp},
        {"__Z13MQGetPlugInIDPmS_", NearMissKind::Cpp},
        {"_Z13MQGetPlugInIDPmS_@8", NearMissKind::Cpp},
        {"_ZN6plugin13MQGetPlugInIDEPmS_", NearMissKind::Cpp},
        {"?MQGetPlugInID@@YAXPAK0@Z", NearMissKind::Cpp},
        {"?MQGetPlugInID@@YGXPAK0@Z", NearMissKind::Cpp},
        // Other cases of letters.
        {"mqGetPluginID", NearMissKind::OtherCase},
        {"_MQGETPLUGINID", NearMissKind::OtherCase},
        // Only alike: longer or shorter names, other C++ functions, a length past the name.
        {"MQGetPlugInIDEx", NearMissKind::None},
        {"MQGetPlugInI", NearMissKind::None},
        {"MQGetPlugInID@", NearMissKind::None},
        {"MQGetPlugInID@x8", NearMissKind::None},
        {"_Z15MQGetPlugInNamev", NearMissKind::None},
        {"_ZN6plugin13MQGetPlugInIDE", NearMissKind::Cpp},
        {"_Z99MQGetPlugInID", NearMissKind::None},
        {"??0MQGetPlugInID@@QAE@XZ", NearMissKind::None},
        {"", NearMissKind::None},
    };
    for (const auto& row : rows)
        EXPECT_EQ(nearMissKind(row.exported, "MQGetPlugInID"), row.kind) << row.exported;
}

}  // namespace
