// The GPS fix record: written by the GPS reader's parser, read by the
// snapshot worker (position and time for the picture's GPS tags) and by the
// window (the status for the indicator). No platform types here: the parser
// and the tag builder that use it are pure logic.
#pragma once

#include <cstdint>
#include <ctime>

namespace tamsel {

enum GpsStatus { GPS_SEARCHING = 0, GPS_NOFIX = 1, GPS_FIX = 2, GPS_OFF = 3 };

struct SGpsInfo {
    // Tick (GetTickCount) of the last sentence that reported a fix and whose
    // latitude and longitude were both taken; meaningful once bFixTaken.
    uint32_t dwFixTick = 0;
    int32_t nLatDeg = 0;  // 0..90
    float fLatMin = 0;    // whole minutes
    float fLatSec = 0;    // 0.0 .. 59.4 in steps of 0.6
    int32_t nLatRef = 0;  // 0 north, 1 south
    int32_t nLonDeg = 0;  // 0..180
    float fLonMin = 0;
    float fLonSec = 0;
    int32_t nLonRef = 0;  // 0 east, 1 west
    std::tm tmUtc{};      // time of the last fix; the date only from $GPRMC
    bool bFixTaken = false; // a fix with a whole position has been taken
    bool bHasTime = false;  // the last fix's time field was taken (a time that can be)
    bool bHasDate = false;  // the last $GPRMC date taken is one that exists
    int32_t nStatus = GPS_SEARCHING;
    int32_t nAnnounced = 0; // the status last announced to the window
};

// Days in a month (1..12) of the Gregorian calendar; 0 for any other month.
constexpr int DaysInMonth(long long year, int month)
{
    if (month < 1 || month > 12)
        return 0;
    if (month == 2)
        return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 29 : 28;
    return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
}

// A day that exists: 31/02, 31/04 and 29/02 of a common year do not.
constexpr bool DateExists(long long year, int month, int day)
{
    return day >= 1 && day <= DaysInMonth(year, month);
}

// A UTC time of day that exists; a leap second is inserted as 23:59:60.
constexpr bool TimeExists(int hour, int minute, int second)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0)
        return false;
    return second <= 59 || (second == 60 && hour == 23 && minute == 59);
}

// How long a fix tags pictures after it was taken.
constexpr uint32_t kFixValidMs = 180000;

// A picture taken at `now` carries the fix's position: geotagging is on, a
// whole position has been taken, and it is younger than three minutes
// (unsigned tick arithmetic, so the 49.7-day wrap does no harm).
constexpr bool FixIsCurrent(const SGpsInfo& info, bool gpsOn, uint32_t now)
{
    return gpsOn && info.bFixTaken && static_cast<uint32_t>(now - info.dwFixTick) < kFixValidMs;
}

} // namespace tamsel
