// NMEA 0183 from a GPS receiver: $GPGGA, $GPGLL and $GPRMC read by field
// position and exact field width, the bytes of each read on their own (no
// line assembly across reads, no checksum). Allocates nothing.
#pragma once

#include "gps/GpsInfo.h"

#include <cstddef>
#include <cstdint>

namespace tamsel {

// Consecutive recognised sentences without a fix, reset only by a fix. One
// count for the process: the reader and the auto-scan (never running at the
// same time) both pass this one, so a receiver that the reader has heard
// without a fix is recognised by the scan at its first such sentence.
extern int32_t g_nNoFixCount;

// The status turns to GPS_NOFIX on the sentence without a fix that finds the
// count above this: the seventh in a row.
constexpr int32_t kNoFixSentencesTolerated = 5;

// Widths of the fields taken; any other width is ignored.
constexpr size_t kNmeaTimeWidth = 9;  // hhmmss.ss
constexpr size_t kNmeaLatWidth = 10;  // ddmm.mmmmm
constexpr size_t kNmeaLonWidth = 11;  // dddmm.mmmmm
constexpr size_t kNmeaDateWidth = 6;  // ddmmyy

// What one sentence reported.
struct SNmeaVerdict {
    bool bFix = false;           // the sentence reports a fix
    bool bPositionTaken = false; // ... and its latitude and longitude were both taken
};

// The sentence parsers. `p` is the byte right after the five-letter name,
// `nRemaining` the bytes from there to the end of the read (at least 1).
// A fix updates the taken fields; the position (latitude, longitude and
// their hemispheres) only as a whole, and only then do dwFixTick (:= dwNow)
// and bFixTaken follow, so a picture never gets a position no fix reported.
// A value that cannot be true counts as not taken: a latitude over 90 or a
// longitude over 180 degrees, a minute or second of 60 or more, an hour over
// 23 (23:59:60, a leap second, is a time). A fix without a time leaves
// bHasTime clear; a date that does not exist (31 April) clears bHasDate.
// nConsumed: the bytes walked from the comma after the name up to the next
// "$" or the end; 0 when that comma is missing. True when the sentence
// reports a fix.
bool ParseGGA(const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed, uint32_t dwNow,
              SNmeaVerdict* pVerdict = nullptr);
bool ParseGLL(const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed, uint32_t dwNow,
              SNmeaVerdict* pVerdict = nullptr);
bool ParseRMC(const char* p, size_t nRemaining, SGpsInfo& info, size_t& nConsumed, uint32_t dwNow,
              SNmeaVerdict* pVerdict = nullptr);

// Told of each recognised sentence once its verdict is applied to the record
// (used to follow a read sentence by sentence).
using NmeaSentenceHook = void (*)(void* context, const SGpsInfo& info, const SNmeaVerdict& verdict);

// Scans the n bytes of one read and applies every recognised sentence's
// verdict: a fix sets GPS_FIX and clears nNoFixCount; a sentence without a fix
// counts, and the seventh in a row sets GPS_NOFIX. Never sets GPS_SEARCHING
// or GPS_OFF. Returns true when the status now differs from nAnnounced, which
// it then updates: the reader, whose record has an owner window, posts
// UM_GPS_ICON to it.
bool ParseNmeaBuffer(SGpsInfo& info, const char* pBuf, size_t n, uint32_t dwNow, int32_t& nNoFixCount,
                     NmeaSentenceHook hook = nullptr, void* hookContext = nullptr);

} // namespace tamsel
