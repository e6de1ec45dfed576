// The picture's GPS tags, written by our own code into the JPEG bytes the
// encoder produced (the encoder on Wine drops property items). The result has
// one Exif segment: a camera JPEG's own segment takes the GPS IFD in, keeping
// its items (unless it is too full to: then a second segment follows it);
// otherwise a new segment follows the JFIF segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gps/GpsInfo.h"

namespace tamsel {

constexpr uint16_t kExifAscii = 2;
constexpr uint16_t kExifLong = 4;
constexpr uint16_t kExifRational = 5;
constexpr uint16_t kGpsIfdPointerTag = 0x8825;

// One GPS item: ASCII text with its terminating zero, or unsigned rationals
// (numerator, denominator, ...).
struct ExifItem {
    uint16_t tag = 0;
    uint16_t type = 0;
    std::string ascii;
    std::vector<uint32_t> rationals;
    uint32_t Count() const
    {
        return static_cast<uint32_t>(type == kExifAscii ? ascii.size() : rationals.size() / 2);
    }
};

// In tag order: GPSLatitudeRef, GPSLatitude, GPSLongitudeRef, GPSLongitude,
// GPSTimeStamp when the fix had a time, and GPSDateStamp once a date has been
// received. Minutes and seconds are truncated to whole numbers and every
// denominator is 1; a value below 0 (or not a number) is written as 0. A time
// or a day that does not exist (25:00:00, 31 April), or a date outside
// 0000..9999, is left out like a missing one.
std::vector<ExifItem> GpsExifItems(const SGpsInfo& info);

enum class ExifOutcome {
    kAdded,    // a new Exif segment after the JFIF segment (or after SOI)
    kMerged,   // the GPS IFD went into the JPEG's own Exif segment
    kReplaced, // the JPEG's own Exif segment was unreadable: a new one took its place
    kNotJpeg,  // the marker structure before the scan is broken: nothing written
    kSeparate, // the JPEG's own Exif segment had no room (a segment holds 65535
               // bytes): it stays, less any GPS IFD of its own, and a new
               // segment with the GPS IFD follows it
};
constexpr bool Succeeded(ExifOutcome o)
{
    return o == ExifOutcome::kAdded || o == ExifOutcome::kMerged || o == ExifOutcome::kReplaced ||
           o == ExifOutcome::kSeparate;
}

// The JPEG with the GPS IFD in its one Exif segment (in a second one right
// after the JPEG's own when that has no room); `out` is left empty when the
// outcome is a failure. Further Exif segments of the input are dropped. The
// scan data and everything after it are copied unchanged.
ExifOutcome InsertGpsExif(const uint8_t* jpeg, size_t size, const std::vector<ExifItem>& gps,
                          std::vector<uint8_t>& out);

} // namespace tamsel
