// What the window keeps from one run to the next: its placement and the last folders of Open,
// Save and Open folder, as values of one registry key under HKEY_CURRENT_USER (for the tool,
// Software\plugin-inspector). Nothing else is stored. A value that is missing, of another type
// or damaged reads as its default: no placement (the window opens centred at its template's
// size) and no folder.
#ifndef INSPECTOR_WINDOW_SETTINGS_H
#define INSPECTOR_WINDOW_SETTINGS_H

#include <windows.h>

#include <string>

// The tool's key under HKEY_CURRENT_USER.
extern const char WindowSettingsKey[];

struct WindowSettings {
    bool hasPlacement = false;     // placement was read and can be used on this screen
    WINDOWPLACEMENT placement = {};
    std::string openFolder;        // of the Open dialog (ANSI code page); empty: none
    std::string saveFolder;        // of the Save dialog
    std::string browseFolder;      // of the folder dialog (Open folder)
};

// The settings stored under HKEY_CURRENT_USER\key. A placement is used only when it is whole
// (the record's size, a normal rectangle of a sane size) and its rectangle lies on a monitor.
WindowSettings loadWindowSettings(const std::string& key);
// Stores every setting under HKEY_CURRENT_USER\key, creating it when missing; false when the
// key cannot be written. A setting without a value (no placement, an empty folder) is left out.
bool saveWindowSettings(const std::string& key, const WindowSettings& settings);

#endif
