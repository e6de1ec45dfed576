#include "gps/Nmea.h"

#include <cstring>

namespace tamsel {

int32_t g_nNoFixCount = 0;

namespace {

// A field's bytes inside the read; null when the field was not taken.
struct Field {
    const char* p = nullptr;
};

// Which field of a sentence holds what; 0 for none.
struct Layout {
    int time, lat, latRef, lon, lonRef, date, fix;
    char fixMark; // the fix field's one character that means a fix
};

constexpr Layout kGga{1, 2, 3, 4, 5, 0, 6, '1'};
constexpr Layout kGll{5, 1, 2, 3, 4, 0, 6, 'A'};
constexpr Layout kRmc{1, 3, 4, 5, 6, 9, 2, 'A'};

// No digit check: a stray byte gives a wrong number, never a fault, and
// the range checks turn away the numbers no receiver can mean.
int Digit(char c) { return static_cast<unsigned char>(c) - '0'; }
int Two(const char* p) { return Digit(p[0]) * 10 + Digit(p[1]); }

// Seconds from the first two decimals of the minutes, in single precision
// step by step, so every build gives the same 0.0 .. 59.4.
float Seconds(const char* decimals)
{
    const float tenths = 0.1f * static_cast<float>(Digit(decimals[0]));
    const float hundredths = 0.01f * static_cast<float>(Digit(decimals[1]));
    const float minutes = tenths + hundredths;
    return 60.0f * minutes;
}

// Degrees, minutes and seconds that name a place: minutes and seconds below
// 60, and no more than `maxDegrees` in all.
bool AngleExists(int degrees, int minutes, float seconds, int maxDegrees)
{
    if (degrees < 0 || minutes < 0 || minutes > 59 || !(seconds >= 0.0f && seconds < 60.0f))
        return false;
    return degrees < maxDegrees || (degrees == maxDegrees && minutes == 0 && seconds == 0.0f);
}

void TakeHemisphere(const Field& f, char positive, char negative, int32_t& ref)
{
    if (!f.p)
        return;
    if (*f.p == positive)
        ref = 0;
    else if (*f.p == negative)
        ref = 1;
}

bool ParseSentence(const Layout& layout, const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed,
                   uint32_t dwNow, SNmeaVerdict* pVerdict)
{
    nConsumed = 0;
    if (pVerdict)
        *pVerdict = SNmeaVerdict{};
    if (nRemaining == 0 || p[0] != ',')
        return false;

    Field time, lat, latRef, lon, lonRef, date, fix;
    // A field counts only once a comma ends it; the walk stops at the next
    // "$" (the next sentence) or the end of the read.
    size_t i = 1;
    size_t start = 1;
    int number = 1;
    for (; i < nRemaining && p[i] != '$'; ++i) {
        if (p[i] != ',')
            continue;
        const char* field = p + start;
        const size_t width = i - start;
        if (number == layout.time && width == kNmeaTimeWidth)
            time.p = field;
        else if (number == layout.lat && width == kNmeaLatWidth)
            lat.p = field;
        else if (number == layout.latRef && width == 1)
            latRef.p = field;
        else if (number == layout.lon && width == kNmeaLonWidth)
            lon.p = field;
        else if (number == layout.lonRef && width == 1)
            lonRef.p = field;
        else if (number == layout.date && width == kNmeaDateWidth)
            date.p = field;
        else if (number == layout.fix && width == 1)
            fix.p = field;
        ++number;
        start = i + 1;
    }
    nConsumed = i;

    if (!fix.p || *fix.p != layout.fixMark)
        return false;

    // The time belongs to this fix: a fix without a time that can be true
    // leaves the picture without one rather than with an older fix's time.
    info.bHasTime = false;
    if (time.p) {
        const int hour = Two(time.p), minute = Two(time.p + 2), second = Two(time.p + 4);
        if (TimeExists(hour, minute, second)) {
            info.tmUtc.tm_hour = hour;
            info.tmUtc.tm_min = minute;
            info.tmUtc.tm_sec = second;
            info.bHasTime = true;
        }
    }
    if (date.p) {
        const int day = Two(date.p), month = Two(date.p + 2), years = Two(date.p + 4) + 100;
        // A day that does not exist makes the date unknown, not the one before.
        info.bHasDate = DateExists(1900LL + years, month, day);
        if (info.bHasDate) {
            info.tmUtc.tm_mday = day;
            info.tmUtc.tm_mon = month - 1;
            info.tmUtc.tm_year = years;
        }
    }
    // Half a position is no position: a latitude of one fix beside the
    // longitude of another would be tagged as if it were a place. Nor is a
    // latitude over 90 degrees, a longitude over 180 or a minute of 60.
    bool positionTaken = lat.p && lon.p;
    if (positionTaken) {
        const int latDeg = Two(lat.p), latMin = Two(lat.p + 2);
        const float latSec = Seconds(lat.p + 5);
        const int lonDeg = Digit(lon.p[0]) * 100 + Two(lon.p + 1), lonMin = Two(lon.p + 3);
        const float lonSec = Seconds(lon.p + 6);
        positionTaken = AngleExists(latDeg, latMin, latSec, 90) && AngleExists(lonDeg, lonMin, lonSec, 180);
        if (positionTaken) {
            info.nLatDeg = latDeg;
            info.fLatMin = static_cast<float>(latMin);
            info.fLatSec = latSec;
            TakeHemisphere(latRef, 'N', 'S', info.nLatRef);
            info.nLonDeg = lonDeg;
            info.fLonMin = static_cast<float>(lonMin);
            info.fLonSec = lonSec;
            TakeHemisphere(lonRef, 'E', 'W', info.nLonRef);
            info.dwFixTick = dwNow;
            info.bFixTaken = true;
        }
    }
    if (pVerdict)
        *pVerdict = SNmeaVerdict{true, positionTaken};
    return true;
}

} // namespace

bool ParseGGA(const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed, uint32_t dwNow,
              SNmeaVerdict* pVerdict)
{
    return ParseSentence(kGga, p, nRemaining, info, nConsumed, dwNow, pVerdict);
}

bool ParseGLL(const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed, uint32_t dwNow,
              SNmeaVerdict* pVerdict)
{
    return ParseSentence(kGll, p, nRemaining, info, nConsumed, dwNow, pVerdict);
}

bool ParseRMC(const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed, uint32_t dwNow,
              SNmeaVerdict* pVerdict)
{
    return ParseSentence(kRmc, p, nRemaining, info, nConsumed, dwNow, pVerdict);
}

bool ParseNmeaBuffer(SGpsInfo& info, const char* pBuf, size_t n, uint32_t dwNow, int32_t& nNoFixCount,
                     NmeaSentenceHook hook, void* hookContext)
{
    using SentenceParser = bool (*)(const char*, size_t, SGpsInfo&, size_t&, uint32_t, SNmeaVerdict*);
    bool announce = false;
    if (n < 6)
        return false;
    for (size_t i = 0; i < n; ++i) {
        // Most bytes belong to sentences nobody reads here: jump to the next "$".
        const void* dollar = std::memchr(pBuf + i, '$', n - i);
        if (!dollar)
            break;
        i = static_cast<size_t>(static_cast<const char*>(dollar) - pBuf);
        // A name needs its five letters and one more byte inside this read.
        if (i + 6 >= n)
            break;
        const char* name = pBuf + i + 1;
        SentenceParser parse = nullptr;
        if (std::memcmp(name, "GPGGA", 5) == 0)
            parse = ParseGGA;
        else if (std::memcmp(name, "GPGLL", 5) == 0)
            parse = ParseGLL;
        else if (std::memcmp(name, "GPRMC", 5) == 0)
            parse = ParseRMC;
        if (!parse)
            continue;

        size_t consumed = 0;
        SNmeaVerdict verdict;
        if (parse(pBuf + i + 6, n - i - 6, info, consumed, dwNow, &verdict)) {
            info.nStatus = GPS_FIX;
            nNoFixCount = 0;
        } else {
            if (nNoFixCount > kNoFixSentencesTolerated)
                info.nStatus = GPS_NOFIX;
            // Saturates rather than wrapping: a receiver left without a fix
            // for years still reads as one without a fix.
            if (nNoFixCount < INT32_MAX)
                ++nNoFixCount;
        }
        if (info.nStatus != info.nAnnounced) {
            info.nAnnounced = info.nStatus;
            announce = true;
        }
        if (hook)
            hook(hookContext, info, verdict);
        // The loop's own step adds the one of "consumed + 1".
        i += consumed;
    }
    return announce;
}

} // namespace tamsel
