// The settings record on disk: folders, the two profile files and the registry
// value that names the settings folder.
#pragma once

#include <cstdint>
#include <string>

#include "settings/AppSettings.h"
#include "settings/PictureList.h"

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
    // Pictures were dropped from the list: the caller posts UM_SAVE_SETTINGS.
    bool picSaveNeeded = false;
};

// Reads both files into `s` with every correction applied and, when `pics` is
// given, the picture list from section "Pic" of "reserve.ini": the keys of
// missing pictures are removed from the file at once.
LoadOutcome LoadSettingsFromFiles(AppSettings& s, int screenHeight, PictureList* pics = nullptr);

// Section "Pic" of the file at `reservePath` into `list`; true when pictures
// were dropped and the list must be saved.
bool LoadPictureListFromFile(const std::wstring& reservePath, PictureList& list);

// Writes the record and, when `pics` is given, the picture list (its newest
// 100 entries); gives up without writing anything when either file is
// missing and cannot be created.
void SaveSettingsToFiles(const AppSettings& s, const PictureList* pics = nullptr);

} // namespace tamsel
