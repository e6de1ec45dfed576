// The quantisation tables a JPEG file's first scan is coded with, read from
// its DQT segments, and whether they are those of quality 100 (every entry
// 1). An encoder that ignores the quality it is asked for shows it there, and
// nowhere else in the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamsel {

struct QuantTable {
    uint8_t id = 0;        // destination 0..3
    bool wide = false;     // 16-bit entries (precision 1) rather than 8-bit
    std::array<uint16_t, 64> values{}; // in the order they are stored (zigzag)
};

// One component of the frame (SOF): its sampling factors and the table it uses.
struct FrameComponent {
    uint8_t id = 0;
    uint8_t h = 0, v = 0; // sampling factors 1..4
    uint8_t table = 0;    // quantisation table destination
};

enum class JpegTablesOutcome {
    kRead,        // the tables and the frame in force at the first scan
    kNotJpeg,     // no SOI at the start
    kTruncated,   // the bytes end before the first scan
    kBadSegment,  // a segment or marker that cannot be (length, precision, destination, SOI again)
    kNoScan,      // EOI before any scan
};

struct JpegTables {
    JpegTablesOutcome outcome = JpegTablesOutcome::kNotJpeg;
    std::vector<QuantTable> tables;       // one per destination defined, a later definition replacing an earlier
    std::vector<FrameComponent> components; // of the frame header, in order (empty when none came before the scan)
};

// Reads the markers from SOI up to the first SOS. Bounded by `size`: hostile
// bytes give a failed outcome, never a read outside them.
JpegTables ReadJpegTables(const uint8_t* jpeg, size_t size);

// Whether the picture was coded at quality 100: it was read, it has a frame,
// every component's table is defined, and every entry of those tables is 1.
bool IsQualityHundred(const JpegTables& tables);

} // namespace tamsel
