// The GPS tags written into hostile JPEG bytes: the first 32 bytes of an input
// are the fix, the rest is what the encoder handed over.
//   0..3 nLatDeg, 4..7 fLatMin, 8..11 fLatSec, 12..15 nLonDeg, 16..19 fLonMin,
//   20..23 fLonSec (little-endian int32 and float bits), byte 24 flags
//   (1 south, 2 west, 4 date known, 8 no time), 25 hour, 26 minute,
//   27 second, 28..29 years since 1900 (int16), 30 month 0..11, 31 day.
// Besides surviving, a written picture must hold one Exif segment whose GPS
// IFD carries the items, byte for byte, and the scan unchanged; beside a
// camera segment with no room, a second one that holds the GPS IFD, and the
// camera's then links none.
#include "snapshot/ExifWriter.h"

#include <cstdlib>
#include <cstring>

namespace {

using namespace tamsel;

void Require(bool holds)
{
    if (!holds)
        std::abort();
}

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float Float(const uint8_t* p)
{
    const uint32_t bits = Le32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

SGpsInfo FixFrom(const uint8_t* d)
{
    SGpsInfo g;
    g.nLatDeg = static_cast<int32_t>(Le32(d));
    g.fLatMin = Float(d + 4);
    g.fLatSec = Float(d + 8);
    g.nLonDeg = static_cast<int32_t>(Le32(d + 12));
    g.fLonMin = Float(d + 16);
    g.fLonSec = Float(d + 20);
    g.nLatRef = d[24] & 1;
    g.nLonRef = (d[24] >> 1) & 1;
    g.bHasDate = d[24] & 4;
    g.bHasTime = !(d[24] & 8);
    g.tmUtc.tm_hour = d[25];
    g.tmUtc.tm_min = d[26];
    g.tmUtc.tm_sec = d[27];
    g.tmUtc.tm_year = static_cast<int16_t>(d[28] | d[29] << 8);
    g.tmUtc.tm_mon = d[30];
    g.tmUtc.tm_mday = d[31];
    g.bFixTaken = true;
    return g;
}

struct Seg {
    size_t begin, end; // marker (after any fill bytes) to end
    uint8_t marker;
};

// The segments before the scan and where the scan starts; false when the
// walk does not reach a scan.
bool Walk(const uint8_t* j, size_t n, std::vector<Seg>& segs, size_t& scan)
{
    if (n < 2 || j[0] != 0xFF || j[1] != 0xD8)
        return false;
    size_t p = 2;
    for (;;) {
        const size_t begin = p;
        while (p < n && j[p] == 0xFF)
            ++p;
        if (p == begin || p >= n)
            return false;
        const uint8_t m = j[p++];
        if ((m >= 0xD0 && m <= 0xD7) || m == 0x01)
            continue;
        if (m == 0x00 || m == 0xD8 || m == 0xD9 || n - p < 2)
            return false;
        const size_t len = static_cast<size_t>(j[p] << 8 | j[p + 1]);
        if (len < 2 || len > n - p)
            return false;
        if (m == 0xDA) {
            scan = begin;
            return true;
        }
        segs.push_back({p - 1, p + len, m});
        p += len;
    }
}

bool IsExif(const uint8_t* j, const Seg& s)
{
    return s.marker == 0xE1 && s.end - s.begin >= 8 && std::memcmp(j + s.begin + 3, "Exif", 5) == 0;
}

struct Reader {
    const uint8_t* t;
    size_t n;
    bool big;
    uint16_t U16(size_t at) const
    {
        Require(at + 2 <= n);
        return big ? static_cast<uint16_t>(t[at] << 8 | t[at + 1]) : static_cast<uint16_t>(t[at + 1] << 8 | t[at]);
    }
    uint32_t U32(size_t at) const
    {
        Require(at + 4 <= n);
        return big ? (uint32_t{t[at]} << 24 | uint32_t{t[at + 1]} << 16 | uint32_t{t[at + 2]} << 8 | t[at + 3])
                   : (uint32_t{t[at + 3]} << 24 | uint32_t{t[at + 2]} << 16 | uint32_t{t[at + 1]} << 8 | t[at]);
    }
};

// The Exif block's IFD0 links exactly one GPS IFD holding `items`, or, when
// `items` is null, none.
void CheckGpsBlock(const uint8_t* tiff, size_t n, const std::vector<ExifItem>* pItems)
{
    Require(n >= 8);
    Require((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M'));
    const Reader r{tiff, n, tiff[0] == 'M'};
    Require(r.U16(2) == 42);
    const uint32_t ifd0 = r.U32(4);
    const uint16_t count = r.U16(ifd0);
    uint32_t gps = 0;
    int pointers = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t e = ifd0 + 2 + 12u * i;
        const uint16_t tag = r.U16(e);
        if (i > 0 && pItems)
            Require(r.U16(e - 12) <= tag); // a merged IFD0 is kept in tag order
        if (tag == kGpsIfdPointerTag) {
            ++pointers;
            Require(r.U16(e + 2) == kExifLong && r.U32(e + 4) == 1);
            gps = r.U32(e + 8);
        }
    }
    Require(pointers == (pItems ? 1 : 0));
    if (!pItems)
        return;
    const std::vector<ExifItem>& items = *pItems;
    Require(r.U16(gps) == items.size());
    Require(r.U32(gps + 2 + 12 * items.size()) == 0);
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t e = gps + 2 + 12 * i;
        const ExifItem& item = items[i];
        Require(r.U16(e) == item.tag && r.U16(e + 2) == item.type && r.U32(e + 4) == item.Count());
        const size_t bytes = item.type == kExifAscii ? item.ascii.size() : 8 * item.Count();
        const size_t at = bytes <= 4 ? e + 8 : r.U32(e + 8);
        Require(at % 2 == 0 && at + bytes <= n);
        if (item.type == kExifAscii) {
            Require(std::memcmp(tiff + at, item.ascii.data(), bytes) == 0);
        } else {
            for (size_t k = 0; k < item.rationals.size(); ++k)
                Require(r.U32(at + 4 * k) == item.rationals[k]);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 32)
        return 0;
    const std::vector<ExifItem> items = GpsExifItems(FixFrom(data));
    Require(items.size() >= 4 && items.size() <= 6);
    for (const ExifItem& item : items) {
        for (size_t k = 1; k < item.rationals.size(); k += 2)
            Require(item.rationals[k] == 1);
    }

    const uint8_t* jpeg = data + 32;
    const size_t length = size - 32;
    std::vector<uint8_t> out = {0};
    const ExifOutcome outcome = InsertGpsExif(jpeg, length, items, out);
    std::vector<Seg> in;
    size_t inScan = 0;
    const bool readable = Walk(jpeg, length, in, inScan);
    if (!Succeeded(outcome)) {
        Require(out.empty());
        Require(!readable);
        return 0;
    }
    Require(readable);

    std::vector<Seg> segs;
    size_t scan = 0;
    Require(Walk(out.data(), out.size(), segs, scan));
    Require(out.size() - scan == length - inScan);
    Require(std::memcmp(out.data() + scan, jpeg + inScan, length - inScan) == 0);
    // Beside a full camera segment the GPS IFD is in the second one.
    const int segments = outcome == ExifOutcome::kSeparate ? 2 : 1;
    int exif = 0;
    for (const Seg& s : segs) {
        if (!IsExif(out.data(), s))
            continue;
        ++exif;
        Require(s.end - s.begin >= 9 && out[s.begin + 7] == 0 && out[s.begin + 8] == 0);
        CheckGpsBlock(out.data() + s.begin + 9, s.end - s.begin - 9, exif == segments ? &items : nullptr);
    }
    Require(exif == segments);

    bool hadExif = false;
    for (const Seg& s : in)
        hadExif = hadExif || IsExif(jpeg, s);
    Require(hadExif == (outcome != ExifOutcome::kAdded));
    return 0;
}
