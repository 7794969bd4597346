// The window's settings in the registry.
#include "windowSettings.h"

#include "rpRegistry.h"

const char WindowSettingsKey[] = "Software\\plugin-inspector";

namespace {

const char PlacementValue[] = "Placement";        // REG_BINARY: the WINDOWPLACEMENT record
const char OpenFolderValue[] = "OpenDialogFolder";  // REG_SZ, as the other two
const char SaveFolderValue[] = "SaveDialogFolder";
const char BrowseFolderValue[] = "FolderDialogFolder";
constexpr DWORD FolderSize = 300;  // what the dialogs take as their starting folder

bool placementUsable(const WINDOWPLACEMENT& placement)
{
    const RECT& normal = placement.rcNormalPosition;
    const LONG width = normal.right - normal.left;
    const LONG height = normal.bottom - normal.top;
    if (placement.length != sizeof placement || width <= 0 || height <= 0 || width > 32767 || height > 32767)
        return false;
    // Off every monitor (one that was unplugged since, or a damaged value), the window would be
    // out of reach.
    return MonitorFromRect(&normal, MONITOR_DEFAULTTONULL) != nullptr;
}

}  // namespace

WindowSettings loadWindowSettings(const std::string& key)
{
    WindowSettings settings;
    rpRegKey stored;
    if (key.empty() || !stored.open(HKEY_CURRENT_USER, key.c_str()))
        return settings;
    WINDOWPLACEMENT placement = {};
    if (stored.getBinary(PlacementValue, &placement, sizeof placement) && placementUsable(placement)) {
        settings.placement = placement;
        settings.hasPlacement = true;
    }
    stored.getString(OpenFolderValue, &settings.openFolder, FolderSize);
    stored.getString(SaveFolderValue, &settings.saveFolder, FolderSize);
    stored.getString(BrowseFolderValue, &settings.browseFolder, FolderSize);
    return settings;
}

bool saveWindowSettings(const std::string& key, const WindowSettings& settings)
{
    rpRegKey stored;
    if (key.empty() || !stored.create(HKEY_CURRENT_USER, key.c_str()))
        return false;
    bool written = true;
    if (settings.hasPlacement)
        written = stored.setBinary(PlacementValue, &settings.placement, sizeof settings.placement) && written;
    const struct {
        const char* name;
        const std::string& folder;
    } folders[] = {{OpenFolderValue, settings.openFolder},
                   {SaveFolderValue, settings.saveFolder},
                   {BrowseFolderValue, settings.browseFolder}};
    for (const auto& folder : folders) {
        if (!folder.folder.empty() && folder.folder.size() < FolderSize)
            written = stored.setString(folder.name, folder.folder) && written;
    }
    return written;
}
