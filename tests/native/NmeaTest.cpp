#include "gps/Nmea.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tamsel {
namespace {

// "$" + body + "*" + checksum + CR LF, as a receiver sends it.
std::string S(const std::string& body)
{
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

const std::string kWorked = "GPGGA,092750.00,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,";
const std::string kNoFixGga = "GPGGA,092751.00,,,,,0,00,99.99,,,,,,";

// A reader's side of the parser: each read in a heap buffer of exactly its
// size, so a byte read past the end is a sanitizer fault.
struct Receiver {
    SGpsInfo info;
    int32_t count = 0;
    uint32_t tick = 1000;

    bool Read(const std::string& bytes)
    {
        std::unique_ptr<char[]> buffer(new char[bytes.size()]);
        if (!bytes.empty())
            std::memcpy(buffer.get(), bytes.data(), bytes.size());
        return ParseNmeaBuffer(info, buffer.get(), bytes.size(), tick, count);
    }
};

TEST(Nmea, WorkedExample)
{
    Receiver r;
    r.count = 3;
    r.Read(S(kWorked));
    EXPECT_EQ(r.info.tmUtc.tm_hour, 9);
    EXPECT_EQ(r.info.tmUtc.tm_min, 27);
    EXPECT_EQ(r.info.tmUtc.tm_sec, 50);
    EXPECT_EQ(r.info.nLatDeg, 53);
    EXPECT_EQ(r.info.fLatMin, 21.0f);
    EXPECT_FLOAT_EQ(r.info.fLatSec, 40.8f);
    EXPECT_EQ(r.info.nLatRef, 0);
    EXPECT_EQ(r.info.nLonDeg, 6);
    EXPECT_EQ(r.info.fLonMin, 30.0f);
    EXPECT_FLOAT_EQ(r.info.fLonSec, 19.8f);
    EXPECT_EQ(r.info.nLonRef, 1);
    EXPECT_EQ(r.info.nStatus, GPS_FIX);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.info.dwFixTick, r.tick);
    EXPECT_TRUE(r.info.bFixTaken);
    EXPECT_FALSE(r.info.bHasDate); // the date comes from $GPRMC only
    EXPECT_EQ(r.info.tmUtc.tm_mday, 0);
}

TEST(Nmea, VerdictOfEachSentence)
{
    struct Case { std::string body; bool fix; bool position; };
    const Case cases[] = {
        {kWorked, true, true},
        {"GPGGA,092750.00,5321.68020,N,00630.33930,W,2,08,1.03,61.7,M,55.2,M,,", false, false},
        {"GPGGA,092750.00,5321.68020,N,00630.33930,W,0,08,1.03,61.7,M,55.2,M,,", false, false},
        {"GPGGA,092750.00,5321.68020,N,00630.33930,W,6,08,1.03,61.7,M,55.2,M,,", false, false},
        {"GPGGA,092750.00,5321.68020,N,00630.33930,W,,08,1.03,61.7,M,55.2,M,,", false, false},
        {"GPGGA,092750.00,5321.68020,N,00630.33930,W,11,08,1.03,61.7,M,55.2,M,,", false, false},
        {"GPGGA,092750.000,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,", true, true},
        {"GPGGA,092750,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,", true, true},
        // Four or six decimals: a fix whose position the program cannot read.
        {"GPGGA,092750.00,5321.6802,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,", true, false},
        {"GPGGA,092750.00,5321.68020,N,00630.3393,W,1,08,1.03,61.7,M,55.2,M,,", true, false},
        {"GPGGA,092750.00,5321.680200,N,00630.339300,W,1,08,1.03,61.7,M,55.2,M,,", true, false},
        {"GPGLL,5321.68020,N,00630.33930,W,092750.00,A,A", true, true},
        {"GPGLL,5321.68020,N,00630.33930,W,092750.00,V,N", false, false},
        {"GPGLL,5321.68020,N,00630.33930,W,092750.00,A", false, false}, // status only before "*"
        {"GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.004,,010809,,,A", true, true},
        {"GPRMC,092750.00,V,5321.68020,N,00630.33930,W,0.004,,010809,,,N", false, false},
        {"GPRMC,092750.00,a,5321.68020,N,00630.33930,W,0.004,,010809,,,A", false, false},
        {"GPRMC,092750.00,A,,,,,,,010809,,,N", true, false},
        {"GPGGAX,092750.00,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,", false, false},
        {"GPGGA", false, false}, // a name and "*": no comma after it
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S(c.body));
        EXPECT_EQ(r.info.nStatus, c.fix ? GPS_FIX : GPS_SEARCHING) << c.body;
        EXPECT_EQ(r.count, c.fix ? 0 : 1) << c.body;
        EXPECT_EQ(r.info.bFixTaken, c.position) << c.body;
        EXPECT_EQ(r.info.dwFixTick, c.position ? r.tick : 0u) << c.body;
    }
}

TEST(Nmea, OnlyFieldsOfTheExactWidthAreTaken)
{
    // After the worked example's fix (09:27:50, 53 N, 6 W) at tick 1000, one
    // sentence at tick 2000 for 10:11:12, 48 S, 11 E.
    struct Case {
        std::string body;
        int hour, minute, second, latDeg, latRef, lonDeg, lonRef;
        uint32_t fixTick;
    };
    const Case cases[] = {
        {"GPGGA,101112.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", 10, 11, 12, 48, 1, 11, 0, 2000},
        {"GPGGA,101112.000,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", 9, 27, 50, 48, 1, 11, 0, 2000},
        {"GPGGA,101112,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", 9, 27, 50, 48, 1, 11, 0, 2000},
        // A position is taken whole or not at all, and only a whole one
        // refreshes the fix tick.
        {"GPGGA,101112.00,4807.0381,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", 10, 11, 12, 53, 0, 6, 1, 1000},
        {"GPGGA,101112.00,4807.03810,S,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,", 10, 11, 12, 53, 0, 6, 1, 1000},
        {"GPGGA,101112.00,4807.03810,S,,E,1,08,0.9,545.4,M,46.9,M,,", 10, 11, 12, 53, 0, 6, 1, 1000},
        // A hemisphere other than N/S or E/W keeps the one before.
        {"GPGGA,101112.00,4807.03810,X,01131.00000,,1,08,0.9,545.4,M,46.9,M,,", 10, 11, 12, 48, 0, 11, 1, 2000},
        // Without a fix nothing is taken at all.
        {"GPGGA,101112.00,4807.03810,S,01131.00000,E,2,08,0.9,545.4,M,46.9,M,,", 9, 27, 50, 53, 0, 6, 1, 1000},
        {"GPRMC,101112.00,V,4807.03810,S,01131.00000,E,022.4,084.4,230394,003.1,W", 9, 27, 50, 53, 0, 6, 1, 1000},
        {"GPGLL,4807.03810,S,01131.00000,E,101112.00,A,A", 10, 11, 12, 48, 1, 11, 0, 2000},
        {"GPRMC,101112.00,A,4807.03810,S,01131.00000,E,022.4,084.4,230394,003.1,W", 10, 11, 12, 48, 1, 11, 0, 2000},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S(kWorked));
        r.tick = 2000;
        r.Read(S(c.body));
        EXPECT_EQ(r.info.tmUtc.tm_hour, c.hour) << c.body;
        EXPECT_EQ(r.info.tmUtc.tm_min, c.minute) << c.body;
        EXPECT_EQ(r.info.tmUtc.tm_sec, c.second) << c.body;
        EXPECT_EQ(r.info.nLatDeg, c.latDeg) << c.body;
        EXPECT_EQ(r.info.nLatRef, c.latRef) << c.body;
        EXPECT_EQ(r.info.nLonDeg, c.lonDeg) << c.body;
        EXPECT_EQ(r.info.nLonRef, c.lonRef) << c.body;
        EXPECT_EQ(r.info.dwFixTick, c.fixTick) << c.body;
    }
}

TEST(Nmea, FixWithUnreadablePositionNeverTagsAPicture)
{
    // A receiver writing four decimals: it reports fixes, the indicator says
    // so, but no picture may carry the zero position, nor (later) an old one
    // as if it were fresh.
    const std::string fourDecimals = "GPGGA,101112.00,4807.0381,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,";
    Receiver r;
    r.Read(S(fourDecimals));
    EXPECT_EQ(r.info.nStatus, GPS_FIX);
    EXPECT_FALSE(FixIsCurrent(r.info, true, r.tick));

    r.Read(S(kWorked));
    EXPECT_TRUE(FixIsCurrent(r.info, true, r.tick));
    r.tick += kFixValidMs; // three minutes on, the receiver still writes four decimals
    r.Read(S(fourDecimals));
    EXPECT_EQ(r.info.nStatus, GPS_FIX);
    EXPECT_EQ(r.info.nLatDeg, 53);
    EXPECT_FALSE(FixIsCurrent(r.info, true, r.tick));
}

TEST(Nmea, SecondsFromTheFirstTwoDecimals)
{
    struct Case { const char* lat; const char* lon; float latSec, lonSec; };
    const Case cases[] = {
        {"5321.00000", "00630.00000", 0.0f, 0.0f},
        {"5321.05000", "00630.50000", 3.0f, 30.0f},
        {"5321.68020", "00630.33930", 40.8f, 19.8f},
        {"5321.68999", "00630.33999", 40.8f, 19.8f}, // later decimals dropped
        {"5321.99999", "17959.99000", 59.4f, 59.4f}, // the largest value
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S(std::string("GPRMC,092750.00,A,") + c.lat + ",N," + c.lon + ",E,0.0,,010809,,,A"));
        EXPECT_FLOAT_EQ(r.info.fLatSec, c.latSec) << c.lat;
        EXPECT_FLOAT_EQ(r.info.fLonSec, c.lonSec) << c.lon;
    }
    Receiver r;
    r.Read(S("GPGLL,8959.99000,N,17959.99000,W,235959.00,A,A"));
    EXPECT_EQ(r.info.nLatDeg, 89);
    EXPECT_EQ(r.info.fLatMin, 59.0f);
    EXPECT_EQ(r.info.nLonDeg, 179);
    EXPECT_EQ(r.info.fLonMin, 59.0f);
}

TEST(Nmea, DateFromRmcOnly)
{
    struct Case { std::string body; bool hasDate; int day, month, year; };
    const Case cases[] = {
        {"GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.0,,010110,,,A", true, 1, 0, 110},
        {"GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.0,,311299,,,A", true, 31, 11, 199},
        {"GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.0,,01012010,,,A", false, 0, 0, 0},
        {"GPRMC,092750.00,V,5321.68020,N,00630.33930,W,0.0,,010110,,,N", false, 0, 0, 0},
        {"GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.0,,010110", false, 0, 0, 0}, // never ended by a comma
        {kWorked, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S(c.body));
        EXPECT_EQ(r.info.bHasDate, c.hasDate) << c.body;
        EXPECT_EQ(r.info.tmUtc.tm_mday, c.day) << c.body;
        EXPECT_EQ(r.info.tmUtc.tm_mon, c.month) << c.body;
        EXPECT_EQ(r.info.tmUtc.tm_year, c.year) << c.body;
        EXPECT_EQ(r.info.tmUtc.tm_wday, 0);
        EXPECT_EQ(r.info.tmUtc.tm_yday, 0);
    }
}

TEST(Nmea, DatesThatDoNotExistAreNotTaken)
{
    // After a fix dated 9 December 2009, an $GPRMC fix with the date below.
    struct Case { const char* date; bool hasDate; int day, month, year; };
    const Case cases[] = {
        {"310126", true, 31, 0, 126},  // day 31 of a long month
        {"311226", true, 31, 11, 126},
        {"300426", true, 30, 3, 126},
        {"310426", false, 0, 0, 0},    // 31 April
        {"310226", false, 0, 0, 0},    // 31 February
        {"290226", false, 0, 0, 0},    // 2026 is a common year
        {"290224", true, 29, 1, 124},
        {"290200", true, 29, 1, 100},  // 2000, divisible by 400
        {"280226", true, 28, 1, 126},
        {"310926", false, 0, 0, 0},
        {"000326", false, 0, 0, 0},
        {"011326", false, 0, 0, 0},    // a thirteenth month
        {"010026", false, 0, 0, 0},
        {"32..26", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S("GPRMC,092750.00,A,5321.68020,N,00630.33930,W,0.0,,091209,,,A"));
        ASSERT_TRUE(r.info.bHasDate);
        r.Read(S(std::string("GPRMC,092751.00,A,5321.68020,N,00630.33930,W,0.0,,") + c.date + ",,,A"));
        EXPECT_EQ(r.info.nStatus, GPS_FIX) << c.date;
        EXPECT_TRUE(r.info.bFixTaken) << c.date;
        // An impossible date makes the date unknown: the older one is no
        // more this fix's date than none.
        EXPECT_EQ(r.info.bHasDate, c.hasDate) << c.date;
        if (c.hasDate) {
            EXPECT_EQ(r.info.tmUtc.tm_mday, c.day) << c.date;
            EXPECT_EQ(r.info.tmUtc.tm_mon, c.month) << c.date;
            EXPECT_EQ(r.info.tmUtc.tm_year, c.year) << c.date;
        }
    }
}

TEST(Nmea, TheTimeBelongsToItsFix)
{
    // After the worked example's fix at 09:27:50, one more fix sentence; its
    // time is the record's only when it was taken and can be true.
    struct Case { std::string body; bool hasTime; int hour, minute, second; };
    const Case cases[] = {
        {"GPGGA,101112.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", true, 10, 11, 12},
        {"GPGGA,000000.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", true, 0, 0, 0},
        {"GPGGA,235959.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", true, 23, 59, 59},
        {"GPGGA,235960.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", true, 23, 59, 60},
        // Not taken: a field of another width, none at all, or a time that
        // cannot be (no leap second at noon).
        {"GPGGA,101112.000,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", false, 0, 0, 0},
        {"GPGGA,,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", false, 0, 0, 0},
        {"GPGLL,4807.03810,S,01131.00000,E,,A,A", false, 0, 0, 0},
        {"GPGGA,240000.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", false, 0, 0, 0},
        {"GPGGA,106012.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", false, 0, 0, 0},
        {"GPGGA,101161.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", false, 0, 0, 0},
        {"GPGGA,120060.00,4807.03810,S,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,", false, 0, 0, 0},
        {"GPRMC,990000.00,A,4807.03810,S,01131.00000,E,0.0,,091209,,,A", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S(kWorked));
        ASSERT_TRUE(r.info.bHasTime);
        r.Read(S(c.body));
        EXPECT_EQ(r.info.nStatus, GPS_FIX) << c.body;
        EXPECT_EQ(r.info.nLatDeg, 48) << c.body; // the position is this fix's
        EXPECT_EQ(r.info.bHasTime, c.hasTime) << c.body;
        if (c.hasTime) {
            EXPECT_EQ(r.info.tmUtc.tm_hour, c.hour) << c.body;
            EXPECT_EQ(r.info.tmUtc.tm_min, c.minute) << c.body;
            EXPECT_EQ(r.info.tmUtc.tm_sec, c.second) << c.body;
        }
    }

    // A sentence without a fix leaves the last fix's time as it was.
    Receiver r;
    r.Read(S(kWorked));
    r.Read(S(kNoFixGga));
    EXPECT_TRUE(r.info.bHasTime);
    EXPECT_EQ(r.info.tmUtc.tm_sec, 50);
}

TEST(Nmea, PlacesThatCannotBeAreNotTaken)
{
    // After the worked example's fix at tick 1000 (53 N, 6 W), a fix at tick
    // 2000 with the latitude and longitude below: taken whole, or neither.
    struct Case { const char* lat; const char* lon; bool taken; };
    const Case cases[] = {
        {"9000.00000", "18000.00000", true},   // the pole and the date line
        {"8959.99000", "17959.99000", true},
        {"0000.00000", "00000.00000", true},
        {"9000.01000", "00630.00000", false},  // over 90 degrees by a second
        {"9100.00000", "00630.00000", false},
        {"9900.00000", "00630.00000", false},
        {"5360.00000", "00630.00000", false},  // a minute of 60
        {"5399.00000", "00630.00000", false},
        {"5321.00000", "18000.01000", false},  // over 180 degrees
        {"5321.00000", "18100.00000", false},
        {"5321.00000", "99900.00000", false},
        {"5321.00000", "00660.00000", false},
        {"5321.00000", "00699.50000", false},
        {"5321.:0000", "00630.00000", false},  // seconds of 60 from a stray byte
        {"53-1.00000", "00630.00000", false},  // a negative minute
    };
    for (const Case& c : cases) {
        Receiver r;
        r.Read(S(kWorked));
        r.tick = 2000;
        r.Read(S(std::string("GPGGA,101112.00,") + c.lat + ",S," + c.lon + ",E,1,08,0.9,545.4,M,46.9,M,,"));
        const std::string what = std::string(c.lat) + " " + c.lon;
        EXPECT_EQ(r.info.nStatus, GPS_FIX) << what;
        EXPECT_EQ(r.info.dwFixTick, c.taken ? 2000u : 1000u) << what;
        EXPECT_EQ(r.info.nLatRef, c.taken ? 1 : 0) << what;
        EXPECT_EQ(r.info.nLonRef, c.taken ? 0 : 1) << what;
        if (!c.taken) {
            EXPECT_EQ(r.info.nLatDeg, 53) << what;
            EXPECT_EQ(r.info.fLatMin, 21.0f) << what;
            EXPECT_EQ(r.info.nLonDeg, 6) << what;
            EXPECT_EQ(r.info.fLonMin, 30.0f) << what;
        }
    }
}

TEST(Nmea, BuffersTooShortOrEndingInADollar)
{
    // The worked example's fix first; a "$" among the last six bytes of the
    // read is not looked at, one with a byte after its name is.
    struct Case { std::string bytes; int32_t count; };
    const Case cases[] = {
        {"", 0}, {"$", 0}, {"$GPGG", 0}, {"$GPGGA", 0}, {"$GPGGA,", 1},
        {S(kWorked) + "$GPGGA", 0}, {S(kWorked) + "$GPRMC", 0}, {S(kWorked) + "$GP", 0},
        {S(kWorked) + "$GPGGA,", 1}, {S(kWorked) + "$GPRMCx", 1},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.count = 0;
        r.Read(c.bytes);
        EXPECT_EQ(r.count, c.count) << c.bytes;
    }
    Receiver r;
    r.count = 9;
    EXPECT_FALSE(r.Read("$GPGG"));
    EXPECT_EQ(r.count, 9);
    EXPECT_EQ(r.info.nStatus, GPS_SEARCHING);
}

TEST(Nmea, SentenceSplitOverTwoReads)
{
    // Every cut of a fix sentence into two reads: the first part counts as
    // far as its fields go, the second is skipped up to the next "$".
    const std::string whole = S(kWorked);
    const size_t qualityEnd = whole.find(",W,1,") + 5; // the quality field ended by its comma
    for (size_t cut = 1; cut < whole.size(); ++cut) {
        Receiver r;
        r.Read(whole.substr(0, cut));
        r.Read(whole.substr(cut));
        const bool fix = cut >= qualityEnd;
        const bool seen = cut >= 7; // "$GPGGA" and one more byte
        EXPECT_EQ(r.info.nStatus, fix ? GPS_FIX : GPS_SEARCHING) << cut;
        EXPECT_EQ(r.count, seen && !fix ? 1 : 0) << cut;
        EXPECT_EQ(r.info.bFixTaken, fix) << cut;
        EXPECT_EQ(r.info.nLatDeg, fix ? 53 : 0) << cut;
    }

    // A sentence spliced into another, as a receiver's own buffer can do:
    // the cut one ends at the "$" and the next one is read whole.
    Receiver r;
    r.Read("$GPGGA,092750" + S("GPGLL,5321.68020,N,00630.33930,W,092750.00,A,A"));
    EXPECT_EQ(r.info.nStatus, GPS_FIX);
    EXPECT_EQ(r.count, 0);
    EXPECT_TRUE(r.info.bFixTaken);
}

TEST(Nmea, OtherTalkersAndSentencesAreNotRecognised)
{
    const std::string bodies[] = {
        "GNGGA,092750.00,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,",
        "GLGGA,092750.00,5321.68020,N,00630.33930,W,0,08,1.03,61.7,M,55.2,M,,",
        "GNRMC,092750.00,V,,,,,,,010809,,,N",
        "gpgga,092750.00,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,",
        "GPGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99",
        "GPVTG,,,,,,,,,N",
        "GPTXT,01,01,02,u-blox ag - www.u-blox.com",
    };
    for (const std::string& body : bodies) {
        Receiver r;
        r.Read(S(kWorked));
        r.count = 6; // one more sentence without a fix would turn the status
        const SGpsInfo before = r.info;
        r.tick = 5000;
        EXPECT_FALSE(r.Read(S(body))) << body;
        EXPECT_EQ(r.count, 6) << body;
        EXPECT_EQ(r.info.nStatus, GPS_FIX) << body;
        EXPECT_EQ(r.info.dwFixTick, before.dwFixTick) << body;
        EXPECT_EQ(r.info.tmUtc.tm_sec, before.tmUtc.tm_sec) << body;
    }
}

TEST(Nmea, SeventhSentenceWithoutAFixTurnsTheStatus)
{
    for (int32_t start : {GPS_SEARCHING, GPS_FIX}) {
        Receiver r;
        if (start == GPS_FIX) {
            EXPECT_TRUE(r.Read(S(kWorked)));
        }
        for (int k = 1; k <= 6; ++k) {
            EXPECT_FALSE(r.Read(S(kNoFixGga))) << k;
            EXPECT_EQ(r.info.nStatus, start) << k;
        }
        EXPECT_TRUE(r.Read(S(kNoFixGga)));
        EXPECT_EQ(r.info.nStatus, GPS_NOFIX);
        EXPECT_EQ(r.info.nAnnounced, GPS_NOFIX);
        EXPECT_FALSE(r.Read(S(kNoFixGga))); // no news, nothing to announce
        EXPECT_EQ(r.count, 8);
        EXPECT_TRUE(r.Read(S(kWorked)));
        EXPECT_EQ(r.info.nStatus, GPS_FIX);
        EXPECT_EQ(r.count, 0);
    }

    // Counted across reads and within one, whatever the sentence.
    Receiver r;
    std::string six;
    for (int k = 0; k < 2; ++k)
        six += S(kNoFixGga) + S("GPGLL,,,,,,V,N") + S("GPRMC,,V,,,,,,,,,,N");
    r.Read(six);
    EXPECT_EQ(r.info.nStatus, GPS_SEARCHING);
    r.Read(S("GPRMC,,V,,,,,,,,,,N"));
    EXPECT_EQ(r.info.nStatus, GPS_NOFIX);

    // A count left above five by an earlier run: one sentence suffices.
    Receiver again;
    again.count = 6;
    again.Read(S(kNoFixGga));
    EXPECT_EQ(again.info.nStatus, GPS_NOFIX);
}

TEST(Nmea, TheNoFixCountSaturates)
{
    // A receiver without a fix for years: the count stops at its largest
    // value (a wrap would be undefined, and a negative count would read as a
    // receiver that just had a fix).
    struct Case { int32_t before; int sentences; int32_t after; };
    const Case cases[] = {
        {INT32_MAX - 2, 1, INT32_MAX - 1},
        {INT32_MAX - 2, 2, INT32_MAX},
        {INT32_MAX - 1, 3, INT32_MAX},
        {INT32_MAX, 1, INT32_MAX},
    };
    for (const Case& c : cases) {
        Receiver r;
        r.count = c.before;
        std::string bytes;
        for (int k = 0; k < c.sentences; ++k)
            bytes += S(kNoFixGga);
        r.Read(bytes);
        EXPECT_EQ(r.count, c.after) << c.before << " + " << c.sentences;
        EXPECT_EQ(r.info.nStatus, GPS_NOFIX) << c.before << " + " << c.sentences;
    }
}

TEST(Nmea, SentenceParserWalksToTheNextDollar)
{
    struct Case { std::string text; size_t consumed; bool fix; };
    const Case cases[] = {
        {",092750.00,5321.68020,N,00630.33930,W,1,", 40, true},
        {",092750.00,5321.68020,N,00630.33930,W,1,$GPGGA,", 40, true},
        {",092750.00,5321.68020,N,00630.33930,W,1$,", 39, false},
        {",,,,,,1,", 8, true},
        {"$,,,,,,1,", 0, false},
        {"x,,,,,,1,", 0, false},
        {",", 1, false},
    };
    for (const Case& c : cases) {
        SGpsInfo info;
        size_t consumed = 99;
        std::vector<char> bytes(c.text.begin(), c.text.end());
        EXPECT_EQ(ParseGGA(bytes.data(), bytes.size(), info, consumed, 7), c.fix) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
    SGpsInfo info;
    size_t consumed = 99;
    EXPECT_FALSE(ParseRMC(nullptr, 0, info, consumed, 7));
    EXPECT_EQ(consumed, 0u);
}

TEST(Nmea, AnnouncesEachChangeOnce)
{
    Receiver r;
    r.info.nStatus = GPS_SEARCHING;
    r.info.nAnnounced = GPS_OFF; // what the last run left
    EXPECT_TRUE(r.Read(S(kNoFixGga)));
    EXPECT_EQ(r.info.nAnnounced, GPS_SEARCHING);
    EXPECT_FALSE(r.Read(S(kNoFixGga)));
    EXPECT_TRUE(r.Read(S(kWorked)));
    EXPECT_EQ(r.info.nAnnounced, GPS_FIX);
    EXPECT_FALSE(r.Read(S(kWorked) + S(kWorked)));
}

} // namespace
} // namespace tamsel
