#include "shell/ShellRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace tamsel {
namespace {

TEST(ShowOnStart, OnlyTheExactTailDashHHides)
{
    struct Case { int argc; const wchar_t* tail; bool visible; };
    const Case cases[] = {
        {1, L"", true},        {2, L"-h", false},   {2, L"-H", true},
        {2, L"-h ", true},     {3, L"-h x", true},  {2, L"/h", true},
        {1, L"-h", true}, // no argument counted: the tail cannot be "-h"
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShowOnStart(c.argc, c.tail), c.visible) << c.argc << " [" << c.tail << "]";
}

TEST(CommandLineTail, SkipsProgramNameAndLeadingBlanks)
{
    // A tab ends an unquoted program name and is skipped as a blank is, as
    // the runtime's own argument split treats it.
    struct Case { const wchar_t* commandLine; const wchar_t* tail; };
    const Case cases[] = {
        {L"\"C:\\Program Files\\Tamsel.exe\"   -h", L"-h"},
        {L"Tamsel.exe -h ", L"-h "},
        {L"Tamsel.exe", L""},
        {L"\"unterminated -h", L""},
        {L"Tamsel.exe\t-h", L"-h"},
        {L"Tamsel.exe \t -h", L"-h"},
        {L"\"C:\\Tamsel\\Tamsel.exe\"\t-h", L"-h"},
        {L"Tamsel.exe\t-h\t", L"-h\t"},
        {L"C:\\Tamsel\\Tamsel.exe\t\t", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CommandLineTail(c.commandLine), c.tail) << "[" << c.commandLine << "]";
}

TEST(ShowOnStart, DashHAfterATabStartsHidden)
{
    // What the entry point does: the runtime counts two arguments here.
    EXPECT_FALSE(ShowOnStart(2, CommandLineTail(L"Tamsel.exe\t-h")));
    EXPECT_TRUE(ShowOnStart(2, CommandLineTail(L"Tamsel.exe\t-h\t")));
}

TEST(OsLevel, VersionsMapToGenerations)
{
    struct Case { unsigned major, minor; int level; };
    const Case cases[] = {
        {4, 0, 0}, {4, 90, 0}, {5, 0, 0}, {5, 1, 1}, {5, 2, 1},
        {6, 0, 2}, {6, 1, 3}, {6, 2, 3}, {6, 3, 3}, {10, 0, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OsLevelFromVersion(c.major, c.minor), c.level) << c.major << "." << c.minor;
}

TEST(IdleRule, ClosesOnlyAfterMoreThanTheIdleTime)
{
    const uint32_t start = 1000;
    EXPECT_FALSE(IdleExpired(start + 300000, start, 1)); // exactly 5 minutes: not yet
    EXPECT_TRUE(IdleExpired(start + 300001, start, 1));
    EXPECT_FALSE(IdleExpired(start + 1799999, start, 6));
    EXPECT_TRUE(IdleExpired(start + 1800001, start, 6));
    EXPECT_FALSE(IdleExpired(start, start, 1));
}

TEST(IdleRule, SurvivesTheTickWrap)
{
    const uint32_t last = 0xFFFFFF00u; // 256 ms before the 49.7-day wrap
    EXPECT_FALSE(IdleExpired(last + 1000u, last, 1));       // wrapped, 1 s later
    EXPECT_FALSE(IdleExpired(last + 300000u, last, 1));
    EXPECT_TRUE(IdleExpired(last + 300001u, last, 1));
}

TEST(RotationKeys, CtrlAltArrowsGiveTheirCodes)
{
    EXPECT_EQ(RotationCodeForKey(kVkUp, true, true), 1);
    EXPECT_EQ(RotationCodeForKey(kVkRight, true, true), 2);
    EXPECT_EQ(RotationCodeForKey(kVkDown, true, true), 3);
    EXPECT_EQ(RotationCodeForKey(kVkLeft, true, true), 4);
    EXPECT_EQ(RotationCodeForKey(kVkRight, true, false), 0);
    EXPECT_EQ(RotationCodeForKey(kVkRight, false, true), 0);
    EXPECT_EQ(RotationCodeForKey(0x41, true, true), 0);
}

// A sequence of keyboard events fed to one filter, with the expected answers.
struct KeyEvent { unsigned vk; unsigned msg; uint32_t tick; bool fires; };
constexpr unsigned kDown = 0x100, kUp = 0x101, kSysDown = 0x104, kSysUp = 0x105;

void Replay(const std::vector<KeyEvent>& events, uint32_t hwKey)
{
    HwKeyFilter filter;
    for (size_t i = 0; i < events.size(); ++i) {
        const KeyEvent& e = events[i];
        EXPECT_EQ(filter.OnKeyEvent(e.vk, e.msg, hwKey, e.tick), e.fires) << "event " << i;
    }
}

TEST(HwKeyFilter, MatchesReleasesOfTheConfiguredKeyOnly)
{
    Replay({{0x41, kDown, 5000, false},
            {0x41, kDown, 5030, false}, // auto-repeat
            {0x41, kUp, 5100, true},
            {0x42, kUp, 7000, false},   // another key
            {0x41, kSysUp, 9000, false}, // released with Alt held
            {0x41, kSysDown, 9100, false},
            {0x41, kUp, 12000, true}},
           0x41);
}

TEST(HwKeyFilter, NoKeyConfiguredMeansNoSnapshot)
{
    Replay({{0x41, kUp, 5000, false}, {0, kUp, 9000, false}}, 0);
}

TEST(HwKeyFilter, DebounceCountsFromThePreviousReleaseEvenIfDropped)
{
    Replay({{0x7B, kUp, 10000, true},
            {0x7B, kUp, 10600, false},
            {0x7B, kUp, 11200, false}, // 600 ms after a dropped release
            {0x7B, kUp, 12200, false}, // exactly 1000 ms: still dropped
            {0x7B, kUp, 13201, true},
            {0x7B, kUp, 14701, true}}, // 1500 ms apart
           0x7B);
}

TEST(HwKeyFilter, DebounceSurvivesTheTickWrap)
{
    Replay({{0x41, kUp, 0xFFFFFE00u, true}, {0x41, kUp, 0x00000100u, false},
            {0x41, kUp, 0x00000600u, true}},
           0x41);
}

} // namespace
} // namespace tamsel
