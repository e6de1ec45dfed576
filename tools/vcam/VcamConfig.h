// Device configuration of the virtual camera and its registration in the
// video input device category. Tests link this (tamsel_vcam_config) to add,
// change and remove cameras; the camera DLL reads the same records.
//
// Layout, all under HKEY_CURRENT_USER\Software\TamselVcam\Devices\<n>, where
// <n> is the device number 0..9999 written in decimal:
//   FriendlyName    REG_SZ        name shown in the device list
//   Formats         REG_MULTI_SZ  one capability per string: "YUY2 640x480", "MJPG 1920x1080";
//                                 "YUY2 2592x1944 as 20000x20000x64" sends 2592x1944 frames
//                                 but announces the header's size (and bit count) as given
//   FrameRate       REG_DWORD     frames per second, 1..120 (every capability)
//   StillPin        REG_DWORD     1: the filter has a still pin
//   CapturePinName  REG_SZ        name of the capture pin ("Capture")
//   StillPinName    REG_SZ        name of the still pin ("Still")
//   Roll            REG_DWORD     1: IAMCameraControl supports CameraControl_Roll
//   IgnoreTrigger   REG_DWORD     1: the still pin ignores VideoControlFlag_Trigger
//   Unplugged       REG_DWORD     1: the device is gone; a running filter stops and
//                                 reports EC_DEVICE_LOST
//   RunDelayMs      REG_DWORD     fault injection: each IBaseFilter::Run takes this many
//                                 ms longer (at most 10000), on the caller's thread, as
//                                 a slow driver's start does; read at every Run
// A missing value takes the default of DeviceConfig.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vcam {

enum class Subtype { YUY2, MJPG };

struct Format {
    Subtype subtype = Subtype::YUY2;
    int width = 0; // of the frames sent
    int height = 0;
    // What the media type's header announces instead, 0 for the truth: a
    // camera that lies about its frames without sending frames that large.
    long announcedWidth = 0;
    long announcedHeight = 0;
    int announcedBits = 0;

    long HeaderWidth() const { return announcedWidth ? announcedWidth : width; }
    long HeaderHeight() const { return announcedHeight ? announcedHeight : height; }
    int HeaderBits() const { return announcedBits ? announcedBits : subtype == Subtype::MJPG ? 24 : 16; }
    bool Announced() const
    {
        return HeaderWidth() != width || HeaderHeight() != height || announcedBits != 0;
    }

    bool operator==(const Format& o) const
    {
        return subtype == o.subtype && width == o.width && height == o.height &&
               HeaderWidth() == o.HeaderWidth() && HeaderHeight() == o.HeaderHeight() &&
               HeaderBits() == o.HeaderBits();
    }
    bool operator!=(const Format& o) const { return !(*this == o); }
};

struct DeviceConfig {
    std::wstring friendlyName = L"Tamsel Virtual Camera";
    std::vector<Format> formats = DefaultFormats();
    DWORD frameRate = 30;
    bool stillPin = true;
    std::wstring capturePinName = L"Capture";
    std::wstring stillPinName = L"Still";
    bool roll = true;
    bool ignoreTrigger = false;
    bool unplugged = false;

    static std::vector<Format> DefaultFormats();
};

constexpr int kMaxDevice = 9999;
constexpr DWORD kMinFrameRate = 1;
constexpr DWORD kMaxFrameRate = 120;

// "YUY2 640x480" and back. Widths must be even (YUY2 packs pixel pairs) and
// sizes between 2x2 and 8192x8192. An announcement may follow:
// "YUY2 2592x1944 as 20000x20000" or "... as 2592x1944x64" (any non-zero
// width and height, a bit count of 1..65535).
std::wstring FormatToString(const Format& format);
bool ParseFormat(const std::wstring& text, Format* format);

// Registry path of the device records, relative to HKEY_CURRENT_USER.
extern const wchar_t kDevicesKeyPath[];
std::wstring DeviceKeyPath(int number);

// Writes every value of the record (creating the key).
HRESULT WriteDevice(int number, const DeviceConfig& config);
// Reads a record; values that are missing or unusable keep their defaults.
// S_FALSE when the device key does not exist (config then holds defaults).
HRESULT ReadDevice(int number, DeviceConfig* config);
HRESULT DeleteDevice(int number);
// Deletes every device record; the empty Devices key stays, so a later
// regsvr32 does not create the default device.
HRESULT DeleteAllDevices();
// Device numbers that have a record, ascending.
std::vector<int> ListDevices();

// Instance name and moniker display name of a device in the video input
// category: "TamselVcam0001" and "@device:sw:{860BB310-...}\TamselVcam0001".
// All instance names have the same length, so none is a prefix of another.
std::wstring InstanceName(int number);
std::wstring DisplayName(int number);

// Lists every configured device that is not unplugged in the video input
// category and removes entries of this camera that no longer match a record.
// The COM class must be registered already (DllRegisterServer or RegisterServer).
HRESULT RegisterDevices();
// Removes every entry of this camera from the category.
HRESULT UnregisterDevices();

// Unplugging takes the device out of the category first and then sets the
// switch, so that a program reacting to EC_DEVICE_LOST already finds it gone;
// plugging in clears the switch and lists it again.
HRESULT SetUnplugged(int number, bool unplugged);

// Sets RunDelayMs of an existing record (0 clears it); takes effect with the
// next Run of a filter on that device.
HRESULT SetRunDelay(int number, DWORD ms);
constexpr DWORD kMaxRunDelayMs = 10000;

// Sends the DBT_DEVNODES_CHANGED broadcast that Windows sends when a device
// comes or goes (bounded: hung windows are skipped after timeoutMs).
void BroadcastDeviceChange(UINT timeoutMs = 2000);

// The flash of a camera, lit by the stand-in camera controller library
// (tools/acamsim) and read by every streaming thread at each frame. Under
// HKEY_CURRENT_USER\Software\TamselVcam:
//   FlashLit       REG_DWORD  0 dark; otherwise the tick (GetTickCount) it was lit, or 1
//   FlashWarmUpMs  REG_DWORD  how long a lit flash takes to show in the frames (0)
// While it shows, every frame of every device is brighter: each pixel goes
// half of the way to white.
extern const wchar_t kFlashKeyPath[];
HRESULT SetFlashLit(bool lit);
HRESULT SetFlashWarmUp(DWORD ms);
// The flash is lit and has warmed up.
bool FlashShowsInFrames();

// Loads the camera DLL and calls its DllRegisterServer / DllUnregisterServer,
// which is what regsvr32 does.
HRESULT RegisterServer(const std::wstring& dllPath);
HRESULT UnregisterServer(const std::wstring& dllPath);

// Used by the DLL's own DllRegisterServer / DllUnregisterServer.
HRESULT RegisterComClass(const std::wstring& dllPath);
HRESULT UnregisterComClass();
bool DevicesKeyExists();

} // namespace vcam
