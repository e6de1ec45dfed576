// The settings store against real profile files and the real registry.
#include "settings/SettingsStore.h"

#include <algorithm>

#include "SandboxFixture.h"

namespace tamsel {
namespace {

using test::FindSection;
using test::IniSection;
using test::ParseIniText;
using test::PathExists;
using test::ReadBytes;

constexpr int kTallScreen = 768;
constexpr int kShortScreen = 600;

// A record full of values no load would give, so that every field a load
// leaves alone shows up.
AppSettings StaleRecord()
{
    AppSettings s;
    s.WindowSizeMod = 7;
    s.ResolutionMode = 9;
    s.IdleTimeMode = 9;
    s.GPS_ON = false;
    s.TotalDevNum = 42;
    s.CurDevIndex = 41;
    s.GPSComport = 77;
    s.FlashOn = true;
    s.FlashWaitTime = -7;
    s.AudioThreashold = 555;
    s.BrightnessThreashold = 555;
    s.TrayDisplayString = L"stale tray";
    s.WinTitle = L"stale title";
    s.CopyRight = L"stale text";
    s.FlashSupportDev = {L"STALE1", L"STALE2", L"STALE3"};
    return s;
}

// "abcdefghij…" repeated: a long value whose every prefix is recognisable.
std::string Pattern(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries EntriesOf(const std::vector<IniSection>& ini, const std::string& section)
{
    const IniSection* s = FindSection(ini, section);
    return s ? s->entries : Entries{};
}

class SettingsStoreTest : public test::SettingsSandbox {};

TEST_F(SettingsStoreTest, NoKeyAndNoFilesGiveTheDefaultRecordAndCreateNothing)
{
    EXPECT_EQ(SettingsFolder(), DefaultFolder());

    AppSettings s = StaleRecord();
    const LoadOutcome out = LoadSettingsFromFiles(s, kTallScreen);

    EXPECT_EQ(s.WindowSizeMod, 0);
    EXPECT_EQ(s.ResolutionMode, 4);
    EXPECT_EQ(s.IdleTimeMode, 1);
    EXPECT_TRUE(s.GPS_ON);
    EXPECT_EQ(s.GPSComport, 1);
    EXPECT_FALSE(s.FlashOn);
    EXPECT_EQ(s.FlashWaitTime, 100);
    EXPECT_EQ(s.AudioThreashold, 0);
    EXPECT_EQ(s.BrightnessThreashold, 20);
    EXPECT_EQ(s.TrayDisplayString, L"Varnex Application");
    EXPECT_EQ(s.WinTitle, L"Win title");
    EXPECT_EQ(s.CopyRight, L"All reserved.");
    EXPECT_TRUE(s.FlashSupportDev.empty());
    EXPECT_EQ(out.hwKeyCode, 0x41u);
    EXPECT_FALSE(out.hwKeyInvalid);
    EXPECT_EQ(out.logFile, 0);
    EXPECT_EQ(s.TotalDevNum, 0);
    EXPECT_EQ(s.CurDevIndex, 0);

    EXPECT_FALSE(PathExists(DefaultFolder())) << "a load created the settings folder";
    EXPECT_FALSE(PathExists(LogPath()));
}

TEST_F(SettingsStoreTest, RegistryValueNamesTheSettingsFolder)
{
    const std::wstring longest(99, L'm');  // 198 bytes and the terminator: fits 200
    const std::wstring tooLong(100, L'n'); // 202 bytes: does not fit
    struct Case {
        const wchar_t* name; // nullptr: the key exists without the value
        bool used;
    };
    const Case cases[] = {
        {L"Tamsel Unit Folder", true},
        {longest.c_str(), true},
        {tooLong.c_str(), false},
        {nullptr, false},
        {L"Second Unit Folder", true}, // looked up again on every call
    };
    for (const Case& c : cases) {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, test::kUninstallKeyPath);
        if (c.name)
            SetRegisteredFolderName(c.name);
        else
            CreateUninstallKeyOnly();
        const std::wstring expected =
            c.used ? test::AppDataFolder() + L"\\" + c.name : DefaultFolder();
        EXPECT_EQ(SettingsFolder(), expected) << (c.name ? c.name : L"(no value)");
    }
}

TEST_F(SettingsStoreTest, RegisteredFolderIsWhereLoadReadsAndSaveWrites)
{
    const std::wstring named = test::AppDataFolder() + L"\\Tamsel Unit Folder";
    SetRegisteredFolderName(L"Tamsel Unit Folder");
    const std::string defaultSetup = "[App_Setting]\r\nResolution=2\r\n";
    WriteIni(DefaultFolder(), kSetupIni, defaultSetup);
    WriteIni(named, kSetupIni, "[App_Setting]\r\nResolution=3\r\n");
    WriteIni(named, kReserveIni, "[Device]\r\nTotalDevNum=5\r\n");

    AppSettings s = StaleRecord();
    LoadSettingsFromFiles(s, kTallScreen);
    EXPECT_EQ(s.ResolutionMode, 3);
    EXPECT_EQ(s.TotalDevNum, 5);

    s.ResolutionMode = 1;
    s.TotalDevNum = 6;
    SaveSettingsToFiles(s);
    const auto setup = ParseIniText(ReadIni(named, kSetupIni));
    const Entries app = EntriesOf(setup, "App_Setting");
    EXPECT_NE(std::find(app.begin(), app.end(), Entries::value_type{"Resolution", "1"}), app.end());
    const Entries device = EntriesOf(ParseIniText(ReadIni(named, kReserveIni)), "Device");
    EXPECT_NE(std::find(device.begin(), device.end(), Entries::value_type{"TotalDevNum", "6"}),
              device.end());
    EXPECT_EQ(ReadIni(DefaultFolder(), kSetupIni), defaultSetup);
    EXPECT_FALSE(PathExists(DefaultFolder() + L"\\reserve.ini"));
}

int WindowSizeMod(const AppSettings& s) { return s.WindowSizeMod; }
int ResolutionMode(const AppSettings& s) { return s.ResolutionMode; }
int IdleTimeMode(const AppSettings& s) { return s.IdleTimeMode; }
int GpsOn(const AppSettings& s) { return s.GPS_ON ? 1 : 0; }
int FlashOn(const AppSettings& s) { return s.FlashOn ? 1 : 0; }
int GpsComport(const AppSettings& s) { return s.GPSComport; }
int FlashWaitTime(const AppSettings& s) { return s.FlashWaitTime; }
int AudioThreashold(const AppSettings& s) { return s.AudioThreashold; }
int BrightnessThreashold(const AppSettings& s) { return s.BrightnessThreashold; }

TEST_F(SettingsStoreTest, StoredValuesAreCorrectedOnLoad)
{
    struct Case {
        const char* ini; // the whole of setup.ini
        int screen;
        int (*field)(const AppSettings&);
        int expected;
    };
    const Case cases[] = {
        {"[App_Setting]\r\nPreviewSize=2\r\n", 768, WindowSizeMod, 1},
        {"[App_Setting]\r\nPreviewSize=2\r\n", 1080, WindowSizeMod, 1},
        {"[App_Setting]\r\nPreviewSize=2\r\n", 767, WindowSizeMod, 0},
        {"[App_Setting]\r\nPreviewSize=2\r\n", 600, WindowSizeMod, 0},
        {"[App_Setting]\r\nPreviewSize=1\r\n", 768, WindowSizeMod, 0},
        {"[App_Setting]\r\nPreviewSize=3\r\n", 768, WindowSizeMod, 0},
        {"[App_Setting]\r\nPreviewSize=0\r\n", 768, WindowSizeMod, 0},
        {"[App_Setting]\r\nIdleTime=6\r\n", 768, IdleTimeMode, 6},
        {"[App_Setting]\r\nIdleTime=4\r\n", 768, IdleTimeMode, 4},
        {"[App_Setting]\r\nIdleTime=2\r\n", 768, IdleTimeMode, 2},
        {"[App_Setting]\r\nIdleTime=5\r\n", 768, IdleTimeMode, 1},
        {"[App_Setting]\r\nIdleTime=0\r\n", 768, IdleTimeMode, 1},
        {"[App_Setting]\r\nIdleTime=12\r\n", 768, IdleTimeMode, 1},
        {"[App_Setting]\r\nIdleTime=7\r\n", 768, IdleTimeMode, 1},
        {"[App_Setting]\r\nIdleTime=-2\r\n", 768, IdleTimeMode, 1},
        {"[App_Setting]\r\nResolution=1\r\n", 768, ResolutionMode, 1},
        {"[App_Setting]\r\nResolution=3\r\n", 768, ResolutionMode, 3},
        {"[App_Setting]\r\nResolution=0\r\n", 768, ResolutionMode, 4},
        {"[App_Setting]\r\nResolution=5\r\n", 768, ResolutionMode, 4},
        {"[App_Setting]\r\nGeotagging=0\r\n", 768, GpsOn, 0},
        {"[App_Setting]\r\nGeotagging=-1\r\n", 768, GpsOn, 1},
        {"[App_Setting]\r\nGeotagging=1\r\n", 768, GpsOn, 1},
        {"[App_Setting]\r\nFlsah_on=1\r\n", 768, FlashOn, 1},
        {"[App_Setting]\r\nFlsah_on=7\r\n", 768, FlashOn, 1},
        {"[App_Setting]\r\nFlsah_on=0\r\n", 768, FlashOn, 0},
        // Names match without regard to case.
        {"[APP_SETTING]\r\nflsah_ON=1\r\n", 768, FlashOn, 1},
        // Keys stored as they are.
        {"[App_Setting]\r\nGPSComport=12\r\n", 768, GpsComport, 12},
        {"[App_Setting]\r\nFlashWaitTime=250\r\n", 768, FlashWaitTime, 250},
        // The flash wait is bounded: no file keeps the lamp lit and the end
        // waiting for minutes.
        {"[App_Setting]\r\nFlashWaitTime=5000\r\n", 768, FlashWaitTime, 5000},
        {"[App_Setting]\r\nFlashWaitTime=5001\r\n", 768, FlashWaitTime, 5000},
        {"[App_Setting]\r\nFlashWaitTime=600000\r\n", 768, FlashWaitTime, 5000},
        {"[App_Setting]\r\nFlashWaitTime=-20\r\n", 768, FlashWaitTime, 0},
        {"[StealMode]\r\nAudioThreashold=-30\r\n", 768, AudioThreashold, -30},
        {"[StealMode]\r\nBrightnessThreashold=55\r\n", 768, BrightnessThreashold, 55},
        // The threshold keys belong to their own section.
        {"[App_Setting]\r\nBrightnessThreashold=55\r\n", 768, BrightnessThreashold, 20},
    };
    for (const Case& c : cases) {
        WriteIni(DefaultFolder(), kSetupIni, c.ini);
        AppSettings s = StaleRecord();
        LoadSettingsFromFiles(s, c.screen);
        EXPECT_EQ(c.field(s), c.expected) << c.ini << " on a screen " << c.screen << " high";
    }
}

TEST_F(SettingsStoreTest, PreviewSizeTwoSavesBackAccordingToTheScreen)
{
    struct Case { int screen; int mode; const char* saved; };
    const Case cases[] = {{kTallScreen, 1, "2"}, {kShortScreen, 0, "1"}};
    for (const Case& c : cases) {
        WriteIni(DefaultFolder(), kSetupIni, "[App_Setting]\r\nPreviewSize=2\r\n");
        AppSettings s = StaleRecord();
        LoadSettingsFromFiles(s, c.screen);
        EXPECT_EQ(s.WindowSizeMod, c.mode) << c.screen;
        SaveSettingsToFiles(s);
        const Entries app = EntriesOf(ParseIniText(ReadIni(DefaultFolder(), kSetupIni)), "App_Setting");
        const auto it = std::find_if(app.begin(), app.end(),
                                     [](const auto& e) { return e.first == "PreviewSize"; });
        ASSERT_NE(it, app.end());
        EXPECT_EQ(it->second, c.saved) << c.screen;
    }
}

TEST_F(SettingsStoreTest, HardwareKeyIsHexWithoutPrefix)
{
    struct Case {
        const char* line; // nullptr: no such key
        uint32_t code;
        bool invalid;
    };
    const Case cases[] = {
        {"SanpHwKey=7b", 0x7B, false},
        {"SanpHwKey=7B", 0x7B, false},
        {"SanpHwKey=", 0x41, false},
        {nullptr, 0x41, false},
        {"SanpHwKey=0x41", 0, true},
        // Twelve characters, read as the first nine: the tail is never seen.
        {"SanpHwKey=00000007Bxyz", 0x7B, false},
        // Nine digits read; the ninth from the right adds nothing in 32 bits.
        {"SanpHwKey=123456789ABC", 0x23456789, false},
    };
    for (const Case& c : cases) {
        std::string ini = "[App_Setting]\r\nResolution=2\r\n";
        if (c.line)
            ini += std::string(c.line) + "\r\n";
        WriteIni(DefaultFolder(), kSetupIni, ini);
        AppSettings s = StaleRecord();
        const LoadOutcome out = LoadSettingsFromFiles(s, kTallScreen);
        const char* label = c.line ? c.line : "(no key)";
        EXPECT_EQ(out.hwKeyCode, c.code) << label;
        EXPECT_EQ(out.hwKeyInvalid, c.invalid) << label;
    }
}

TEST_F(SettingsStoreTest, FlashDevicesStopAtTheFirstGap)
{
    WriteIni(DefaultFolder(), kSetupIni,
             "[FlashSupportDev]\r\n"
             "Dev1=VID_0AC8&PID_3420\r\n"
             "Dev2=Corvane Cam\r\n"
             "Dev4=NEVER READ\r\n");
    AppSettings s = StaleRecord();
    LoadSettingsFromFiles(s, kTallScreen);
    EXPECT_EQ(s.FlashSupportDev, (std::vector<std::wstring>{L"VID_0AC8&PID_3420", L"Corvane Cam"}));
}

TEST_F(SettingsStoreTest, TextValuesAreCutToTheirBuffers)
{
    struct Case {
        const char* section;
        const char* key;
        size_t keep; // characters kept: the buffer size less the terminator
        std::wstring AppSettings::*text; // nullptr: the first flash device
    };
    const Case cases[] = {
        {"App_Setting", "TrayDisplayString", 99, &AppSettings::TrayDisplayString},
        {"AppDescription", "WinTitle", 49, &AppSettings::WinTitle},
        {"AppDescription", "CopyRight", 259, &AppSettings::CopyRight},
        {"FlashSupportDev", "Dev1", 99, nullptr},
    };
    for (const Case& c : cases) {
        const std::string value = Pattern(c.keep + 25);
        WriteIni(DefaultFolder(), kSetupIni,
                 std::string("[") + c.section + "]\r\n" + c.key + "=" + value + "\r\n");
        AppSettings s = StaleRecord();
        LoadSettingsFromFiles(s, kTallScreen);
        const std::wstring expected = Widen(value.substr(0, c.keep));
        if (c.text) {
            EXPECT_EQ(s.*c.text, expected) << c.key;
        } else {
            ASSERT_EQ(s.FlashSupportDev.size(), 1u);
            EXPECT_EQ(s.FlashSupportDev[0], expected) << c.key;
        }
    }
}

TEST_F(SettingsStoreTest, DeviceIndexComesFromReserveIniOnly)
{
    struct Case { const char* reserve; int total; int index; };
    const Case cases[] = {
        {nullptr, 0, 0},                                         // no reserve.ini
        {"[Device]\r\nTotalDevNum=3\r\n", 3, 0},                 // index missing
        {"[Device]\r\nTotalDevNum=3\r\nCurDevIndex=-1\r\n", 3, 0},
        {"[Device]\r\nTotalDevNum=3\r\nCurDevIndex=1\r\n", 3, 1},
        {"[Device]\r\nTotalDevNum=2\r\nCurDevIndex=-4\r\n", 2, -4}, // brought into range later
    };
    for (const Case& c : cases) {
        WriteIni(DefaultFolder(), kSetupIni, "[App_Setting]\r\nCurDevIndex=2\r\n");
        ::DeleteFileW((DefaultFolder() + L"\\reserve.ini").c_str());
        if (c.reserve)
            WriteIni(DefaultFolder(), kReserveIni, c.reserve);
        AppSettings s = StaleRecord();
        LoadSettingsFromFiles(s, kTallScreen);
        const char* label = c.reserve ? c.reserve : "(no reserve.ini)";
        EXPECT_EQ(s.TotalDevNum, c.total) << label;
        EXPECT_EQ(s.CurDevIndex, c.index) << label;
    }
}

TEST_F(SettingsStoreTest, SaveCreatesTheFolderAndBothFiles)
{
    AppSettings s;
    s.WindowSizeMod = 1;
    s.ResolutionMode = 3;
    s.GPS_ON = false;
    s.IdleTimeMode = 6;
    s.GPSComport = 7;
    s.FlashOn = true;
    s.AudioThreashold = 35;
    s.BrightnessThreashold = -5;
    s.TotalDevNum = 8;
    s.CurDevIndex = 4;
    ASSERT_FALSE(PathExists(DefaultFolder()));

    SaveSettingsToFiles(s);

    ASSERT_TRUE(test::IsDirectory(DefaultFolder()));
    const auto setup = ParseIniText(ReadIni(DefaultFolder(), kSetupIni));
    ASSERT_EQ(setup.size(), 2u);
    EXPECT_EQ(setup[0].name, "App_Setting");
    EXPECT_EQ(setup[0].entries, (Entries{{"CurDevIndex", "4"},
                                         {"PreviewSize", "2"},
                                         {"Resolution", "3"},
                                         {"Geotagging", "0"},
                                         {"IdleTime", "6"},
                                         {"GPSComport", "7"},
                                         {"Flsah_on", "1"}}));
    EXPECT_EQ(setup[1].name, "StealMode");
    EXPECT_EQ(setup[1].entries, (Entries{{"AudioThreashold", "35"}, {"BrightnessThreashold", "-5"}}));

    const auto reserve = ParseIniText(ReadIni(DefaultFolder(), kReserveIni));
    ASSERT_EQ(reserve.size(), 1u);
    EXPECT_EQ(reserve[0].name, "Device");
    EXPECT_EQ(reserve[0].entries, (Entries{{"TotalDevNum", "8"}, {"CurDevIndex", "4"}}));
}

TEST_F(SettingsStoreTest, SaveWritesNothingWhenReserveIniCannotBeCreated)
{
    const std::string previous =
        "[App_Setting]\r\nPreviewSize=1\r\nResolution=2\r\nLogFile=0\r\n\r\n"
        "[StealMode]\r\nAudioThreashold=3\r\n";
    const std::wstring setupPath = DefaultFolder() + L"\\setup.ini";
    const std::wstring reservePath = DefaultFolder() + L"\\reserve.ini";
    AppSettings s;
    s.WindowSizeMod = 1;
    s.ResolutionMode = 1;
    s.AudioThreashold = 80;
    s.TotalDevNum = 2;
    s.CurDevIndex = 1;

    for (const bool setupPresent : {true, false}) {
        test::RemoveTree(DefaultFolder());
        ASSERT_TRUE(::CreateDirectoryW(DefaultFolder().c_str(), nullptr));
        if (setupPresent)
            WriteIni(DefaultFolder(), kSetupIni, previous);
        // A folder in the way: the file cannot be created.
        ASSERT_TRUE(::CreateDirectoryW(reservePath.c_str(), nullptr));

        SaveSettingsToFiles(s);

        std::string after;
        if (setupPresent) {
            ASSERT_TRUE(ReadBytes(setupPath, after));
            EXPECT_EQ(after, previous);
        } else if (ReadBytes(setupPath, after)) {
            EXPECT_EQ(after, "") << "keys written to a new setup.ini";
        }
        EXPECT_TRUE(test::IsDirectory(reservePath));
    }
}

TEST_F(SettingsStoreTest, SaveKeepsReadOnlyKeysAndThePictureList)
{
    const std::string setupText =
        "[App_Setting]\r\n"
        "PreviewSize=1\r\n"
        "Resolution=2\r\n"
        "FlashWaitTime=250\r\n"
        "TrayDisplayString=Tamsel tray\r\n"
        "SanpHwKey=7b\r\n"
        "LogFile=0\r\n"
        "[AppDescription]\r\n"
        "WinTitle=About Tamsel\r\n"
        "CopyRight=(c) Corvane\r\n"
        "[FlashSupportDev]\r\n"
        "Dev1=VID_0AC8\r\n"
        "Dev2=Corvane Cam\r\n";
    const std::string reserveText =
        "[Device]\r\n"
        "TotalDevNum=2\r\n"
        "CurDevIndex=1\r\n"
        "[Pic]\r\n"
        "Total=3\r\n"
        "Cur=2\r\n"
        "file0=C:\\users\\Public\\Pictures\\IMG_0001.jpg\r\n"
        "file1=C:\\users\\Public\\Pictures\\IMG_0002.jpg\r\n"
        "file2=C:\\users\\Public\\Pictures\\gone.jpg\r\n";
    WriteIni(DefaultFolder(), kSetupIni, setupText);
    WriteIni(DefaultFolder(), kReserveIni, reserveText);

    AppSettings s = StaleRecord();
    LoadSettingsFromFiles(s, kTallScreen);
    // Changes in memory to keys that are only ever read must not reach disk.
    s.FlashWaitTime = 999;
    s.TrayDisplayString = L"changed tray";
    s.WinTitle = L"changed title";
    s.CopyRight = L"changed text";
    s.FlashSupportDev = {L"CHANGED"};
    s.ResolutionMode = 3;
    SaveSettingsToFiles(s);

    const auto before = ParseIniText(setupText);
    const auto after = ParseIniText(ReadIni(DefaultFolder(), kSetupIni));
    const Entries app = EntriesOf(after, "App_Setting");
    for (const char* key : {"FlashWaitTime", "TrayDisplayString", "SanpHwKey", "LogFile"}) {
        const auto was = std::find_if(before[0].entries.begin(), before[0].entries.end(),
                                      [&](const auto& e) { return e.first == key; });
        EXPECT_EQ(std::count(app.begin(), app.end(), *was), 1) << key;
    }
    const auto resolution = std::count_if(app.begin(), app.end(),
                                          [](const auto& e) { return e.first == "Resolution"; });
    EXPECT_EQ(resolution, 1);
    EXPECT_NE(std::find(app.begin(), app.end(), Entries::value_type{"Resolution", "3"}), app.end());
    EXPECT_EQ(EntriesOf(after, "AppDescription"), EntriesOf(before, "AppDescription"));
    EXPECT_EQ(EntriesOf(after, "FlashSupportDev"), EntriesOf(before, "FlashSupportDev"));

    const auto reserve = ParseIniText(ReadIni(DefaultFolder(), kReserveIni));
    EXPECT_EQ(EntriesOf(reserve, "Pic"), EntriesOf(ParseIniText(reserveText), "Pic"));
}

// Runs only on a screen less than 768 pixels high (the small-screen
// environment); the real screen height decides the window size.
class SmallScreen : public test::SettingsSandbox {
protected:
    void SetUp() override
    {
        if (::GetSystemMetrics(SM_CYSCREEN) >= kTallScreen)
            GTEST_SKIP() << "the screen is " << ::GetSystemMetrics(SM_CYSCREEN) << " pixels high";
        SettingsSandbox::SetUp();
    }
};

TEST_F(SmallScreen, LargePreviewIsRefusedAndSavedAsSmall)
{
    WriteIni(DefaultFolder(), kSetupIni, "[App_Setting]\r\nPreviewSize=2\r\n");
    AppSettings s = StaleRecord();
    LoadSettingsFromFiles(s, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(s.WindowSizeMod, 0);

    SaveSettingsToFiles(s);
    const Entries app = EntriesOf(ParseIniText(ReadIni(DefaultFolder(), kSetupIni)), "App_Setting");
    EXPECT_EQ(std::count(app.begin(), app.end(), Entries::value_type{"PreviewSize", "1"}), 1);
}

} // namespace
} // namespace tamsel
