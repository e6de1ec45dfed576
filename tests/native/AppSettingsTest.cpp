#include "settings/AppSettings.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

TEST(Corrections, PreviewSizeNeedsATallEnoughScreen)
{
    struct Case { int stored, screen, mode; };
    const Case cases[] = {
        {2, 768, 1}, {2, 1080, 1}, {2, 767, 0}, {2, 600, 0},
        {1, 768, 0}, {0, 768, 0},  {3, 768, 0}, {-2, 768, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CorrectWindowSizeMod(c.stored, c.screen), c.mode) << c.stored << " @" << c.screen;
}

TEST(Corrections, ModesOutsideTheirSetFallBack)
{
    for (int v : {1, 2, 3, 4}) EXPECT_EQ(CorrectResolutionMode(v), v);
    for (int v : {0, 5, -1, 100}) EXPECT_EQ(CorrectResolutionMode(v), 4);
    for (int v : {1, 2, 3, 4, 6}) EXPECT_EQ(CorrectIdleTimeMode(v), v);
    for (int v : {0, -1, 5, 7, 12}) EXPECT_EQ(CorrectIdleTimeMode(v), 1);
    EXPECT_FALSE(CorrectGpsOn(0));
    EXPECT_TRUE(CorrectGpsOn(-1));
    EXPECT_TRUE(CorrectGpsOn(1));
    // The flash wait: 0..5000 ms.
    const int waits[][2] = {{0, 0}, {100, 100}, {5000, 5000}, {5001, 5000}, {2147483647, 5000}, {-1, 0}, {-2147483647 - 1, 0}};
    for (const auto& w : waits)
        EXPECT_EQ(CorrectFlashWaitTime(w[0]), w[1]) << w[0];
    EXPECT_EQ(CorrectCurDevIndex(-1), 0);
    EXPECT_EQ(CorrectCurDevIndex(-2), -2);
    EXPECT_EQ(CorrectCurDevIndex(3), 3);
}

TEST(HwKeyCode, HexDigitsWithoutPrefix)
{
    struct Case { const wchar_t* text; uint32_t code; bool valid; };
    const Case cases[] = {
        {L"", 0x41, true},
        {L"7b", 0x7B, true},
        {L"7B", 0x7B, true},
        {L"0x41", 0, false},     // the prefix's 'x' is no hex digit
        {L"41 ", 0, false},
        {L"G", 0, false},
        {L"FFFFFFFF", 0xFFFFFFFFu, true},
        {L"123456789", 0x23456789u, true}, // a ninth digit adds nothing
        {L"00af", 0xAF, true},
    };
    for (const Case& c : cases) {
        const HwKeyParse p = ParseHwKeyCode(c.text);
        EXPECT_EQ(p.code, c.code) << "[" << c.text << "]";
        EXPECT_EQ(p.valid, c.valid) << "[" << c.text << "]";
    }
}

TEST(SettingsWrites, OrderKeysAndStoredEncodings)
{
    AppSettings s;
    s.WindowSizeMod = 1;
    s.ResolutionMode = 3;
    s.GPS_ON = false;
    s.IdleTimeMode = 6;
    s.GPSComport = 12;
    s.FlashOn = true;
    s.AudioThreashold = -5;
    s.BrightnessThreashold = 12345; // wider than the usual four characters: kept whole
    s.TotalDevNum = 2;
    s.CurDevIndex = 1;
    const auto writes = SettingsWrites(s);
    const std::vector<std::tuple<IniFile, std::wstring, std::wstring, std::wstring>> expected = {
        {IniFile::Setup, L"App_Setting", L"CurDevIndex", L"1"},
        {IniFile::Setup, L"App_Setting", L"PreviewSize", L"2"},
        {IniFile::Setup, L"App_Setting", L"Resolution", L"3"},
        {IniFile::Setup, L"App_Setting", L"Geotagging", L"0"},
        {IniFile::Setup, L"App_Setting", L"IdleTime", L"6"},
        {IniFile::Setup, L"App_Setting", L"GPSComport", L"12"},
        {IniFile::Setup, L"App_Setting", L"Flsah_on", L"1"},
        {IniFile::Setup, L"StealMode", L"AudioThreashold", L"-5"},
        {IniFile::Setup, L"StealMode", L"BrightnessThreashold", L"12345"},
        {IniFile::Reserve, L"Device", L"TotalDevNum", L"2"},
        {IniFile::Reserve, L"Device", L"CurDevIndex", L"1"},
    };
    ASSERT_EQ(writes.size(), expected.size());
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].file, std::get<0>(expected[i])) << i;
        EXPECT_EQ(writes[i].section, std::get<1>(expected[i])) << i;
        EXPECT_EQ(writes[i].key, std::get<2>(expected[i])) << i;
        EXPECT_EQ(writes[i].value, std::get<3>(expected[i])) << i;
    }
}

TEST(DebugLogText, HeaderAndDumpOfTheExample)
{
    AppSettings s;
    s.WindowSizeMod = 1;
    s.ResolutionMode = 3;
    s.IdleTimeMode = 6;
    s.GPS_ON = true;
    s.TotalDevNum = 2;
    s.CurDevIndex = 1;
    EXPECT_EQ(FormatLogHeader(2014, 3, 9, 8, 5, 7),
              "Varnex Application debug file create at 2014/03/09 08:05:07\r\n");
    EXPECT_EQ(FormatSettingsDump(s),
              "WindowSizeMod = 1\r\nResolutionMode = 3\r\nIdleTimeMode = 6\r\nGPS_ON = 1\r\n"
              "TotalDevNum = 2\r\nCurDevIndex = 1\r\n");
}

} // namespace
} // namespace tamsel
