#include "settings/AppSettings.h"

#include <cstdio>

namespace tamsel {

int CorrectWindowSizeMod(int previewSize, int screenHeight)
{
    // The large window needs a screen at least 768 pixels high.
    return (previewSize == 2 && screenHeight >= 768) ? 1 : 0;
}

int CorrectResolutionMode(int resolution)
{
    return IsResolutionMode(resolution) ? resolution : 4;
}

int CorrectIdleTimeMode(int idleTime)
{
    return IsIdleTimeMode(idleTime) ? idleTime : 1;
}

bool CorrectGpsOn(int geotagging) { return geotagging != 0; }

int CorrectCurDevIndex(int stored) { return stored == -1 ? 0 : stored; }

int CorrectFlashWaitTime(int stored)
{
    return stored < 0 ? 0 : stored > kMaxFlashWaitTime ? kMaxFlashWaitTime : stored;
}

HwKeyParse ParseHwKeyCode(std::wstring_view text)
{
    if (text.empty())
        return {0x41, true};
    uint32_t code = 0;
    for (wchar_t c : text) {
        uint32_t digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else
            return {0, false};
        // Shifting in 32 bits drops digits beyond the eighth from the right.
        code = (code << 4) | digit;
    }
    return {code, true};
}

std::vector<ProfileWrite> SettingsWrites(const AppSettings& s)
{
    auto num = [](int v) { return std::to_wstring(v); };
    return {
        {IniFile::Setup, L"App_Setting", L"CurDevIndex", num(s.CurDevIndex)},
        {IniFile::Setup, L"App_Setting", L"PreviewSize", num(s.WindowSizeMod + 1)},
        {IniFile::Setup, L"App_Setting", L"Resolution", num(s.ResolutionMode)},
        {IniFile::Setup, L"App_Setting", L"Geotagging", num(s.GPS_ON ? 1 : 0)},
        {IniFile::Setup, L"App_Setting", L"IdleTime", num(s.IdleTimeMode)},
        {IniFile::Setup, L"App_Setting", L"GPSComport", num(s.GPSComport)},
        {IniFile::Setup, L"App_Setting", L"Flsah_on", num(s.FlashOn ? 1 : 0)},
        {IniFile::Setup, L"StealMode", L"AudioThreashold", num(s.AudioThreashold)},
        {IniFile::Setup, L"StealMode", L"BrightnessThreashold", num(s.BrightnessThreashold)},
        {IniFile::Reserve, L"Device", L"TotalDevNum", num(s.TotalDevNum)},
        {IniFile::Reserve, L"Device", L"CurDevIndex", num(s.CurDevIndex)},
    };
}

std::string FormatLogHeader(int year, int month, int day, int hour, int minute, int second)
{
    char line[96];
    std::snprintf(line, sizeof line,
                  "Varnex Application debug file create at %04d/%02d/%02d %02d:%02d:%02d\r\n",
                  year, month, day, hour, minute, second);
    return line;
}

std::string FormatSettingsDump(const AppSettings& s)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "WindowSizeMod = %d\r\nResolutionMode = %d\r\nIdleTimeMode = %d\r\nGPS_ON = %d\r\n"
                  "TotalDevNum = %d\r\nCurDevIndex = %d\r\n",
                  s.WindowSizeMod, s.ResolutionMode, s.IdleTimeMode, s.GPS_ON ? 1 : 0,
                  s.TotalDevNum, s.CurDevIndex);
    return text;
}

} // namespace tamsel
