#include "snapshot/JpegTables.h"

#include <algorithm>

namespace tamsel {

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDqt = 0xDB, kTem = 0x01;

bool IsStandalone(uint8_t marker) { return marker == kTem || (marker >= 0xD0 && marker <= 0xD7); }

// SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool IsFrameHeader(uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The tables of one DQT segment's payload, each replacing an earlier one of
// its destination.
bool ReadDqt(const uint8_t* p, size_t n, std::vector<QuantTable>& tables)
{
    while (n > 0) {
        const uint8_t precision = p[0] >> 4, id = p[0] & 0x0F;
        if (precision > 1 || id > 3)
            return false;
        const size_t bytes = 1 + 64 * (precision + 1u);
        if (n < bytes)
            return false;
        QuantTable t;
        t.id = id;
        t.wide = precision == 1;
        for (size_t i = 0; i < 64; ++i)
            t.values[i] = t.wide ? static_cast<uint16_t>(p[1 + 2 * i] << 8 | p[2 + 2 * i]) : p[1 + i];
        const auto same = std::find_if(tables.begin(), tables.end(), [&](const QuantTable& o) { return o.id == id; });
        if (same != tables.end())
            *same = t;
        else
            tables.push_back(t);
        p += bytes;
        n -= bytes;
    }
    return true;
}

bool ReadFrame(const uint8_t* p, size_t n, std::vector<FrameComponent>& components)
{
    // precision, height, width, component count, then three bytes each.
    if (n < 6)
        return false;
    const size_t count = p[5];
    if (count == 0 || n != 6 + 3 * count)
        return false;
    components.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* c = p + 6 + 3 * i;
        FrameComponent fc;
        fc.id = c[0];
        fc.h = c[1] >> 4;
        fc.v = c[1] & 0x0F;
        fc.table = c[2];
        if (fc.h < 1 || fc.h > 4 || fc.v < 1 || fc.v > 4 || fc.table > 3)
            return false;
        components.push_back(fc);
    }
    return true;
}

} // namespace

JpegTables ReadJpegTables(const uint8_t* jpeg, size_t size)
{
    JpegTables out;
    if (!jpeg || size < 2 || jpeg[0] != 0xFF || jpeg[1] != kSoi)
        return out; // kNotJpeg
    auto fail = [&out](JpegTablesOutcome why) {
        out.outcome = why;
        out.tables.clear();
        out.components.clear();
        return out;
    };
    size_t at = 2;
    for (;;) {
        if (at >= size)
            return fail(JpegTablesOutcome::kTruncated);
        if (jpeg[at] != 0xFF)
            return fail(JpegTablesOutcome::kBadSegment);
        // Any number of fill bytes may stand before a marker.
        while (at < size && jpeg[at] == 0xFF)
            ++at;
        if (at >= size)
            return fail(JpegTablesOutcome::kTruncated);
        const uint8_t marker = jpeg[at++];
        if (marker == 0x00 || marker == kSoi)
            return fail(JpegTablesOutcome::kBadSegment);
        if (marker == kEoi)
            return fail(JpegTablesOutcome::kNoScan);
        if (IsStandalone(marker))
            continue;
        if (size - at < 2)
            return fail(JpegTablesOutcome::kTruncated);
        const size_t length = static_cast<size_t>(jpeg[at] << 8 | jpeg[at + 1]);
        if (length < 2)
            return fail(JpegTablesOutcome::kBadSegment);
        if (size - at < length)
            return fail(JpegTablesOutcome::kTruncated);
        const uint8_t* payload = jpeg + at + 2;
        const size_t n = length - 2;
        if (marker == kSos) {
            out.outcome = JpegTablesOutcome::kRead;
            return out;
        }
        if (marker == kDqt && !ReadDqt(payload, n, out.tables))
            return fail(JpegTablesOutcome::kBadSegment);
        if (IsFrameHeader(marker) && !ReadFrame(payload, n, out.components))
            return fail(JpegTablesOutcome::kBadSegment);
        at += length;
    }
}

bool IsQualityHundred(const JpegTables& t)
{
    if (t.outcome != JpegTablesOutcome::kRead || t.components.empty())
        return false;
    for (const FrameComponent& c : t.components) {
        const auto table =
            std::find_if(t.tables.begin(), t.tables.end(), [&](const QuantTable& q) { return q.id == c.table; });
        if (table == t.tables.end())
            return false;
        if (std::any_of(table->values.begin(), table->values.end(), [](uint16_t v) { return v != 1; }))
            return false;
    }
    return true;
}

} // namespace tamsel
