// The settings record on disk: folders, the two profile files and the registry
// value that names the settings folder.
#pragma once

#include <cstdint>
#include <string>

#include "settings/AppSettings.h"

namespace tamsel {

enum FolderKind { kFolderApp = 0, kFolderTemp = 1, kFolderPictures = 2, kFolderAppData = 3 };

// Fills `out` with the folder of the given kind; on failure returns false and
// leaves `out` as it was. Only the temporary folder ends with a backslash.
bool ResolveFolder(int kind, std::wstring& out);

// Application Data folder, a backslash and the folder name from the registry
// ("Corvane Varnex" when the registry has none). Looked up afresh each call.
std::wstring SettingsFolder();

struct LoadOutcome {
    uint32_t hwKeyCode = 0;
    bool hwKeyInvalid = false; // the caller shows "Invalid HW key code"
    int logFile = 0;           // greater than 0: the debug log is wanted
};

// Reads both files into `s` with every correction applied. The picture list
// keys are not touched here.
LoadOutcome LoadSettingsFromFiles(AppSettings& s, int screenHeight);

// Writes the record; gives up without writing anything when either file is
// missing and cannot be created.
void SaveSettingsToFiles(const AppSettings& s);

} // namespace tamsel
