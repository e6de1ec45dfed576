#include "gps/GpsRules.h"
#include "gps/Nmea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

namespace tamsel {

// Names in failure messages; static, so that ADL finds them here only.
static void PrintTo(GpsImage image, std::ostream* out)
{
    const wchar_t* file = GpsImageFile(image);
    *out << (file ? std::string(file, file + std::wcslen(file)) : std::string("Keep"));
}

static void PrintTo(ScanStep step, std::ostream* out)
{
    *out << (step == ScanStep::ReadAgain ? "ReadAgain" : step == ScanStep::NextPort ? "NextPort" : "Found");
}

namespace {

TEST(FixIsCurrent, GeotaggingOnAWholePositionAndLessThanThreeMinutes)
{
    // The limit as a number: a fix tags pictures for 179999 ms, not 180000.
    struct Case {
        const char* what;
        bool gpsOn, fixTaken;
        uint32_t fixTick, now;
        bool current;
    };
    const Case cases[] = {
        {"just taken", true, true, 5000, 5000, true},
        {"179999 ms old", true, true, 5000, 5000 + 179999, true},
        {"180000 ms old", true, true, 5000, 5000 + 180000, false},
        {"an hour old", true, true, 5000, 5000 + 3600000, false},
        {"geotagging off, just taken", false, true, 5000, 5000, false},
        {"geotagging off, a second old", false, true, 5000, 6000, false},
        {"no whole position yet", true, false, 5000, 5000, false},
        // GetTickCount wraps after 49.7 days: the age is the unsigned
        // difference, whatever lies between.
        {"taken before the wrap, 512 ms old", true, true, 0xFFFFFF00u, 0x100u, true},
        {"taken before the wrap, 179999 ms old", true, true, 0xFFFFFFFFu - 99999u, 80000u - 1u, true},
        {"taken before the wrap, 180000 ms old", true, true, 0xFFFFFFFFu - 99999u, 80000u, false},
        {"taken before the wrap, 262144 ms old", true, true, 0xFFFF0000u, 0x30000u, false},
        {"2^31 ms old", true, true, 0, 0x80000000u, false},
        {"2^32 - 1 ms old (a clock read before the fix)", true, true, 1000, 999, false},
        {"just taken at the top of the counter", true, true, 0xFFFFFFFFu, 0xFFFFFFFFu, true},
    };
    for (const Case& c : cases) {
        SGpsInfo info;
        info.bFixTaken = c.fixTaken;
        info.dwFixTick = c.fixTick;
        EXPECT_EQ(FixIsCurrent(info, c.gpsOn, c.now), c.current) << c.what;
    }
}

TEST(ComPortNumber, LastComInTheFriendlyName)
{
    struct Case { const wchar_t* name; int number; };
    const Case cases[] = {
        {L"USB Serial Port (COM12)", 12},
        {L"Communications Port (COM1)", 1}, // the mixed-case "Com" does not match
        {L"Prolific USB-to-Serial Comm Port (COM123)", 12},
        {L"Standard Serial over Bluetooth link", -1},
        {L"", -1},
        {L"COM", -1},
        {L"xCOM", -1},   // a "COM" needs a character after it
        {L"COM7", 7},    // the end of the name is no second digit
        {L"COM45", 45},
        {L"ECP Printer Port (LPT1)", -1},
        {L"com3", -1},
        {L"Bluetooth (COM4) via COM5", 5},
        {L"(COM09)", 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComPortNumberFromName(c.name), c.number) << c.name;
}

TEST(GpsIndicator, AnimatesAtMostOneFrameASecond)
{
    struct Step { int32_t status; uint32_t now; GpsImage image; int frame; };
    const Step steps[] = {
        {GPS_SEARCHING, 500, GpsImage::Keep, 0},   // not a second since tick 0 yet
        {GPS_SEARCHING, 1001, GpsImage::Searching1, 1},
        {GPS_SEARCHING, 1500, GpsImage::Keep, 1},  // two refreshes within a second: one frame
        {GPS_SEARCHING, 2001, GpsImage::Keep, 1},  // exactly a second: not more than one
        {GPS_SEARCHING, 2002, GpsImage::Searching2, 2},
        {GPS_NOFIX, 3100, GpsImage::Searching3, 3}, // no fix looks like searching
        {GPS_NOFIX, 4200, GpsImage::Searching1, 1},
        {GPS_FIX, 4300, GpsImage::Good, 0},
        {GPS_FIX, 4900, GpsImage::Good, 0},
        {GPS_SEARCHING, 5000, GpsImage::Keep, 0},       // the fix image stays until the second is up
        {GPS_SEARCHING, 5201, GpsImage::Searching1, 1}, // a new search starts at the first frame
        {GPS_SEARCHING, 6202, GpsImage::Searching2, 2},
        {GPS_OFF, 6203, GpsImage::Off, 0},
        {GPS_SEARCHING, 7202, GpsImage::Keep, 0},
        {GPS_SEARCHING, 7203, GpsImage::Searching1, 1},
        {7, 7204, GpsImage::Off, 0},               // any other value shows off
        {-1, 7205, GpsImage::Off, 0},
    };
    GpsAnimation animation;
    for (const Step& s : steps) {
        EXPECT_EQ(animation.OnRefresh(s.status, s.now), s.image) << s.status << " at " << s.now;
        EXPECT_EQ(animation.Frame(), s.frame) << s.status << " at " << s.now;
    }
}

TEST(GpsIndicator, SurvivesTheTickWrap)
{
    GpsAnimation animation;
    EXPECT_EQ(animation.OnRefresh(GPS_SEARCHING, 0xFFFFFF00u), GpsImage::Searching1);
    EXPECT_EQ(animation.OnRefresh(GPS_SEARCHING, 0x000002E8u), GpsImage::Keep);       // 1000 ms on
    EXPECT_EQ(animation.OnRefresh(GPS_SEARCHING, 0x000002E9u), GpsImage::Searching2); // 1001 ms on
}

TEST(GpsIndicator, SkinFiles)
{
    struct Case { GpsImage image; const wchar_t* file; };
    const Case cases[] = {
        {GpsImage::Searching1, L"GPS_unknow_1.png"}, {GpsImage::Searching2, L"GPS_unknow_2.png"},
        {GpsImage::Searching3, L"GPS_unknow_3.png"}, {GpsImage::Good, L"GPS_good.png"},
        {GpsImage::Off, L"GPS_off.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::wstring(GpsImageFile(c.image)), c.file);
    EXPECT_EQ(GpsImageFile(GpsImage::Keep), nullptr);
}

TEST(GpsSwitch, StartAndStopDecisions)
{
    struct Case { bool start, running, create, end, apply; int32_t status; bool gpsOn; };
    const Case cases[] = {
        {true, true, false, false, false, GPS_OFF, false}, // a second start changes nothing
        {true, false, true, false, true, GPS_SEARCHING, true},
        {false, true, false, true, true, GPS_OFF, false},
        {false, false, false, false, true, GPS_OFF, false}, // the reader's own end message after a stop
    };
    for (const Case& c : cases) {
        const SGpsSwitch s = DecideGpsSwitch(c.start, c.running);
        EXPECT_EQ(s.bCreateReader, c.create) << c.start << c.running;
        EXPECT_EQ(s.bEndReader, c.end) << c.start << c.running;
        EXPECT_EQ(s.bApply, c.apply) << c.start << c.running;
        if (c.apply) {
            EXPECT_EQ(s.nStatus, c.status) << c.start << c.running;
            EXPECT_EQ(s.bGpsOn, c.gpsOn) << c.start << c.running;
        }
    }
}

// "$" + body + "*00" + CR LF: the parser does not look at the checksum.
std::string Sentences(const char* body, int times)
{
    std::string s;
    for (int k = 0; k < times; ++k)
        s += std::string("$") + body + "*00\r\n";
    return s;
}

// The scan on one port: each read parsed into the port's own record with the
// given process-wide count; the step after each read, until it is not ReadAgain.
std::vector<ScanStep> ScanPort(const std::vector<std::string>& reads, int32_t& count)
{
    SGpsInfo info; // fresh for the port: GPS_SEARCHING, no owner
    PortScan scan;
    std::vector<ScanStep> steps;
    for (const std::string& read : reads) {
        ParseNmeaBuffer(info, read.data(), read.size(), 1, count);
        steps.push_back(scan.AfterParse(info));
        if (steps.back() != ScanStep::ReadAgain)
            break;
    }
    return steps;
}

TEST(AutoScan, FindsAReceiverByTheParsersVerdict)
{
    using V = std::vector<ScanStep>;
    const char* noFix = "GPGGA,,,,,,0,00,99.99,,,,,,";
    const char* fix = "GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.0,,010110,,,A";
    const std::string garbage(512, '\x55'); // a receiver at 4800 baud read at 115200
    struct Case { std::vector<std::string> reads; int32_t countBefore; V steps; };
    const Case cases[] = {
        {{Sentences(fix, 1)}, 0, {ScanStep::Found}},
        // Without a fix: the seventh sentence in a row.
        {{Sentences(noFix, 3), Sentences(noFix, 3), Sentences(noFix, 1)}, 0,
         {ScanStep::ReadAgain, ScanStep::ReadAgain, ScanStep::Found}},
        {{Sentences(noFix, 6), "", ""}, 0, {ScanStep::ReadAgain, ScanStep::ReadAgain, ScanStep::ReadAgain}},
        // The reader left the count above five: one sentence suffices.
        {{Sentences(noFix, 1)}, 6, {ScanStep::Found}},
        {{garbage, garbage, garbage, garbage, Sentences(fix, 1)}, 0,
         {ScanStep::ReadAgain, ScanStep::ReadAgain, ScanStep::ReadAgain, ScanStep::NextPort}},
        {{"", "", "", "", ""}, 0, {ScanStep::ReadAgain, ScanStep::ReadAgain, ScanStep::ReadAgain, ScanStep::NextPort}},
    };
    for (const Case& c : cases) {
        int32_t count = c.countBefore;
        EXPECT_EQ(ScanPort(c.reads, count), c.steps) << c.reads.size() << " reads, count " << c.countBefore;
    }
}

TEST(AutoScan, FailedAndEmptyReadsAreBounded)
{
    // A port whose reads never start, or always complete at once with
    // nothing and no known reason, is left after five of them.
    PortScan failing, empty;
    for (int k = 1; k < 5; ++k) {
        EXPECT_EQ(failing.AfterFailedRead(), ScanStep::ReadAgain) << k;
        EXPECT_EQ(empty.AfterEmptyRead(), ScanStep::ReadAgain) << k;
    }
    EXPECT_EQ(failing.AfterFailedRead(), ScanStep::NextPort);
    EXPECT_EQ(empty.AfterEmptyRead(), ScanStep::NextPort);

    // Each kind counts on its own: a data read in between does not reset them.
    PortScan mixed;
    SGpsInfo searching;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(mixed.AfterEmptyRead(), ScanStep::ReadAgain);
        EXPECT_EQ(mixed.AfterFailedRead(), ScanStep::ReadAgain);
    }
    EXPECT_EQ(mixed.AfterParse(searching), ScanStep::ReadAgain);
    EXPECT_EQ(mixed.AfterEmptyRead(), ScanStep::NextPort);
}

TEST(AutoScan, SilentPortIsGivenUpAfterAboutThreeSeconds)
{
    // A read that completes `after` ms into the waits for it (-1: never).
    // A pause is no wait for the read: one done meanwhile is seen by the
    // next wait at once.
    const auto caught = [](long after, long& spent) {
        spent = 0;
        for (const SScanWait& w : kScanPendingWaits) {
            if (w.bForRead && after >= 0 && after <= spent + static_cast<long>(w.dwMs)) {
                spent = std::max(spent, after);
                return true;
            }
            spent += w.dwMs;
        }
        return false;
    };
    struct Case { long after; bool caught; long spent; };
    const Case cases[] = {
        {0, true, 0}, {999, true, 999}, {1000, true, 1000}, {1500, true, 2000},
        {2999, true, 2999}, {3000, true, 3000}, {3001, false, 3000}, {-1, false, 3000},
    };
    for (const Case& c : cases) {
        long spent = 0;
        EXPECT_EQ(caught(c.after, spent), c.caught) << c.after;
        EXPECT_EQ(spent, c.spent) << c.after;
    }
}

} // namespace
} // namespace tamsel
