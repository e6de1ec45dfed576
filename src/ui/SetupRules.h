// The setup dialog's decisions, free of windows: which face each option
// button shows for the settings the dialog mirrors, what a press asks of the
// main window (or drops), and what an answer changes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// The dialog's copy of the settings. Only the main window changes the real
// ones; the dialog shows what it was last told.
struct SetupModel {
    bool m_bBusy = false; // a request that needs an answer is outstanding
    int m_nDevCount = 0;
    int m_nCurDev = 0;
    int m_nResolution = 4; // 1 VGA, 2 SVGA, 3 XVGA, 4 native
    int m_nPreviewSize = 0; // 0 "480*320", 1 "640*480"
    int m_nIdleTime = 1;   // 1, 2, 3, 4, 6 (5 .. 30 minutes)
    bool m_bGeotagging = false;
    bool m_bFlash = false;
    int m_nPort = 0;
};

enum class SetupGroup { None, Camera, Resolution, Preview, Geotag, Flash, Idle };

// Which of a button's two pictures a state shows.
enum class SetupFace { On, Off };

struct SetupButtonFaces {
    int id;               // control id
    SetupFace normal;
    SetupFace pressed;
};

// The faces of every button of a group. Empty when the group's value
// matches none of its buttons: the faces shown stay as they are. The
// geotagging group also names the port button, whose single picture stands
// for both faces.
std::vector<SetupButtonFaces> SetupGroupFaces(const SetupModel& model, SetupGroup group);

// The groups InitLayout refreshes, in order.
inline constexpr SetupGroup kSetupGroups[] = {SetupGroup::Camera, SetupGroup::Resolution, SetupGroup::Preview,
                                             SetupGroup::Geotag, SetupGroup::Flash,     SetupGroup::Idle};

// What a press asks for.
enum class SetupAction {
    None,            // dropped
    Close,           // UM_SETUP_CLOSED
    SelectCamera,    // UM_SELECT_CAMERA, wParam the index
    SetResolution,   // UM_SET_RESOLUTION, wParam 1..4
    SetPreviewSize,  // UM_SET_PREVIEW_SIZE, wParam 0/1
    GpsStart,        // UM_GPS_START
    GpsStop,         // UM_GPS_STOP
    SetIdleTime,     // UM_SET_IDLE_TIME, wParam 1, 2, 3, 4, 6
    SetFlash,        // UM_SET_FLASH, wParam 0/1
    OpenGpsPort,     // the GPS port dialog
    OpenDescription, // the application description dialog
    OpenManual,      // the user manual
};

struct SetupPress {
    SetupAction action = SetupAction::None;
    int wParam = 0;
    // A group whose faces changed with the press itself (idle time, flash).
    SetupGroup refresh = SetupGroup::None;
};

// A press of control `id`: decides the request and applies what the press
// changes at once (busy for camera, resolution and preview requests; the
// idle time and flash copies).
SetupPress PressSetupButton(SetupModel& model, int id);

// What an answer (UM_SETUP_RESULT) asks the dialog to show.
enum class SetupError { None, Device, Resolution };

struct SetupAnswer {
    SetupGroup refresh = SetupGroup::None;
    SetupError error = SetupError::None;
};

// Applies an answer to the model. Every answer ends the busy state; the
// caller clears it after any message box (ClearSetupBusy).
SetupAnswer ApplySetupResult(SetupModel& model, long code, long value);
inline void ClearSetupBusy(SetupModel& model) { model.m_bBusy = false; }

// The texts of the two failure boxes ("Setup" is their caption).
const wchar_t* SetupErrorText(SetupError error);

// "User Manual.pdf" in the folder of the program at `modulePath` (a full
// path, as the system reports it); empty when that path names no folder
// (unreadable, cut short or relative), so that no file of whatever folder is
// current is ever opened in its place.
std::wstring UserManualPath(std::wstring_view modulePath);

} // namespace tamsel
