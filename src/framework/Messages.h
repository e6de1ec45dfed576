// Private messages of the main window. They are always posted, never sent.
#pragma once

#include <windows.h>

namespace tamsel {

enum : UINT {
    UM_TRAY_NOTIFY = WM_USER + 101,
    UM_SETUP_CLOSED = WM_USER + 105,
    UM_SETUP_RESULT = WM_USER + 106,
    UM_START_PREVIEW = WM_USER + 111,
    UM_SELECT_CAMERA = WM_USER + 113,
    UM_SET_RESOLUTION = WM_USER + 114,
    UM_ROTATE = WM_USER + 115,
    UM_SNAPSHOT = WM_USER + 116,
    UM_EXTERN_CLICK = WM_USER + 117,
    UM_DELETE_PICTURE = WM_USER + 118,
    UM_HW_SNAPSHOT_KEY = WM_USER + 119,
    UM_SNAPSHOT_DONE = WM_USER + 120,
    UM_GPS_START = WM_USER + 121,
    UM_GPS_STOP = WM_USER + 122,
    UM_SET_PREVIEW_SIZE = WM_USER + 123,
    UM_SET_IDLE_TIME = WM_USER + 124,
    UM_SET_FLASH = WM_USER + 125,
    UM_FLASH_ERROR = WM_USER + 127, // the flash library lacks an export: the box is the window thread's
    UM_GRAPH_EVENT = WM_USER + 130,
    UM_DEVICE_LOST = WM_USER + 131,
    UM_DEVICE_RESCAN = WM_USER + 132,
    UM_DEVICE_REMOVED = WM_USER + 133,
    UM_DEVICE_ARRIVED = WM_USER + 134,
    UM_PREVIEW_PAINTED = WM_USER + 135,
    UM_RESTART_PREVIEW = WM_USER + 136,
    UM_SAVE_SETTINGS = WM_USER + 140,
    UM_GPS_ICON = WM_USER + 161,
    UM_GPS_PORT = WM_USER + 162,
    UM_QUIT = WM_USER + 170,
};

// Result codes of UM_SETUP_RESULT (wParam).
enum : WPARAM {
    kSetupCameraChanged = 1,
    kSetupResolutionApplied = 2,
    kSetupPreviewSize = 3,
    kSetupChangeFailed = 6,
};

inline constexpr wchar_t kMainWindowClass[] = L"Corvane_Camera_Class";
inline constexpr UINT kTrayIconId = 30001;

} // namespace tamsel
