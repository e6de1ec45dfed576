// The NMEA buffer scan on hostile bytes, read as the GPS reader reads a port:
// byte 0 picks the read size, (byte 0 + 1) * 2 = 2..512 bytes, and the rest of
// the input arrives in reads of that size, each in a buffer of exactly its
// length, so a byte read outside a read is a fault.
// Besides surviving, every sentence's verdict must leave the record as the
// rules say: a fix status and a cleared count after a fix, a count after a
// sentence without one, the fix tick and position untouched unless that
// sentence took a whole position, and no place, time or date taken that
// cannot be true.
#include "gps/Nmea.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using namespace tamsel;

void Require(bool holds)
{
    if (!holds)
        std::abort();
}

struct Follow {
    SGpsInfo before;
    const int32_t* count;
    uint32_t tick;
};

bool SamePosition(const SGpsInfo& a, const SGpsInfo& b)
{
    return a.nLatDeg == b.nLatDeg && std::memcmp(&a.fLatMin, &b.fLatMin, sizeof(float)) == 0 &&
           std::memcmp(&a.fLatSec, &b.fLatSec, sizeof(float)) == 0 && a.nLatRef == b.nLatRef &&
           a.nLonDeg == b.nLonDeg && std::memcmp(&a.fLonMin, &b.fLonMin, sizeof(float)) == 0 &&
           std::memcmp(&a.fLonSec, &b.fLonSec, sizeof(float)) == 0 && a.nLonRef == b.nLonRef;
}

void OnSentence(void* context, const SGpsInfo& info, const SNmeaVerdict& verdict)
{
    Follow& f = *static_cast<Follow*>(context);
    if (verdict.bFix) {
        Require(info.nStatus == GPS_FIX && *f.count == 0);
    } else {
        Require(*f.count > 0 && !verdict.bPositionTaken);
        Require(info.nStatus == f.before.nStatus || info.nStatus == GPS_NOFIX);
    }
    if (verdict.bPositionTaken) {
        Require(info.bFixTaken && info.dwFixTick == f.tick);
        Require(info.nLatRef == 0 || info.nLatRef == 1);
        Require(info.nLonRef == 0 || info.nLonRef == 1);
        // Only a place that exists is taken.
        const double lat = info.nLatDeg + info.fLatMin / 60.0 + info.fLatSec / 3600.0;
        const double lon = info.nLonDeg + info.fLonMin / 60.0 + info.fLonSec / 3600.0;
        Require(info.nLatDeg >= 0 && lat <= 90.0 && info.nLonDeg >= 0 && lon <= 180.0);
        Require(info.fLatMin >= 0 && info.fLatMin < 60 && info.fLonMin >= 0 && info.fLonMin < 60);
        Require(info.fLatSec >= 0 && info.fLatSec < 60 && info.fLonSec >= 0 && info.fLonSec < 60);
    } else {
        Require(info.dwFixTick == f.before.dwFixTick && info.bFixTaken == f.before.bFixTaken);
        Require(SamePosition(info, f.before));
    }
    if (!verdict.bFix)
        Require(std::memcmp(&info.tmUtc, &f.before.tmUtc, sizeof info.tmUtc) == 0 &&
                info.bHasDate == f.before.bHasDate && info.bHasTime == f.before.bHasTime);
    // A time or a date the record claims is one that exists.
    if (info.bHasTime)
        Require(TimeExists(info.tmUtc.tm_hour, info.tmUtc.tm_min, info.tmUtc.tm_sec));
    if (info.bHasDate)
        Require(DateExists(1900LL + info.tmUtc.tm_year, info.tmUtc.tm_mon + 1, info.tmUtc.tm_mday));
    Require(info.nAnnounced == info.nStatus);
    f.before = info;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t readSize = (static_cast<size_t>(data[0]) + 1) * 2;
    SGpsInfo info;
    int32_t count = 0;
    Follow follow{info, &count, 0};
    for (size_t at = 1; at < size; at += readSize) {
        const size_t n = size - at < readSize ? size - at : readSize;
        std::unique_ptr<char[]> read(new char[n]);
        std::memcpy(read.get(), data + at, n);
        follow.tick += 1000;
        follow.before = info;
        const int32_t announcedBefore = info.nAnnounced;
        const bool announce = ParseNmeaBuffer(info, read.get(), n, follow.tick, count, OnSentence, &follow);
        Require(info.nStatus != GPS_OFF); // parsing never switches the reader off
        if (!announce)
            Require(info.nAnnounced == announcedBefore);
    }
    return 0;
}
