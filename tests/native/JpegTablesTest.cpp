// The quantisation tables read from a JPEG's markers: byte-level headers made
// here for each rule, files cjpeg wrote at several qualities held against the
// tables djpeg prints for them, and the encoder that honours its quality,
// decoded by djpeg.
#include "snapshot/JpegTables.h"
#include "snapshot/QualityJpeg.h"

#include "HostFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace tamsel {
namespace {

using namespace test;

// ---- headers made byte by byte --------------------------------------------

Bytes Segment(uint8_t marker, const Bytes& payload)
{
    const size_t length = payload.size() + 2;
    Bytes s{0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

// One table's bytes in a DQT payload: 8-bit entries all `value`, or 16-bit
// ones (big-endian) all `value`; `first` replaces entry 0.
Bytes Table(uint8_t id, uint16_t value, bool wide = false, int first = -1)
{
    Bytes t{static_cast<uint8_t>((wide ? 0x10 : 0x00) | id)};
    for (int i = 0; i < 64; ++i) {
        const uint16_t v = (i == 0 && first >= 0) ? static_cast<uint16_t>(first) : value;
        if (wide) {
            t.push_back(static_cast<uint8_t>(v >> 8));
            t.push_back(static_cast<uint8_t>(v));
        } else {
            t.push_back(static_cast<uint8_t>(v));
        }
    }
    return t;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// SOF0 of a 16 x 8 frame; each component as {id, sampling HV byte, table}.
Bytes Frame(std::initializer_list<std::array<uint8_t, 3>> components, uint8_t marker = 0xC0)
{
    Bytes p{8, 0, 8, 0, 16, static_cast<uint8_t>(components.size())};
    for (const auto& c : components)
        p.insert(p.end(), c.begin(), c.end());
    return Segment(marker, p);
}

const Bytes kSoi{0xFF, 0xD8};
const Bytes kScan = Cat({Segment(0xDA, {1, 1, 0x00, 0, 63, 0}), {0x12, 0x34, 0xFF, 0xD9}});
const Bytes kColour = Frame({{1, 0x11, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
const Bytes kJfif = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});

TEST(JpegTables, HeadersAsEncodersWriteThem)
{
    struct Case {
        const char* what;
        Bytes jpeg;
        size_t tables;
        bool hundred;
    };
    const Case cases[] = {
        {"two 8-bit tables of ones in one segment, colour",
         Cat({kSoi, kJfif, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), kColour, kScan}), 2, true},
        {"each table in its own segment", Cat({kSoi, Segment(0xDB, Table(0, 1)), Segment(0xDB, Table(1, 1)), kColour, kScan}),
         2, true},
        {"the frame before the tables",
         Cat({kSoi, kColour, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), kScan}), 2, true},
        {"16-bit tables of ones", Cat({kSoi, Segment(0xDB, Cat({Table(0, 1, true), Table(1, 1, true)})), kColour, kScan}),
         2, true},
        {"16-bit entry 0x0100 (256, not 1)",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 1, true, 0x0100), Table(1, 1, true)})), kColour, kScan}), 2, false},
        {"one 2 in the chroma table", Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1, false, 2)})), kColour, kScan}),
         2, false},
        {"quality 75's first luma entry", Cat({kSoi, Segment(0xDB, Cat({Table(0, 1, false, 8), Table(1, 1)})), kColour, kScan}),
         2, false},
        {"grey, one table", Cat({kSoi, Segment(0xDB, Table(0, 1)), Frame({{1, 0x11, 0}}), kScan}), 1, true},
        {"4:2:0 sampling, tables of ones",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), Frame({{1, 0x22, 0}, {2, 0x11, 1}, {3, 0x11, 1}}),
              kScan}),
         2, true},
        {"progressive frame (SOF2)",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), Frame({{1, 0x11, 0}, {2, 0x11, 1}, {3, 0x11, 1}}, 0xC2),
              kScan}),
         2, true},
        {"a table redefined with ones before the scan",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 2), Table(1, 1)})), Segment(0xDB, Table(0, 1)), kColour, kScan}), 2, true},
        {"a table of ones redefined with twos before the scan",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), Segment(0xDB, Table(1, 2)), kColour, kScan}), 2, false},
        {"a table the frame uses is missing", Cat({kSoi, Segment(0xDB, Table(0, 1)), kColour, kScan}), 1, false},
        {"an unused table of twos", Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1), Table(3, 2)})), kColour, kScan}),
         3, true},
        {"no frame header before the scan", Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), kScan}), 2, false},
        {"fill bytes before markers, a DHT among them",
         Cat({kSoi, {0xFF, 0xFF}, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), {0xFF}, Segment(0xC4, {0x00, 1, 0}),
              kColour, kScan}),
         2, true},
        {"a stray restart marker before the frame",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), {0xFF, 0xD3}, kColour, kScan}), 2, true},
        // Only the first scan's tables count: nothing after it is read.
        {"tables of twos and garbage after the first scan",
         Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), Table(1, 1)})), kColour, kScan, Segment(0xDB, Table(0, 2)),
              {0x00, 0xFF, 0x00, 0x01}}),
         2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const JpegTables t = ReadJpegTables(c.jpeg.data(), c.jpeg.size());
        EXPECT_EQ(t.outcome, JpegTablesOutcome::kRead);
        EXPECT_EQ(t.tables.size(), c.tables);
        EXPECT_EQ(IsQualityHundred(t), c.hundred);
    }
}

TEST(JpegTables, ValuesComponentsAndPrecisionAreReadAsStored)
{
    Bytes luma = Table(0, 7, true, 0x1234);
    luma[1 + 2 * 63] = 0xAB; // the last entry 0xAB07
    const Bytes jpeg = Cat({kSoi, Segment(0xDB, Cat({luma, Table(2, 200)})), Frame({{1, 0x21, 0}, {9, 0x13, 2}}), kScan});
    const JpegTables t = ReadJpegTables(jpeg.data(), jpeg.size());
    ASSERT_EQ(t.outcome, JpegTablesOutcome::kRead);
    ASSERT_EQ(t.tables.size(), 2u);
    EXPECT_EQ(t.tables[0].id, 0);
    EXPECT_TRUE(t.tables[0].wide);
    EXPECT_EQ(t.tables[0].values[0], 0x1234);
    EXPECT_EQ(t.tables[0].values[1], 7);
    EXPECT_EQ(t.tables[0].values[63], 0xAB07);
    EXPECT_EQ(t.tables[1].id, 2);
    EXPECT_FALSE(t.tables[1].wide);
    EXPECT_EQ(t.tables[1].values[63], 200);
    ASSERT_EQ(t.components.size(), 2u);
    EXPECT_EQ(t.components[0].id, 1);
    EXPECT_EQ(t.components[0].h, 2);
    EXPECT_EQ(t.components[0].v, 1);
    EXPECT_EQ(t.components[1].id, 9);
    EXPECT_EQ(t.components[1].h, 1);
    EXPECT_EQ(t.components[1].v, 3);
    EXPECT_EQ(t.components[1].table, 2);
}

TEST(JpegTables, HostileBytesFailCleanly)
{
    const Bytes tables = Segment(0xDB, Cat({Table(0, 1), Table(1, 1)}));
    const Bytes good = Cat({kSoi, tables, kColour, kScan});
    Bytes shortTable = Segment(0xDB, Table(0, 1));
    shortTable[3] -= 1; // the length one short of the table
    struct Case {
        const char* what;
        Bytes jpeg;
        JpegTablesOutcome outcome;
    };
    const Case cases[] = {
        {"nothing", {}, JpegTablesOutcome::kNotJpeg},
        {"one byte", {0xFF}, JpegTablesOutcome::kNotJpeg},
        {"a PNG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, JpegTablesOutcome::kNotJpeg},
        {"SOI alone", kSoi, JpegTablesOutcome::kTruncated},
        {"ends in fill bytes", Cat({kSoi, {0xFF, 0xFF}}), JpegTablesOutcome::kTruncated},
        {"ends inside a length", Cat({kSoi, {0xFF, 0xDB, 0x00}}), JpegTablesOutcome::kTruncated},
        {"a length past the end", Cat({kSoi, {0xFF, 0xDB, 0x00, 0x84, 0x00, 1, 1}}), JpegTablesOutcome::kTruncated},
        {"cut inside the scan header", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() - kScan.size() + 5)),
         JpegTablesOutcome::kTruncated},
        {"a length below 2", Cat({kSoi, {0xFF, 0xE1, 0x00, 0x01}, tables, kColour, kScan}), JpegTablesOutcome::kBadSegment},
        {"no marker where one belongs", Cat({kSoi, {0x00}, tables, kColour, kScan}), JpegTablesOutcome::kBadSegment},
        {"FF 00 outside a scan", Cat({kSoi, {0xFF, 0x00}, tables, kColour, kScan}), JpegTablesOutcome::kBadSegment},
        {"SOI again", Cat({kSoi, kSoi, tables, kColour, kScan}), JpegTablesOutcome::kBadSegment},
        {"precision 2", Cat({kSoi, Segment(0xDB, Cat({{0x20}, Bytes(64, 1)})), kColour, kScan}),
         JpegTablesOutcome::kBadSegment},
        {"destination 4", Cat({kSoi, Segment(0xDB, Table(4, 1)), kColour, kScan}), JpegTablesOutcome::kBadSegment},
        {"a table cut short by its segment", Cat({kSoi, shortTable, {0xFF, 0xD9}}), JpegTablesOutcome::kBadSegment},
        {"16-bit precision on 8-bit bytes", Cat({kSoi, Segment(0xDB, Cat({{0x10}, Bytes(64, 1)})), kColour, kScan}),
         JpegTablesOutcome::kBadSegment},
        {"bytes left after the last table", Cat({kSoi, Segment(0xDB, Cat({Table(0, 1), {0x01}})), kColour, kScan}),
         JpegTablesOutcome::kBadSegment},
        {"an empty DQT is no table but no fault either", Cat({kSoi, Segment(0xDB, {}), Segment(0xDB, Table(0, 1)),
                                                              Frame({{1, 0x11, 0}}), kScan}),
         JpegTablesOutcome::kRead},
        {"a frame of no components", Cat({kSoi, tables, Segment(0xC0, {8, 0, 8, 0, 16, 0}), kScan}),
         JpegTablesOutcome::kBadSegment},
        {"a frame whose count overruns it", Cat({kSoi, tables, Segment(0xC0, {8, 0, 8, 0, 16, 3, 1, 0x11, 0}), kScan}),
         JpegTablesOutcome::kBadSegment},
        {"sampling factor 0", Cat({kSoi, tables, Frame({{1, 0x01, 0}}), kScan}), JpegTablesOutcome::kBadSegment},
        {"sampling factor 5", Cat({kSoi, tables, Frame({{1, 0x51, 0}}), kScan}), JpegTablesOutcome::kBadSegment},
        {"a component's table 4", Cat({kSoi, tables, Frame({{1, 0x11, 4}}), kScan}), JpegTablesOutcome::kBadSegment},
        {"EOI before any scan", Cat({kSoi, tables, kColour, {0xFF, 0xD9}}), JpegTablesOutcome::kNoScan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const JpegTables t = ReadJpegTables(c.jpeg.data(), c.jpeg.size());
        EXPECT_EQ(t.outcome, c.outcome);
        if (c.outcome != JpegTablesOutcome::kRead) {
            EXPECT_TRUE(t.tables.empty());
            EXPECT_TRUE(t.components.empty());
            EXPECT_FALSE(IsQualityHundred(t));
        }
    }
    EXPECT_EQ(ReadJpegTables(nullptr, 100).outcome, JpegTablesOutcome::kNotJpeg);
    // Every cut of a good header fails as truncated, never reads past the cut.
    const size_t scanHeader = 2 + static_cast<size_t>(kScan[2] << 8 | kScan[3]);
    for (size_t n = 2; n < good.size() - kScan.size() + scanHeader; ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        const JpegTables t = ReadJpegTables(cut.data(), cut.size());
        EXPECT_EQ(t.outcome, JpegTablesOutcome::kTruncated) << n;
    }
}

// ---- real files, against djpeg ----------------------------------------------

// The tables djpeg prints ("Define Quantization Table N  precision P" and
// eight rows of eight), in its order, and the sampling of each component.
struct DjpegView {
    std::vector<std::vector<int>> tables;
    std::vector<int> precisions;
    std::vector<std::string> sampling; // "1hx1v", ...
};

DjpegView Djpeg(const fs::path& file)
{
    DjpegView view;
    std::istringstream in(RunTool("djpeg -verbose -verbose -outfile /dev/null '" + file.string() + "' 2>&1"));
    std::string line;
    while (std::getline(in, line)) {
        int id = 0, precision = 0;
        if (std::sscanf(line.c_str(), "Define Quantization Table %d precision %d", &id, &precision) == 2) {
            std::vector<int> values;
            for (int row = 0; row < 8 && std::getline(in, line); ++row) {
                std::istringstream r(line);
                int v;
                while (r >> v)
                    values.push_back(v);
            }
            view.tables.push_back(values);
            view.precisions.push_back(precision);
            continue;
        }
        const size_t c = line.find("Component ");
        const size_t colon = line.find(": ");
        if (c != std::string::npos && colon != std::string::npos && line.find("q=") != std::string::npos)
            view.sampling.push_back(line.substr(colon + 2, line.find(' ', colon + 2) - colon - 2));
    }
    return view;
}

// A w x h page: white, a red top-left quarter, a blue bottom-right quarter,
// as 24-bit BGR rows padded to four bytes, top row first.
Bytes PageBgr(int w, int h, int& stride)
{
    stride = (w * 3 + 3) & ~3;
    Bytes px(static_cast<size_t>(stride) * h, 0xEE); // the padding holds a value no pixel has
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[static_cast<size_t>(y) * stride + x * 3];
            const bool red = x < w / 2 && y < h / 2, blue = x >= w / 2 && y >= h / 2;
            p[0] = red ? 0 : 255;
            p[1] = red || blue ? 0 : 255;
            p[2] = blue ? 0 : 255;
        }
    return px;
}

TEST(JpegTables, FilesCjpegWroteReadAsDjpegReadsThem)
{
    TempDir dir("tamsel-jpegtables");
    ASSERT_FALSE(dir.Path().empty());
    int stride = 0;
    const Bytes bgr = PageBgr(40, 24, stride);
    // A PPM of the page for cjpeg.
    Bytes ppm;
    const std::string head = "P6 40 24 255\n";
    ppm.assign(head.begin(), head.end());
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint8_t* p = &bgr[static_cast<size_t>(y) * stride + x * 3];
            ppm.insert(ppm.end(), {p[2], p[1], p[0]});
        }
    WriteBytes(dir.Path() / "page.ppm", ppm);
    struct Case {
        const char* options;
        bool hundred;
    };
    const Case cases[] = {
        {"-quality 100", true},
        {"-quality 100 -sample 1x1", true},
        {"-quality 100 -grayscale", true},
        {"-quality 100 -progressive", true},
        {"-quality 99", false},
        {"-quality 75", false},
        {"-quality 10", false},
        {"-quality 100,75", false}, // the chroma table at 75
        {"-quality 5 -baseline", false},
        {"-quality 2", false},      // 16-bit tables: entries above 255
        {"-quality 100 -restart 1B", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const fs::path out = dir.Path() / "out.jpg";
        RunTool(std::string("cjpeg ") + c.options + " -outfile '" + out.string() + "' '" + (dir.Path() / "page.ppm").string() +
            "' 2>&1");
        const Bytes jpeg = ReadBytes(out);
        ASSERT_FALSE(jpeg.empty());
        const JpegTables t = ReadJpegTables(jpeg.data(), jpeg.size());
        ASSERT_EQ(t.outcome, JpegTablesOutcome::kRead);
        EXPECT_EQ(IsQualityHundred(t), c.hundred);
        const DjpegView d = Djpeg(out);
        ASSERT_EQ(d.tables.size(), t.tables.size());
        for (size_t i = 0; i < t.tables.size(); ++i) {
            EXPECT_EQ(d.precisions[i], t.tables[i].wide ? 1 : 0);
            // djpeg prints in natural order; both hold each entry once, so
            // the multiset of entries is what can be compared without the zigzag.
            std::vector<int> ours(t.tables[i].values.begin(), t.tables[i].values.end()), theirs = d.tables[i];
            std::sort(ours.begin(), ours.end());
            std::sort(theirs.begin(), theirs.end());
            EXPECT_EQ(ours, theirs) << "table " << i;
        }
        ASSERT_EQ(d.sampling.size(), t.components.size());
        for (size_t i = 0; i < t.components.size(); ++i)
            EXPECT_EQ(d.sampling[i], std::to_string(t.components[i].h) + "hx" + std::to_string(t.components[i].v) + "v");
    }
    // The camera's own files in the test data: none is quality 100, all read.
    for (const char* name : {"camera.jpg", "camera-thumb.jpg", "plain.jpg", "noapp0.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes jpeg = ReadBytes(fs::path(__FILE__).parent_path().parent_path() / "data" / "jpeg" / name);
        ASSERT_FALSE(jpeg.empty());
        const JpegTables t = ReadJpegTables(jpeg.data(), jpeg.size());
        EXPECT_EQ(t.outcome, JpegTablesOutcome::kRead);
        EXPECT_FALSE(IsQualityHundred(t));
    }
}

// ---- the encoder that honours its quality ------------------------------------

TEST(QualityJpeg, EncodesUprightInItsColoursAtTheQualityAsked)
{
    TempDir dir("tamsel-jpegtables");
    ASSERT_FALSE(dir.Path().empty());
    struct Case {
        const char* what;
        int w, h;
        bool bottomUp;
        int quality;
        bool hundred;
        const char* sampling;
    };
    const Case cases[] = {
        {"odd width, top-down rows, 100", 37, 21, false, 100, true, "1hx1v"},
        {"odd width, bottom-up rows, 100", 37, 21, true, 100, true, "1hx1v"},
        {"one pixel", 1, 1, false, 100, true, "1hx1v"},
        {"quality 91 keeps the colour", 64, 48, false, 91, false, "1hx1v"},
        {"quality 90 subsamples", 64, 48, false, 90, false, "2hx2v"},
        {"quality 75 subsamples", 64, 48, true, 75, false, "2hx2v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int stride = 0;
        Bytes page = PageBgr(c.w, c.h, stride);
        // Bottom-up storage: the last row in memory is the top one.
        Bytes stored = page;
        if (c.bottomUp)
            for (int y = 0; y < c.h; ++y)
                std::copy_n(&page[static_cast<size_t>(y) * stride], stride,
                            &stored[static_cast<size_t>(c.h - 1 - y) * stride]);
        const uint8_t* top = c.bottomUp ? &stored[static_cast<size_t>(c.h - 1) * stride] : stored.data();
        Bytes rgb, jpeg;
        ASSERT_TRUE(EncodeQualityJpeg(top, c.w, c.h, c.bottomUp ? -stride : stride, c.quality, rgb, jpeg));
        const fs::path file = dir.Path() / "q.jpg";
        WriteBytes(file, jpeg);

        const DjpegView d = Djpeg(file);
        ASSERT_EQ(d.tables.size(), 2u);
        bool allOnes = true;
        for (const auto& table : d.tables)
            for (int v : table)
                allOnes = allOnes && v == 1;
        EXPECT_EQ(allOnes, c.hundred);
        EXPECT_EQ(IsQualityHundred(ReadJpegTables(jpeg.data(), jpeg.size())), c.hundred);
        ASSERT_EQ(d.sampling.size(), 3u);
        EXPECT_EQ(d.sampling[0], c.sampling);

        // Decoded by djpeg: the frame's size, the red quarter top left.
        const std::string pnm = RunTool("djpeg -pnm '" + file.string() + "'");
        int w = 0, h = 0, max = 0, used = 0;
        ASSERT_EQ(std::sscanf(pnm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used), 3);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        const size_t pixels = static_cast<size_t>(used) + 1;
        ASSERT_EQ(pnm.size(), pixels + static_cast<size_t>(w) * h * 3);
        auto at = [&](int x, int y) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(&pnm[pixels + (static_cast<size_t>(y) * w + x) * 3]);
            return std::array<int, 3>{p[0], p[1], p[2]};
        };
        auto near = [&](std::array<int, 3> got, std::array<int, 3> want) {
            for (int i = 0; i < 3; ++i)
                if (std::abs(got[i] - want[i]) > (c.hundred ? 3 : 40))
                    return false;
            return true;
        };
        if (c.w == 1) {
            EXPECT_TRUE(near(at(0, 0), {0, 0, 255})) << "the blue quarter's one pixel";
            continue;
        }
        EXPECT_TRUE(near(at(1, 1), {255, 0, 0})) << "red top left";
        EXPECT_TRUE(near(at(c.w - 2, 1), {255, 255, 255})) << "white top right";
        EXPECT_TRUE(near(at(c.w - 2, c.h - 2), {0, 0, 255})) << "blue bottom right";
        EXPECT_TRUE(near(at(1, c.h - 2), {255, 255, 255})) << "white bottom left";
    }
}

TEST(QualityJpeg, BandsJoinedByRestartMarkersDecodeAsTheWholePicture)
{
    TempDir dir("tamsel-jpegtables");
    ASSERT_FALSE(dir.Path().empty());
    // Stripes and a diagonal, so that every block row differs from the next.
    const int w = 61, h = 45, stride = (w * 3 + 3) & ~3;
    Bytes px(static_cast<size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[static_cast<size_t>(y) * stride + x * 3];
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = x == y ? 0 : static_cast<uint8_t>(255 - (x + y) * 2);
        }
    auto decode = [&](const Bytes& jpeg, std::string* verbose) {
        WriteBytes(dir.Path() / "b.jpg", jpeg);
        if (verbose)
            *verbose = RunTool("djpeg -verbose -verbose -outfile /dev/null '" + (dir.Path() / "b.jpg").string() + "' 2>&1");
        // Anything djpeg says besides the picture (a corrupt-data warning)
        // lands in the file as well.
        return RunTool("djpeg -pnm '" + (dir.Path() / "b.jpg").string() + "' 2>&1");
    };
    for (int quality : {100, 75}) {
        SCOPED_TRACE(quality);
        const int mcu = quality > 90 ? 8 : 16;
        Bytes rgb, whole;
        ASSERT_TRUE(EncodeQualityJpeg(px.data(), w, h, stride, quality, rgb, whole));
        ASSERT_EQ(QualityJpegBands(w, h, quality, 0, 8), 1) << "a small picture is one band";
        const std::string expected = decode(whole, nullptr);
        ASSERT_EQ(expected.substr(0, 2), "P6");
        for (int rows : {1, 2, 3}) {
            SCOPED_TRACE(rows);
            Bytes banded;
            ASSERT_TRUE(EncodeQualityJpeg(px.data(), w, h, stride, quality, rgb, banded, rows));
            std::string verbose;
            const std::string decoded = decode(banded, &verbose);
            EXPECT_TRUE(decoded == expected) << "the same blocks, the same pixels; djpeg: " << decoded.substr(0, 80);
            EXPECT_EQ(IsQualityHundred(ReadJpegTables(banded.data(), banded.size())), quality == 100);
            const int bands = QualityJpegBands(w, h, quality, rows, 1);
            EXPECT_EQ(bands, ((h + mcu - 1) / mcu + rows - 1) / rows);
            const int interval = rows * ((w + mcu - 1) / mcu);
            if (bands > 1)
                EXPECT_NE(verbose.find("Define Restart Interval " + std::to_string(interval) + "\n"), std::string::npos)
                    << verbose.substr(0, 1500);
            else
                EXPECT_EQ(verbose.find("Restart Interval"), std::string::npos) << "one band needs no restart";
            // One restart marker between each two bands, RST0..RST7 in turn.
            int markers = 0;
            for (size_t i = 0; i + 1 < banded.size(); ++i)
                if (banded[i] == 0xFF && banded[i + 1] >= 0xD0 && banded[i + 1] <= 0xD7) {
                    EXPECT_EQ(banded[i + 1], 0xD0 + markers % 8);
                    ++markers;
                }
            EXPECT_EQ(markers, bands - 1);
        }
    }
}

TEST(QualityJpeg, BandsAreChosenByProcessorsAndSizeAndFitARestartInterval)
{
    struct Case {
        int w, h, quality, rows;
        unsigned processors;
        int bands;
    };
    const Case cases[] = {
        {2592, 1944, 100, 0, 2, 2},   {2592, 1944, 100, 0, 8, 2},   {2592, 1944, 100, 0, 1, 1},
        {640, 480, 100, 0, 2, 2},     {320, 240, 100, 0, 2, 1},     {2592, 1944, 75, 0, 2, 2},
        // 256 blocks a row: a band of 129 rows fits in 65535 blocks.
        {2048, 2056, 100, 0, 2, 2},
        // 2048 blocks a row: at most 31 rows a band.
        {16384, 16384, 100, 0, 2, 67},
        {16384, 16384, 100, 1000, 1, 67},
        {64, 40, 100, 1, 1, 5},       {64, 40, 75, 1, 1, 3},        {64, 40, 100, 100, 1, 1},
        {2592, 1944, 100, -1, 2, 1},  {16384, 16384, 100, -1, 2, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QualityJpegBands(c.w, c.h, c.quality, c.rows, c.processors), c.bands)
            << c.w << " x " << c.h << " q" << c.quality << " rows " << c.rows << " on " << c.processors;
}

TEST(QualityJpeg, SizesItCannotEncodeFailWithNothingWritten)
{
    const Bytes px(64 * 3, 0x80);
    Bytes rgb, jpeg{1, 2, 3};
    struct Case {
        const uint8_t* top;
        int w, h, quality;
    };
    const Case cases[] = {
        {nullptr, 8, 8, 100}, {px.data(), 0, 8, 100}, {px.data(), 8, -1, 100},
        {px.data(), 70000, 1, 100}, {px.data(), 30000, 30000, 100}, {px.data(), 8, 8, 0}, {px.data(), 8, 8, 101},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(EncodeQualityJpeg(c.top, c.w, c.h, 24, c.quality, rgb, jpeg)) << c.w << " x " << c.h << " q" << c.quality;
        EXPECT_TRUE(jpeg.empty());
    }
}

} // namespace
} // namespace tamsel
