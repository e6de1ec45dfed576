// The skin: one slot per image file of the "pic" folder beside the program,
// and the window and notification-area icons made from two of them. A file
// that cannot be loaded leaves its slot without a picture (drawing it draws
// nothing) and writes its line to the debug log.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "framework/Gdiplus.h"
#include "framework/Handles.h"
#include "gps/GpsRules.h"
#include "settings/DebugLog.h"

namespace tamsel {

// The loader's entry numbers.
enum SkinEntry : int {
    kSkinAppIcon = 0,
    kSkinTrayIcon = 1,
    kSkinBackground = 2,
    kSkinLeftArrow = 3,
    kSkinLeftArrowSelect = 4,
    kSkinRightArrow = 5,
    kSkinRightArrowSelect = 6,
    kSkinModeSwitch = 7,
    kSkinModeSwitchSelect = 8,
    kSkinModeSwitchPic = 9,
    kSkinModeSwitchPicSelect = 10,
    kSkinThumb = 11, // the current picture's thumbnail: picture review owns it
    kSkinClose = 12,
    kSkinCloseSelect = 13,
    kSkinSetup = 14,
    kSkinSetupSelect = 15,
    kSkinCapture = 16,
    kSkinCaptureSelect = 17,
    kSkinDelete = 18,
    kSkinDeleteSelect = 19,
    kSkinGpsUnknown1 = 20,
    kSkinGpsUnknown2 = 21,
    kSkinGpsUnknown3 = 22,
    // 23 is not used.
    kSkinGpsGood = 24,
    kSkinGpsOff = 25,
    // The setup dialog's set and the two dialogs opened from it.
    kSkinSetupBackground = 26,
    kSkinSetupClose = 27,
    kSkinSetupCamera1On = 28,
    kSkinSetupCamera1Off = 29,
    kSkinSetupCamera2On = 30,
    kSkinSetupCamera2Off = 31,
    kSkinSetupCamera3On = 32,
    kSkinSetupCamera3Off = 33,
    kSkinSetupResVgaOn = 34,
    kSkinSetupResVgaOff = 35,
    kSkinSetupResSvgaOn = 36,
    kSkinSetupResSvgaOff = 37,
    kSkinSetupResXvgaOn = 38,
    kSkinSetupResXvgaOff = 39,
    kSkinSetupResNativeOn = 40,
    kSkinSetupResNativeOff = 41,
    kSkinSetupPreviewSmallOn = 42,
    kSkinSetupPreviewSmallOff = 43,
    kSkinSetupPreviewLargeOn = 44,
    kSkinSetupPreviewLargeOff = 45,
    kSkinSetupGeotagOnOn = 46,
    kSkinSetupGeotagOnOff = 47,
    kSkinSetupGeotagOffOn = 48,
    kSkinSetupGeotagOffOff = 49,
    kSkinSetupGeotagSet = 50,
    kSkinSetupFlashOnOn = 51,
    kSkinSetupFlashOnOff = 52,
    kSkinSetupFlashOffOn = 53,
    kSkinSetupFlashOffOff = 54,
    kSkinSetupIdle5On = 55,
    kSkinSetupIdle5Off = 56,
    kSkinSetupIdle10On = 57,
    kSkinSetupIdle10Off = 58,
    kSkinSetupIdle15On = 59,
    kSkinSetupIdle15Off = 60,
    kSkinSetupIdle20On = 61,
    kSkinSetupIdle20Off = 62,
    kSkinSetupIdle30On = 63,
    kSkinSetupIdle30Off = 64,
    kSkinSetupAppDescription = 65,
    kSkinAppDescriptionLogo = 66,
    kSkinAppDescriptionBackground = 67,
    kSkinAppDescriptionClose = 68,
    kSkinSetupUserManual = 69,
    kSkinGpsSetBackground = 70,
    kSkinGpsSetAutoScan = 71,
    kSkinGpsSetScanning = 72,
    kSkinGpsSetOk = 73,
    kSkinGpsSetCancel = 74,
    kSkinEntryCount = 75,
};

// The file name of an entry ("close_btn.png"); null for 11, 23 and numbers
// outside the set.
const wchar_t* SkinFileName(int entry);
// The slot that holds a GPS indicator image; -1 for Keep.
int SkinEntryOf(GpsImage image);

class CSkinImages {
public:
    explicit CSkinImages(DebugLog& log) : m_log(log) {}
    CSkinImages(const CSkinImages&) = delete;
    CSkinImages& operator=(const CSkinImages&) = delete;

    // The window whose large and small icon "App.png" becomes.
    void SetWindow(HWND wnd) noexcept { m_wnd = wnd; }

    // Fills the slot of one entry from `folder` (the skin folder, no
    // trailing backslash). A failed load writes the entry's log line; the log
    // is flushed after every call.
    void LoadSkinImage(int entry, const std::wstring& folder);
    // Entries 0 to 22, 24 and 25 in order; `loadThumb` fills entry 11.
    void LoadMainImages(const std::wstring& folder, const std::function<void()>& loadThumb);
    // Entries 26 to 74 in the setup dialog's order.
    void LoadSetupImages(const std::wstring& folder);
    // Every slot, main-window and setup set.
    void FreeSkinImages();
    void FreeSetupImages();

    // The picture of a slot; null when its file could not be loaded or the
    // slot is free.
    Gdiplus::GpImage* Image(int entry) const noexcept;
    // A load was attempted since the slot was last freed, whether or not the
    // file gave a picture.
    bool SlotFilled(int entry) const noexcept;

    // The icons of the last load, null when their file gave none.
    HICON AppIcon() const noexcept { return m_hIcon; }
    HICON TrayIcon() const noexcept { return m_hTrayIcon; }
    // The notification-area record keeps the icon it was added with for the
    // rest of the run (it is put back with it after a taskbar restart): that
    // one must outlive the icons later loads make.
    void KeepTrayIcon() noexcept;

private:
    void LoadIcon(int entry, const std::wstring& path);
    void Write(int entry);

    struct Slot {
        fw::GpImagePtr image;
        bool filled = false;
    };

    DebugLog& m_log;
    HWND m_wnd = nullptr;
    Slot m_slots[kSkinEntryCount];
    // The icon the window shows, owned until a newer one replaces it.
    fw::IconHandle m_windowIcon;
    HICON m_hIcon = nullptr;
    HICON m_hTrayIcon = nullptr;
    fw::IconHandle m_trayIcon;      // owner of m_hTrayIcon unless kept
    fw::IconHandle m_trayIconInUse; // the notification area's
};

} // namespace tamsel
