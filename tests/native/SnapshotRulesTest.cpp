#include "snapshot/SnapshotRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace tamsel {
namespace {

const LocalDate kMarch9{2026, 3, 9};

TEST(MakePictureFileName, FirstFreeNumberOfTheDay)
{
    struct Case {
        const char* what;
        LocalDate date;
        std::set<std::wstring> present;
        const wchar_t* name;
    };
    const Case cases[] = {
        {"empty folder", kMarch9, {}, L"C:\\Pics\\26-03-09-0000.jpg"},
        {"next of the day", kMarch9, {L"C:\\Pics\\26-03-09-0000.jpg"}, L"C:\\Pics\\26-03-09-0001.jpg"},
        {"a gap is filled first", kMarch9, {L"C:\\Pics\\26-03-09-0000.jpg", L"C:\\Pics\\26-03-09-0002.jpg"},
         L"C:\\Pics\\26-03-09-0001.jpg"},
        {"after the gap",
         kMarch9,
         {L"C:\\Pics\\26-03-09-0000.jpg", L"C:\\Pics\\26-03-09-0001.jpg", L"C:\\Pics\\26-03-09-0002.jpg"},
         L"C:\\Pics\\26-03-09-0003.jpg"},
        {"a new day starts at 0000",
         {2026, 3, 10},
         {L"C:\\Pics\\26-03-09-0000.jpg", L"C:\\Pics\\26-03-09-0001.jpg"},
         L"C:\\Pics\\26-03-10-0000.jpg"},
        {"one-digit fields padded", {2001, 12, 31}, {}, L"C:\\Pics\\01-12-31-0000.jpg"},
        {"year 2100 takes three digits", {2100, 1, 1}, {}, L"C:\\Pics\\100-01-01-0000.jpg"},
        // As printf's "%02d" pads: the sign counts towards the width.
        {"a clock set to 1999", {1999, 3, 9}, {}, L"C:\\Pics\\-1-03-09-0000.jpg"},
        {"a clock set to 1990", {1990, 3, 9}, {}, L"C:\\Pics\\-10-03-09-0000.jpg"},
        {"a clock set to 1601", {1601, 1, 1}, {}, L"C:\\Pics\\-399-01-01-0000.jpg"},
    };
    for (const Case& c : cases) {
        const auto name = MakePictureFileName(L"C:\\Pics", c.date, [&](const std::wstring& path) {
            return c.present.count(path) > 0;
        });
        ASSERT_TRUE(name.has_value()) << c.what;
        EXPECT_EQ(*name, c.name) << c.what;
    }
}

TEST(MakePictureFileName, AllTenThousandTakenGivesNoName)
{
    std::set<std::wstring> asked;
    const auto name = MakePictureFileName(L"C:\\Pics", kMarch9, [&](const std::wstring& path) {
        asked.insert(path);
        return true;
    });
    EXPECT_FALSE(name.has_value());
    EXPECT_EQ(asked.size(), 10000u);
    EXPECT_EQ(asked.count(L"C:\\Pics\\26-03-09-9999.jpg"), 1u);

    // 9999 free after all others: still found.
    const auto last = MakePictureFileName(L"C:\\Pics", kMarch9, [](const std::wstring& path) {
        return path != L"C:\\Pics\\26-03-09-9999.jpg";
    });
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(*last, L"C:\\Pics\\26-03-09-9999.jpg");
}

TEST(MakePictureFileName, AFolderTooLongForANameIsRefused)
{
    // Backslash and "YY-MM-DD-NNNN.jpg" take 18 characters of the 259.
    for (size_t length : {240u, 241u, 242u, 300u}) {
        const std::wstring folder = L"C:\\" + std::wstring(length - 3, L'p');
        bool asked = false;
        const auto name = MakePictureFileName(folder, kMarch9, [&](const std::wstring&) {
            asked = true;
            return false;
        });
        if (length <= 241) {
            ASSERT_TRUE(name.has_value()) << length;
            EXPECT_LE(name->size(), kMaxPathChars - 1);
        } else {
            EXPECT_FALSE(name.has_value()) << length;
            EXPECT_FALSE(asked) << length;
        }
    }
}

TEST(FlashFires, WantedFlashStealthThresholdsAndWhichLevelsAreRead)
{
    struct Case {
        const char* what;
        FlashSettings s;
        int audio, brightness;
        bool fires, audioRead, brightnessRead;
    };
    const Case cases[] = {
        {"Vista+: quiet and dim", {true, true, 0, 20, 3}, 0, 20, false, true, true},
        {"Vista+: volume 1 %", {true, true, 0, 20, 3}, 1, 0, true, true, false},
        {"Vista+: quiet, brightness 21 %", {true, true, 0, 20, 3}, 0, 21, true, true, true},
        {"Vista: quiet and dim", {true, true, 0, 20, 2}, 0, 5, false, true, true},
        {"thresholds compare as greater than", {true, true, 30, 50, 3}, 30, 50, false, true, true},
        {"XP: any raw volume fires", {true, true, 0, 20, 1}, 1, 0, true, true, false},
        {"XP: silent, brightness never read", {true, true, 0, 20, 1}, 0, 100, false, true, false},
        {"flash not wanted", {false, true, 0, 20, 3}, 50, 50, false, false, false},
        {"camera without flash", {true, false, 0, 20, 3}, 50, 50, false, false, false},
        {"no brightness readable counts as 0", {true, true, 0, 20, 3}, 0, 0, false, true, true},
        {"negative threshold", {true, true, -1, -1, 3}, 0, 0, true, true, false},
    };
    for (const Case& c : cases) {
        bool audioRead = false, brightnessRead = false;
        const bool fires = FlashFires(
            c.s,
            [&] {
                audioRead = true;
                return c.audio;
            },
            [&] {
                brightnessRead = true;
                return c.brightness;
            });
        EXPECT_EQ(fires, c.fires) << c.what;
        EXPECT_EQ(audioRead, c.audioRead) << c.what;
        EXPECT_EQ(brightnessRead, c.brightnessRead) << c.what;
    }
}

TEST(AudioLevelFromScalar, RoundsThroughAFloat)
{
    struct Case {
        float scalar;
        int level;
    };
    const Case cases[] = {
        {0.0f, 0}, {0.004f, 0}, {0.005f, 1}, {0.0149f, 1}, {0.5f, 50},
        {0.994f, 99}, {1.0f, 100}, {std::nanf(""), 0}, {1e30f, 2147483647},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AudioLevelFromScalar(c.scalar), c.level) << c.scalar;
}

TEST(FlashWaitMs, NegativeWaitsNotAtAllAndLargeValuesWaitTheBound)
{
    EXPECT_EQ(FlashWaitMs(100), 100u);
    EXPECT_EQ(FlashWaitMs(0), 0u);
    EXPECT_EQ(FlashWaitMs(-1), 0u); // not 0xFFFFFFFF, which sleeps for ever
    EXPECT_EQ(FlashWaitMs(4999), 4999u);
    EXPECT_EQ(FlashWaitMs(5000), 5000u);
    EXPECT_EQ(FlashWaitMs(5001), 5000u);
    EXPECT_EQ(FlashWaitMs(2147483647), 5000u); // not 24 days with the lamp lit
}

TEST(CameraHasFlash, ListedFragmentsIgnoringLetterCase)
{
    const std::wstring cam = L"@device:pnp:\\\\?\\USB#VID_1B3F&PID_2247&MI_00#7&1F2A#{65E8773D}\\GLOBAL";
    struct Case {
        const char* what;
        std::vector<std::wstring> list;
        bool has;
    };
    const Case cases[] = {
        {"lower-case entry", {L"vid_1b3f&pid_2247"}, true},
        {"second entry", {L"VID_0000", L"Pid_2247"}, true},
        {"no entry matches", {L"VID_0000", L"PID_9999"}, false},
        {"empty list", {}, false},
        {"longer than the name", {cam + L"X"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CameraHasFlash(cam, c.list), c.has) << c.what;
    EXPECT_TRUE(CameraHasFlash(L"Caméra Å", {L"CAMÉRA å"}));
}

TEST(CameraHasFlash, OnlyLettersChangeCase)
{
    // The Latin-1 small letters are upper-cased, but U+00F7 (the division
    // sign) sits among them and is no letter: it must not become U+00D7 (the
    // multiplication sign); nor has U+00FF an upper case in Latin-1.
    struct Case {
        const wchar_t* name;
        const wchar_t* entry;
        bool has;
    };
    const Case cases[] = {
        {L"CAM \u00F7 2", L"cam \u00F7 2", true},
        {L"CAM \u00D7 2", L"cam \u00D7 2", true},
        {L"CAM \u00F7 2", L"cam \u00D7 2", false},
        {L"CAM \u00D7 2", L"cam \u00F7 2", false},
        {L"\u00E0\u00FE", L"\u00C0\u00DE", true}, // a-grave, thorn
        {L"\u00FF", L"\u0178", false},             // y-diaeresis stays as it is
        {L"\u00FF", L"\u00DF", false},
        {L"CAM @", L"cam `", false},                // around a-z: no letters
        {L"CAM [", L"cam {", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CameraHasFlash(c.name, {c.entry}), c.has) << static_cast<int>(c.name[0]) << " " << c.entry[0];
}

TEST(FlashRegisterWrites, StatusBitAndLightPattern)
{
    struct Case {
        bool on;
        uint8_t read, status, light;
    };
    const Case cases[] = {
        {true, 0x85, 0xC5, 0x4F},
        {false, 0xC5, 0x85, 0x0F},
        {true, 0xC5, 0xC5, 0x4F},
        {false, 0x00, 0x00, 0x0F},
        {true, 0x00, 0x40, 0x4F},
        {false, 0xFF, 0xBF, 0x0F},
    };
    for (const Case& c : cases) {
        const std::vector<IspWrite> w = FlashRegisterWrites(c.on, c.read);
        ASSERT_EQ(w.size(), 2u);
        EXPECT_EQ(w[0].reg, 0x20);
        EXPECT_EQ(w[0].value, c.status) << int(c.read);
        EXPECT_EQ(w[1].reg, 0x22);
        EXPECT_EQ(w[1].value, c.light);
    }
    EXPECT_EQ(kFlashStatusReg, 0x20);
}

} // namespace
} // namespace tamsel
