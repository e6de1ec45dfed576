#include "snapshot/ExifWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace tamsel {

namespace {

// ---- GPS items ----

uint32_t WholeOf(double v)
{
    if (!(v >= 0))
        return 0; // negative or not a number
    const double whole = std::trunc(v);
    return whole >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(whole);
}

ExifItem Ascii(uint16_t tag, std::string text)
{
    ExifItem item;
    item.tag = tag;
    item.type = kExifAscii;
    item.ascii = std::move(text);
    item.ascii.push_back('\0');
    return item;
}

ExifItem Rationals(uint16_t tag, double a, double b, double c)
{
    ExifItem item;
    item.tag = tag;
    item.type = kExifRational;
    item.rationals = {WholeOf(a), 1, WholeOf(b), 1, WholeOf(c), 1};
    return item;
}

std::string Digits(int value, int width)
{
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    return s;
}

// ---- Byte order ----

struct Order {
    bool big;
    uint16_t Get16(const uint8_t* p) const
    {
        return big ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t Get32(const uint8_t* p) const
    {
        return big ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                   : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
    void Put16(std::vector<uint8_t>& v, uint16_t x) const
    {
        const uint8_t hi = static_cast<uint8_t>(x >> 8), lo = static_cast<uint8_t>(x);
        v.push_back(big ? hi : lo);
        v.push_back(big ? lo : hi);
    }
    void Put32(std::vector<uint8_t>& v, uint32_t x) const
    {
        for (int i = 0; i < 4; ++i) {
            const int shift = big ? 24 - 8 * i : 8 * i;
            v.push_back(static_cast<uint8_t>(x >> shift));
        }
    }
    void Set16(std::vector<uint8_t>& v, size_t at, uint16_t x) const
    {
        v[at] = static_cast<uint8_t>(big ? x >> 8 : x);
        v[at + 1] = static_cast<uint8_t>(big ? x : x >> 8);
    }
    void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) const
    {
        for (int i = 0; i < 4; ++i) {
            const int shift = big ? 24 - 8 * i : 8 * i;
            v[at + i] = static_cast<uint8_t>(x >> shift);
        }
    }
};

constexpr size_t kEntrySize = 12;
// A segment's length field counts itself and the payload in 16 bits.
constexpr size_t kMaxSegmentLength = 0xFFFF;
using RawEntry = std::array<uint8_t, kEntrySize>;

// The GPS IFD at the end of `tiff` (which is kept at an even length), its
// values after it; offsets count from the TIFF header.
void AppendGpsIfd(std::vector<uint8_t>& tiff, const std::vector<ExifItem>& gps, Order order)
{
    const size_t ifdAt = tiff.size();
    std::vector<uint8_t> values;
    size_t valuesAt = ifdAt + 2 + kEntrySize * gps.size() + 4;
    order.Put16(tiff, static_cast<uint16_t>(gps.size()));
    for (const ExifItem& item : gps) {
        std::vector<uint8_t> bytes;
        if (item.type == kExifAscii) {
            bytes.assign(item.ascii.begin(), item.ascii.end());
        } else {
            for (const uint32_t r : item.rationals)
                order.Put32(bytes, r);
        }
        order.Put16(tiff, item.tag);
        order.Put16(tiff, item.type);
        order.Put32(tiff, item.Count());
        if (bytes.size() <= 4) {
            bytes.resize(4, 0); // short values sit in the entry, left-justified
            tiff.insert(tiff.end(), bytes.begin(), bytes.end());
        } else {
            order.Put32(tiff, static_cast<uint32_t>(valuesAt + values.size()));
            values.insert(values.end(), bytes.begin(), bytes.end());
            if (values.size() % 2)
                values.push_back(0); // keep every value on a word boundary
        }
    }
    order.Put32(tiff, 0); // no next IFD
    tiff.insert(tiff.end(), values.begin(), values.end());
}

RawEntry PointerEntry(uint32_t gpsAt, Order order)
{
    std::vector<uint8_t> v;
    order.Put16(v, kGpsIfdPointerTag);
    order.Put16(v, kExifLong);
    order.Put32(v, 1);
    order.Put32(v, gpsAt);
    RawEntry e;
    std::copy(v.begin(), v.end(), e.begin());
    return e;
}

const uint8_t kExifId[] = {'E', 'x', 'i', 'f', 0, 0};

// A new Exif payload: identifier, TIFF header, IFD0 with the GPS pointer
// alone, the GPS IFD. Intel byte order, as the Windows encoder writes it.
std::vector<uint8_t> FreshExif(const std::vector<ExifItem>& gps)
{
    const Order order{false};
    std::vector<uint8_t> tiff = {'I', 'I'};
    order.Put16(tiff, 42);
    order.Put32(tiff, 8);
    order.Put16(tiff, 1);
    const RawEntry pointer = PointerEntry(8 + 2 + kEntrySize + 4, order);
    tiff.insert(tiff.end(), pointer.begin(), pointer.end());
    order.Put32(tiff, 0);
    AppendGpsIfd(tiff, gps, order);
    std::vector<uint8_t> payload(std::begin(kExifId), std::end(kExifId));
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

// The IFD at `at` lies wholly inside the TIFF block of `size` bytes (an odd
// offset, though against the rule, is read as readers do).
bool IfdFits(const uint8_t* tiff, size_t size, uint32_t at, Order order)
{
    if (at < 8 || static_cast<size_t>(at) + 2 > size)
        return false;
    const size_t count = order.Get16(tiff + at);
    return static_cast<size_t>(at) + 2 + kEntrySize * count + 4 <= size;
}

constexpr size_t kMaxChainedIfds = 32;

// The byte order of a TIFF header; false when the header is not one.
bool ReadOrder(const uint8_t* tiff, size_t size, Order& order)
{
    if (size < 8)
        return false;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        order.big = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        order.big = true;
    else
        return false;
    return order.Get16(tiff + 2) == 42;
}

// The camera's Exif payload (after the identifier) with the GPS IFD added:
// the original TIFF bytes stay where they are, so every offset in them (sub-
// IFDs, maker notes, the thumbnail) still holds; a new IFD0 with the GPS
// pointer and the GPS IFD follow them, and the header points at the new IFD0.
// False when the block cannot be read safely.
bool MergeExif(const uint8_t* tiff, size_t size, const std::vector<ExifItem>& gps,
               std::vector<uint8_t>& merged)
{
    Order order{};
    if (!ReadOrder(tiff, size, order))
        return false;

    // IFD0 and the chain after it (the thumbnail's IFD1) must be whole and
    // end; the new IFD0 passes the chain on, so it must not lead back.
    const uint32_t ifd0 = order.Get32(tiff + 4);
    if (!IfdFits(tiff, size, ifd0, order)) // 0 too: the chain's end is no IFD0
        return false;
    std::vector<uint32_t> seen;
    for (uint32_t at = ifd0; at != 0;) {
        if (!IfdFits(tiff, size, at, order) || seen.size() == kMaxChainedIfds ||
            std::find(seen.begin(), seen.end(), at) != seen.end())
            return false;
        seen.push_back(at);
        at = order.Get32(tiff + at + 2 + kEntrySize * order.Get16(tiff + at));
    }

    const size_t count = order.Get16(tiff + ifd0);
    const uint8_t* entries = tiff + ifd0 + 2;
    std::vector<RawEntry> kept;
    for (size_t i = 0; i < count; ++i) {
        RawEntry e;
        std::memcpy(e.data(), entries + kEntrySize * i, kEntrySize);
        if (order.Get16(e.data()) != kGpsIfdPointerTag) // the old GPS IFD is replaced
            kept.push_back(e);
    }
    const uint32_t next = order.Get32(entries + kEntrySize * count);

    merged.assign(tiff, tiff + size);
    if (merged.size() % 2)
        merged.push_back(0);
    const size_t newIfd0 = merged.size();
    const size_t gpsAt = newIfd0 + 2 + kEntrySize * (kept.size() + 1) + 4;
    // The block came from one segment, so these offsets stay far below 2^32;
    // whether the result still fits a segment is the caller's check.
    kept.push_back(PointerEntry(static_cast<uint32_t>(gpsAt), order));
    std::stable_sort(kept.begin(), kept.end(), [order](const RawEntry& a, const RawEntry& b) {
        return order.Get16(a.data()) < order.Get16(b.data());
    });
    order.Put16(merged, static_cast<uint16_t>(kept.size()));
    for (const RawEntry& e : kept)
        merged.insert(merged.end(), e.begin(), e.end());
    order.Put32(merged, next);
    AppendGpsIfd(merged, gps, order);
    order.Set32(merged, 4, static_cast<uint32_t>(newIfd0));
    return true;
}

// A camera's Exif payload (identifier and TIFF block, which MergeExif has
// read) as it was, less the GPS pointer of its IFD0: the entries after it
// move up in place, so every offset in the block still holds, and the GPS IFD
// of the segment that follows it is the only one a reader finds.
std::vector<uint8_t> ExifWithoutGps(const uint8_t* tiff, size_t size)
{
    std::vector<uint8_t> payload(std::begin(kExifId), std::end(kExifId));
    const size_t base = payload.size();
    payload.insert(payload.end(), tiff, tiff + size);
    Order order{};
    ReadOrder(tiff, size, order);
    const size_t entries = base + order.Get32(tiff + 4) + 2;
    size_t count = order.Get16(payload.data() + entries - 2);
    for (size_t i = 0; i < count;) {
        uint8_t* e = payload.data() + entries + kEntrySize * i;
        if (order.Get16(e) != kGpsIfdPointerTag) {
            ++i;
            continue;
        }
        // The later entries and the link to the next IFD move up one place.
        std::memmove(e, e + kEntrySize, kEntrySize * (count - i - 1) + 4);
        --count;
        std::memset(payload.data() + entries + kEntrySize * count + 4, 0, kEntrySize);
    }
    order.Set16(payload, entries - 2, static_cast<uint16_t>(count));
    return payload;
}

struct Segment {
    size_t begin; // first byte (fill bytes before the marker included)
    size_t end;
    uint8_t marker;
};

} // namespace

std::vector<ExifItem> GpsExifItems(const SGpsInfo& info)
{
    std::vector<ExifItem> items;
    items.push_back(Ascii(0x0001, info.nLatRef == 0 ? "N" : "S"));
    items.push_back(Rationals(0x0002, info.nLatDeg, info.fLatMin, info.fLatSec));
    items.push_back(Ascii(0x0003, info.nLonRef == 0 ? "E" : "W"));
    items.push_back(Rationals(0x0004, info.nLonDeg, info.fLonMin, info.fLonSec));
    const std::tm& t = info.tmUtc;
    if (info.bHasTime && TimeExists(t.tm_hour, t.tm_min, t.tm_sec))
        items.push_back(Rationals(0x0007, t.tm_hour, t.tm_min, t.tm_sec));
    if (info.bHasDate) {
        const long long year = static_cast<long long>(t.tm_year) + 1900;
        const long long month = static_cast<long long>(t.tm_mon) + 1;
        const int day = t.tm_mday;
        if (year >= 0 && year <= 9999 && month <= 12 && DateExists(year, static_cast<int>(month), day))
            items.push_back(Ascii(0x001D, Digits(static_cast<int>(year), 4) + ":" +
                                              Digits(static_cast<int>(month), 2) + ":" + Digits(day, 2)));
    }
    return items;
}

ExifOutcome InsertGpsExif(const uint8_t* jpeg, size_t size, const std::vector<ExifItem>& gps,
                          std::vector<uint8_t>& out)
{
    out.clear();
    if (size < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return ExifOutcome::kNotJpeg;

    // The segments between SOI and the start of the scan.
    std::vector<Segment> segments;
    size_t pos = 2;
    size_t scan = 0;
    while (scan == 0) {
        const size_t begin = pos;
        if (pos >= size || jpeg[pos] != 0xFF)
            return ExifOutcome::kNotJpeg;
        while (pos < size && jpeg[pos] == 0xFF)
            ++pos; // fill bytes
        if (pos >= size)
            return ExifOutcome::kNotJpeg;
        const uint8_t marker = jpeg[pos++];
        if (marker == 0x00 || marker == 0xD8 || marker == 0xD9)
            return ExifOutcome::kNotJpeg; // no image before the end
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            segments.push_back({begin, pos, marker}); // markers without a length
            continue;
        }
        if (size - pos < 2)
            return ExifOutcome::kNotJpeg;
        const size_t length = static_cast<size_t>(jpeg[pos] << 8 | jpeg[pos + 1]);
        if (length < 2 || length > size - pos)
            return ExifOutcome::kNotJpeg;
        pos += length;
        if (marker == 0xDA)
            scan = begin;
        else
            segments.push_back({begin, pos, marker});
    }

    auto exifPayload = [&](const Segment& s, size_t& at) {
        if (s.marker != 0xE1)
            return false;
        at = s.begin;
        while (jpeg[at] == 0xFF)
            ++at;
        at += 3; // marker and length
        return s.end - at >= 5 && std::memcmp(jpeg + at, kExifId, 5) == 0;
    };

    // New segments go after the JFIF segment (and its extension) that
    // directly follow SOI.
    size_t insertAfter = 0;
    while (insertAfter < segments.size() && segments[insertAfter].marker == 0xE0)
        ++insertAfter;

    std::vector<uint8_t> payload;
    std::vector<uint8_t> ownPayload; // kSeparate: the camera's segment, before ours
    ExifOutcome outcome = ExifOutcome::kAdded;
    size_t exifIndex = segments.size();
    for (size_t i = 0; i < segments.size(); ++i) {
        size_t at = 0;
        if (exifPayload(segments[i], at)) {
            exifIndex = i;
            std::vector<uint8_t> merged;
            const size_t tiffAt = at + sizeof(kExifId);
            if (segments[i].end >= tiffAt &&
                MergeExif(jpeg + tiffAt, segments[i].end - tiffAt, gps, merged)) {
                payload.assign(std::begin(kExifId), std::end(kExifId));
                payload.insert(payload.end(), merged.begin(), merged.end());
                outcome = ExifOutcome::kMerged;
                // A segment's length has 16 bits: a camera segment (a large
                // thumbnail or maker note) with no room for the GPS IFD stays
                // as it was, and the GPS IFD gets a segment of its own.
                if (payload.size() + 2 > kMaxSegmentLength) {
                    ownPayload = ExifWithoutGps(jpeg + tiffAt, segments[i].end - tiffAt);
                    outcome = ExifOutcome::kSeparate;
                }
            } else {
                outcome = ExifOutcome::kReplaced;
            }
            break;
        }
    }
    if (outcome != ExifOutcome::kMerged)
        payload = FreshExif(gps);

    const auto app1 = [](const std::vector<uint8_t>& content) {
        std::vector<uint8_t> s = {0xFF, 0xE1, static_cast<uint8_t>((content.size() + 2) >> 8),
                                  static_cast<uint8_t>(content.size() + 2)};
        s.insert(s.end(), content.begin(), content.end());
        return s;
    };
    std::vector<uint8_t> segment = app1(payload);
    if (outcome == ExifOutcome::kSeparate) {
        std::vector<uint8_t> both = app1(ownPayload);
        both.insert(both.end(), segment.begin(), segment.end());
        segment.swap(both);
    }

    out.reserve(size + segment.size());
    out.insert(out.end(), jpeg, jpeg + 2);
    if (exifIndex == segments.size() && insertAfter == 0)
        out.insert(out.end(), segment.begin(), segment.end());
    for (size_t i = 0; i < segments.size(); ++i) {
        size_t at = 0;
        if (i == exifIndex)
            out.insert(out.end(), segment.begin(), segment.end());
        else if (!exifPayload(segments[i], at)) // later Exif segments are dropped
            out.insert(out.end(), jpeg + segments[i].begin, jpeg + segments[i].end);
        if (exifIndex == segments.size() && i + 1 == insertAfter)
            out.insert(out.end(), segment.begin(), segment.end());
    }
    out.insert(out.end(), jpeg + scan, jpeg + size);
    return outcome;
}

} // namespace tamsel
