// The debug log file in the temporary folder, written through the real C
// runtime stream and read back as bytes.
#include "settings/DebugLog.h"

#include <cstdio>
#include <regex>

#include "SandboxFixture.h"
#include "settings/SettingsStore.h"

namespace tamsel {
namespace {

using test::ReadBytes;

constexpr int kTallScreen = 768;

const char kExampleSetup[] =
    "[App_Setting]\r\nPreviewSize=2\r\nResolution=3\r\nIdleTime=6\r\nGeotagging=1\r\nLogFile=1\r\n";
const char kExampleReserve[] = "[Device]\r\nTotalDevNum=2\r\nCurDevIndex=1\r\n";

// The lines of a log file. Each line the program ends with CR LF goes through
// a text-mode stream, so it ends with CR CR LF on disk; anything else fails.
std::vector<std::string> LogLines(const std::string& bytes)
{
    static const std::string kEnd = "\r\r\n";
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find(kEnd, pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR CR LF: [" << bytes.substr(pos) << "]";
            break;
        }
        const std::string line = bytes.substr(pos, end - pos);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break in [" << line << "]";
        lines.push_back(line);
        pos = end + kEnd.size();
    }
    return lines;
}

ULONGLONG Ticks(const SYSTEMTIME& t)
{
    FILETIME ft{};
    EXPECT_TRUE(::SystemTimeToFileTime(&t, &ft));
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

ULONGLONG LocalNow()
{
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return Ticks(t);
}

constexpr ULONGLONG kSecond = 10'000'000; // FILETIME ticks

// Checks the header line's format and that its time lies between the two
// readings of the clock taken around the opening (a second's slack either
// side: the header has no fractions).
void ExpectHeaderAtTime(const std::string& line, ULONGLONG before, ULONGLONG after)
{
    static const std::regex kHeader(
        R"(Varnex Application debug file create at (\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2}))");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kHeader)) << line;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(std::stoi(m[1]));
    t.wMonth = static_cast<WORD>(std::stoi(m[2]));
    t.wDay = static_cast<WORD>(std::stoi(m[3]));
    t.wHour = static_cast<WORD>(std::stoi(m[4]));
    t.wMinute = static_cast<WORD>(std::stoi(m[5]));
    t.wSecond = static_cast<WORD>(std::stoi(m[6]));
    const ULONGLONG stamp = Ticks(t);
    EXPECT_GE(stamp + 2 * kSecond, before) << line;
    EXPECT_LE(stamp, after + kSecond) << line;
}

class DebugLogTest : public test::SettingsSandbox {
protected:
    AppSettings LoadExample()
    {
        WriteIni(DefaultFolder(), kSetupIni, kExampleSetup);
        WriteIni(DefaultFolder(), kReserveIni, kExampleReserve);
        AppSettings s;
        const LoadOutcome out = LoadSettingsFromFiles(s, kTallScreen);
        EXPECT_GT(out.logFile, 0);
        return s;
    }

    std::vector<std::string> ReadLog()
    {
        std::string bytes;
        EXPECT_TRUE(ReadBytes(LogPath(), bytes)) << "no log file";
        return LogLines(bytes);
    }
};

TEST_F(DebugLogTest, OpeningWritesTheHeaderAndTheLoadedSettings)
{
    const AppSettings s = LoadExample();
    DebugLog log;
    const ULONGLONG before = LocalNow();
    log.Open(s);
    const ULONGLONG after = LocalNow();
    ASSERT_TRUE(log.IsOpen());

    // Read while the stream is still open: the opener has flushed.
    const auto lines = ReadLog();
    ASSERT_EQ(lines.size(), 7u);
    ExpectHeaderAtTime(lines[0], before, after);
    EXPECT_EQ(lines[1], "WindowSizeMod = 1");
    EXPECT_EQ(lines[2], "ResolutionMode = 3");
    EXPECT_EQ(lines[3], "IdleTimeMode = 6");
    EXPECT_EQ(lines[4], "GPS_ON = 1");
    EXPECT_EQ(lines[5], "TotalDevNum = 2");
    EXPECT_EQ(lines[6], "CurDevIndex = 1");
}

TEST_F(DebugLogTest, LogOfAnEarlierRunIsReplaced)
{
    std::string old;
    for (int i = 0; i < 200; ++i)
        old += "earlier run line " + std::to_string(i) + "\r\r\n";
    ASSERT_TRUE(test::WriteBytes(LogPath(), old));

    const AppSettings s = LoadExample();
    DebugLog log;
    log.Open(s);
    log.Close();

    const auto lines = ReadLog();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].rfind("Varnex Application debug file create at ", 0), 0u) << lines[0];
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("earlier run"), std::string::npos);
}

TEST_F(DebugLogTest, ReloadWhileOpenAppendsAnotherHeaderAndDump)
{
    const AppSettings first = LoadExample();
    DebugLog log;
    log.Open(first);

    WriteIni(DefaultFolder(), kSetupIni,
             "[App_Setting]\r\nPreviewSize=1\r\nResolution=2\r\nIdleTime=3\r\nGeotagging=0\r\nLogFile=1\r\n");
    AppSettings second;
    const ULONGLONG before = LocalNow();
    ASSERT_GT(LoadSettingsFromFiles(second, kTallScreen).logFile, 0);
    log.Open(second);
    const ULONGLONG after = LocalNow();

    const auto lines = ReadLog();
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[1], "WindowSizeMod = 1");
    EXPECT_EQ(lines[2], "ResolutionMode = 3");
    ExpectHeaderAtTime(lines[7], before, after);
    const std::vector<std::string> dump(lines.begin() + 8, lines.end());
    EXPECT_EQ(dump, (std::vector<std::string>{"WindowSizeMod = 0", "ResolutionMode = 2",
                                              "IdleTimeMode = 3", "GPS_ON = 0", "TotalDevNum = 2",
                                              "CurDevIndex = 1"}));
}

TEST_F(DebugLogTest, LinesFollowTheDumpUntilTheLogIsClosed)
{
    DebugLog log;
    log.Write("before opening\r\n");
    EXPECT_FALSE(test::PathExists(LogPath())) << "a closed log wrote a file";

    log.Open(LoadExample());
    log.Write("OnSnapshot: small pic hbitmap == NULL\r\n");
    log.Close();
    EXPECT_FALSE(log.IsOpen());
    log.Write("after closing\r\n");

    const auto lines = ReadLog();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[7], "OnSnapshot: small pic hbitmap == NULL");
}

TEST_F(DebugLogTest, LogSwitchIsOnlyForValuesAboveZero)
{
    // A log of an earlier run: loading alone never touches it.
    const std::string old = "earlier run\r\r\n";
    ASSERT_TRUE(test::WriteBytes(LogPath(), old));
    struct Case { const char* line; bool wanted; };
    const Case cases[] = {
        {"LogFile=0", false}, {nullptr, false}, {"LogFile=-1", false}, {"LogFile=-20", false},
        {"LogFile=1", true},  {"LogFile=3", true},
    };
    for (const Case& c : cases) {
        std::string ini = "[App_Setting]\r\nResolution=2\r\n";
        if (c.line)
            ini += std::string(c.line) + "\r\n";
        WriteIni(DefaultFolder(), kSetupIni, ini);
        AppSettings s;
        const LoadOutcome out = LoadSettingsFromFiles(s, kTallScreen);
        const char* label = c.line ? c.line : "(no key)";
        if (c.wanted)
            EXPECT_GT(out.logFile, 0) << label;
        else
            EXPECT_LE(out.logFile, 0) << label;
        if (!c.line) {
            EXPECT_EQ(out.logFile, 0) << "the default is off";
        }
    }
    std::string after;
    ASSERT_TRUE(ReadBytes(LogPath(), after));
    EXPECT_EQ(after, old);
}

} // namespace
} // namespace tamsel
