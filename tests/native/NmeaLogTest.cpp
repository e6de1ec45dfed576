// Logs of real receivers (tests/data/nmea, from GPSD's regression corpus)
// read as the reader reads a port: 512 bytes at a time, each read on its own.
// Every position the parser takes is checked against the one GPSD decoded
// from the same sentences (the .chk files).
#include "gps/Nmea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tamsel {
namespace {

std::string DataDir()
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../data/nmea/";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The bytes the receiver sent: the log without GPSD's "#" comment lines.
std::string ReceiverBytes(const std::string& log)
{
    std::string bytes;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find('\n', at);
        end = end == std::string::npos ? log.size() : end + 1;
        if (log[at] != '#')
            bytes.append(log, at, end - at);
        at = end;
    }
    return bytes;
}

struct Position {
    double lat, lon;
};

int SecondOfDay(const char* hhmmss)
{
    const auto two = [&](int at) { return (hhmmss[at] - '0') * 10 + (hhmmss[at + 1] - '0'); };
    return two(0) * 3600 + two(2) * 60 + two(4);
}

// The time of day a $GPGGA, $GPRMC or $GPGLL line states; -1 for others.
int SentenceSecond(const std::string& line)
{
    int field = 0;
    if (line.rfind("$GPGGA,", 0) == 0 || line.rfind("$GPRMC,", 0) == 0)
        field = 1;
    else if (line.rfind("$GPGLL,", 0) == 0)
        field = 5;
    else
        return -1;
    size_t at = 0;
    for (int k = 0; k < field && at != std::string::npos; ++k)
        at = line.find(',', at + 1);
    if (at == std::string::npos || line.size() < at + 7 || line[at + 1] == ',')
        return -1;
    return SecondOfDay(line.c_str() + at + 1);
}

// GPSD's positions by UTC second of the day: the TPV's own time, or, for one
// without a time, that of the sentence it follows. GPSD's dates are
// unreliable (week roll-over); the time of day is the one it read.
std::multimap<int, Position> GpsdPositions(const std::string& chk)
{
    std::multimap<int, Position> gpsd;
    std::istringstream lines(chk);
    std::string line;
    int sentenceSecond = -1;
    const auto number = [&](const char* key, double& value) {
        const size_t at = line.find(key);
        if (at == std::string::npos)
            return false;
        value = std::strtod(line.c_str() + at + std::strlen(key), nullptr);
        return true;
    };
    while (std::getline(lines, line)) {
        if (line.find("\"class\":\"TPV\"") == std::string::npos) {
            const int second = SentenceSecond(line);
            if (second >= 0)
                sentenceSecond = second;
            continue;
        }
        Position p{};
        if (!number("\"lat\":", p.lat) || !number("\"lon\":", p.lon))
            continue;
        const size_t t = line.find("\"time\":\"");
        int second = sentenceSecond;
        if (t != std::string::npos) {
            const char* hms = line.c_str() + line.find('T', t) + 1; // hh:mm:ss
            second = std::atoi(hms) * 3600 + std::atoi(hms + 3) * 60 + std::atoi(hms + 6);
        }
        gpsd.emplace(second, p);
    }
    return gpsd;
}

// The record's position in signed decimal degrees.
Position Degrees(const SGpsInfo& info)
{
    const double lat = info.nLatDeg + info.fLatMin / 60.0 + info.fLatSec / 3600.0;
    const double lon = info.nLonDeg + info.fLonMin / 60.0 + info.fLonSec / 3600.0;
    return {info.nLatRef ? -lat : lat, info.nLonRef ? -lon : lon};
}

// The parser keeps whole minutes and the first two of their decimals, so a
// position lies up to 0.01 minute (1/6000 degree, about 19 m of latitude)
// short of the receiver's, toward zero, never beyond it. The margin of 1e-6
// degree covers single-precision seconds and GPSD's nine printed decimals.
constexpr double kResolution = 1.0 / 6000;
constexpr double kMargin = 1e-6;

bool Agrees(double ours, double gpsd)
{
    const double shortfall = std::fabs(gpsd) - std::fabs(ours);
    return (ours < 0) == (gpsd < 0) && shortfall > -kMargin && shortfall < kResolution + kMargin;
}

struct Follow {
    std::string log;
    std::multimap<int, Position> gpsd;
    int unchecked = 0; // fixes in a second GPSD reported no position for
    uint32_t tick = 0;
    SGpsInfo before; // the record as the previous sentence left it
    int fixes = 0, positions = 0, sentences = 0;
};

void OnSentence(void* context, const SGpsInfo& info, const SNmeaVerdict& verdict)
{
    Follow& f = *static_cast<Follow*>(context);
    const SGpsInfo& b = f.before;
    ++f.sentences;
    f.fixes += verdict.bFix;
    if (verdict.bPositionTaken) {
        ++f.positions;
        EXPECT_TRUE(info.bFixTaken) << f.log;
        EXPECT_EQ(info.dwFixTick, f.tick) << f.log;
        const int second = info.tmUtc.tm_hour * 3600 + info.tmUtc.tm_min * 60 + info.tmUtc.tm_sec;
        const auto same = f.gpsd.equal_range(second);
        if (same.first == same.second) {
            ++f.unchecked;
        } else {
            // A receiver at 2 Hz gives two positions within one second.
            const Position ours = Degrees(info);
            bool agrees = false;
            std::ostringstream theirs;
            for (auto it = same.first; it != same.second; ++it) {
                agrees = agrees || (Agrees(ours.lat, it->second.lat) && Agrees(ours.lon, it->second.lon));
                theirs << " " << it->second.lat << ", " << it->second.lon << ";";
            }
            EXPECT_TRUE(agrees) << f.log << " at second " << second << ": " << ours.lat << ", " << ours.lon
                                << " against GPSD's" << theirs.str();
        }
    } else {
        // No whole position: the fix tick and the position stay as they were.
        EXPECT_EQ(info.dwFixTick, b.dwFixTick) << f.log;
        EXPECT_EQ(info.bFixTaken, b.bFixTaken) << f.log;
        EXPECT_TRUE(info.nLatDeg == b.nLatDeg && info.fLatMin == b.fLatMin && info.fLatSec == b.fLatSec &&
                    info.nLatRef == b.nLatRef && info.nLonDeg == b.nLonDeg && info.fLonMin == b.fLonMin &&
                    info.fLonSec == b.fLonSec && info.nLonRef == b.nLonRef)
            << f.log;
    }
    f.before = info;
}

// Reads a log through the parser; the record it ends with.
SGpsInfo ReadLog(Follow& f)
{
    const std::string bytes = ReceiverBytes(ReadFile(DataDir() + f.log));
    EXPECT_FALSE(bytes.empty()) << f.log << ": log missing or empty";
    f.gpsd = GpsdPositions(ReadFile(DataDir() + f.log + ".chk"));
    SGpsInfo info;
    int32_t count = 0;
    for (size_t at = 0; at < bytes.size(); at += 512) {
        const size_t n = std::min<size_t>(512, bytes.size() - at);
        std::unique_ptr<char[]> read(new char[n]); // exactly the bytes of the read
        std::memcpy(read.get(), bytes.data() + at, n);
        f.tick += 1000;
        f.before = info;
        ParseNmeaBuffer(info, read.get(), n, f.tick, count, OnSentence, &f);
    }
    return info;
}

TEST(NmeaLogs, ReceiversWithTheProgramsWidthsGiveGpsdsPositions)
{
    const char* logs[] = {"ublox-lea-4h.log", "ublox-lea-5h.log", "bt451.log",
                          "gr601-w.log", "ait250.log", "isync.log"};
    for (const char* log : logs) {
        Follow f;
        f.log = log;
        const SGpsInfo last = ReadLog(f);
        // GPSD reports a cycle once it sees the next begin: a log's last
        // cycle, or one before a gap in the log, goes unreported.
        EXPECT_LE(f.unchecked, 1) << log;
        EXPECT_GE(f.positions - f.unchecked, 10) << log;
        EXPECT_TRUE(last.bFixTaken) << log;
        EXPECT_NE(last.nStatus, GPS_SEARCHING) << log;
        std::printf("%s: %d recognised sentences, %d fixes, %d positions taken, %d of them in a second GPSD did not report\n",
                    log, f.sentences, f.fixes, f.positions, f.unchecked);
    }
}

TEST(NmeaLogs, DamagedAndForeignLogsLeaveNoStalePosition)
{
    // Four-decimal positions (gp-320fw, triton400) and bytes corrupted on a
    // link (tcp-torture): fixes are reported, yet no position is taken from
    // a field the program does not read, so no picture is tagged.
    struct Case { const char* log; bool reportsFix; };
    const Case cases[] = {
        {"tcp-torture.log", true},
        {"gp-320fw-2019-04-07-coldboot.log", true},
        {"triton400.log", true},
    };
    for (const Case& c : cases) {
        Follow f;
        f.log = c.log;
        const SGpsInfo last = ReadLog(f);
        EXPECT_EQ(f.fixes > 0, c.reportsFix) << c.log;
        EXPECT_EQ(f.positions, 0) << c.log;
        EXPECT_FALSE(FixIsCurrent(last, true, f.tick)) << c.log;
        std::printf("%s: %d recognised sentences, %d fixes, %d positions taken\n", c.log, f.sentences, f.fixes,
                    f.positions);
    }
}

} // namespace
} // namespace tamsel
