// The picture's GPS tags, written by our own code into the JPEG bytes the
// encoder produced (the encoder on Wine drops property items). The result has
// exactly one Exif segment: a camera JPEG's own segment takes the GPS IFD in,
// keeping its items; otherwise a new segment follows the JFIF segment.
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
// GPSTimeStamp and, once a date has been received, GPSDateStamp. Minutes and
// seconds are truncated to whole numbers and every denominator is 1; a value
// below 0 (or not a number) is written as 0. A date outside 0000..9999-12-31
// is left out like a missing one.
std::vector<ExifItem> GpsExifItems(const SGpsInfo& info);

enum class ExifOutcome {
    kAdded,    // a new Exif segment after the JFIF segment (or after SOI)
    kMerged,   // the GPS IFD went into the JPEG's own Exif segment
    kReplaced, // the JPEG's own Exif segment was unreadable: a new one took its place
    kNotJpeg,  // the marker structure before the scan is broken: nothing written
    kTooLarge, // the merged segment would pass 65535 bytes: nothing written
};
constexpr bool Succeeded(ExifOutcome o)
{
    return o == ExifOutcome::kAdded || o == ExifOutcome::kMerged || o == ExifOutcome::kReplaced;
}

// The JPEG with the GPS IFD in its one Exif segment; `out` is left empty when
// the outcome is a failure. Further Exif segments of the input are dropped.
// The scan data and everything after it are copied unchanged.
ExifOutcome InsertGpsExif(const uint8_t* jpeg, size_t size, const std::vector<ExifItem>& gps,
                          std::vector<uint8_t>& out);

} // namespace tamsel
