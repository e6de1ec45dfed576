// The settings record and the rules that turn stored values into settings and
// back. No platform calls here: the profile-file adapter feeds these functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

struct AppSettings {
    int WindowSizeMod = 0;      // 0 small window, 1 large window
    int ResolutionMode = 4;     // 1 VGA, 2 SVGA, 3 XVGA, 4 native
    int IdleTimeMode = 1;       // idle time-out in units of 5 minutes
    bool GPS_ON = true;
    int TotalDevNum = 0;
    int CurDevIndex = -1;
    int GPSComport = -1;
    bool FlashOn = false;
    int FlashWaitTime = 0;
    int AudioThreashold = 0;
    int BrightnessThreashold = 20;
    std::wstring TrayDisplayString;
    std::wstring WinTitle;
    std::wstring CopyRight;
    std::vector<std::wstring> FlashSupportDev;
};

// Buffer sizes of the text keys, in characters including the terminator.
constexpr size_t kTrayTextChars = 100;
constexpr size_t kWinTitleChars = 50;
constexpr size_t kCopyRightChars = 260;
constexpr size_t kFlashDevChars = 100;
constexpr size_t kHwKeyChars = 10;
constexpr int kMaxFlashDevs = 100;

inline constexpr wchar_t kSetupIni[] = L"setup.ini";
inline constexpr wchar_t kReserveIni[] = L"reserve.ini";
inline constexpr wchar_t kDefaultFolderName[] = L"Corvane Varnex";

// The values a setting takes. The load corrects anything else; the main
// window's setting messages ignore it (a stray or hostile post from another
// program is never stored).
constexpr bool IsResolutionMode(int v) { return v >= 1 && v <= 4; }      // VGA, SVGA, XVGA, native
constexpr bool IsPreviewSize(int v) { return v == 0 || v == 1; }         // small, large window
constexpr bool IsIdleTimeMode(int v) { return (v >= 1 && v <= 4) || v == 6; } // 5..20, 30 minutes

int CorrectWindowSizeMod(int previewSize, int screenHeight);
int CorrectResolutionMode(int resolution);
int CorrectIdleTimeMode(int idleTime);
bool CorrectGpsOn(int geotagging);
int CorrectCurDevIndex(int stored);

// "FlashWaitTime" in milliseconds, 0 to 5000. A flash lamp is bright within a
// few frames; a wait far beyond that only keeps the lamp lit and holds up the
// program's end, however large a value the file holds.
constexpr int kMaxFlashWaitTime = 5000;
int CorrectFlashWaitTime(int stored);

// "SanpHwKey": hexadecimal digits without prefix; empty means the A key.
struct HwKeyParse {
    uint32_t code = 0;
    bool valid = true; // false: a non-hex character was met, code is 0
};
HwKeyParse ParseHwKeyCode(std::wstring_view text);

// One key written by a save, in the order the save writes them.
enum class IniFile { Setup, Reserve };
struct ProfileWrite {
    IniFile file;
    const wchar_t* section;
    const wchar_t* key;
    std::wstring value;
};
std::vector<ProfileWrite> SettingsWrites(const AppSettings& s);

// Debug log lines, each ending in "\r\n".
std::string FormatLogHeader(int year, int month, int day, int hour, int minute, int second);
std::string FormatSettingsDump(const AppSettings& s);

} // namespace tamsel
