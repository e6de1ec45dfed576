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
    bool bHasDate = false;  // a $GPRMC date has been taken
    int32_t nStatus = GPS_SEARCHING;
    int32_t nAnnounced = 0; // the status last announced to the window
};

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
