// The GPS block is read back by exiftool and exiv2, the pictures decoded by
// djpeg: tools that share nothing with the writer.
#include "snapshot/ExifWriter.h"

#include "HostFiles.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

namespace tamsel {
namespace {

using namespace test;

fs::path Fixture(const char* name)
{
    return fs::path(__FILE__).parent_path().parent_path() / "data" / "jpeg" / name;
}

#define REQUIRE_TOOLS()                                                                            \
    for (const char* tool : {"exiftool", "exiv2", "djpeg"})                                        \
        if (!HaveTool(tool))                                                                       \
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)"

std::string Quote(const fs::path& p)
{
    return "'" + p.string() + "'";
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \r\n");
    const size_t b = s.find_last_not_of(" \r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// exiftool's reading of the GPS group: tag name to printed value.
std::map<std::string, std::string> ExiftoolGps(const fs::path& file)
{
    std::map<std::string, std::string> tags;
    for (const std::string& line :
         Lines(RunTool("exiftool -a -G1 -s -c '%d %d %.0f' -GPS:all " + Quote(file)))) {
        const size_t colon = line.find(" : ");
        const size_t close = line.find(']');
        if (colon != std::string::npos && close != std::string::npos)
            tags[Trim(line.substr(close + 1, colon - close - 1))] = line.substr(colon + 3);
    }
    return tags;
}

std::string ExiftoolTag(const fs::path& file, const char* tag)
{
    return Trim(RunTool(std::string("exiftool -s -s -s -") + tag + " " + Quote(file)));
}

// exiv2's raw rows of one IFD, in file order: "name type count value".
std::vector<std::string> Exiv2Rows(const fs::path& file, const std::string& ifd)
{
    std::vector<std::string> rows;
    for (const std::string& line : Lines(RunTool("exiv2 -pv " + Quote(file) + " 2>&1"))) {
        std::istringstream in(line);
        std::string tag, group, name, type, count, value;
        in >> tag >> group >> name >> type >> count;
        std::getline(in, value);
        if (group == ifd)
            rows.push_back(name + " " + type + " " + count + " " + Trim(value));
    }
    return rows;
}

int App1Segments(const fs::path& file)
{
    int n = 0;
    for (const std::string& line : Lines(RunTool("exiftool -v " + Quote(file))))
        n += line.rfind("JPEG APP1 ", 0) == 0;
    return n;
}

std::vector<std::string> ValidateWarnings(const fs::path& file)
{
    std::vector<std::string> warnings;
    for (const std::string& line : Lines(RunTool("exiftool -validate -warning -a -s -s -s " + Quote(file))))
        if (!line.empty() && line.find("Warning") == std::string::npos && line.find("OK") != 0)
            warnings.push_back(line);
    return warnings;
}

// What a block of GPS items alone lacks, and nothing else, is acceptable.
bool AcceptedWarning(const std::string& w)
{
    static const char* const kAccepted[] = {
        "Missing required JPEG GPS tag 0x0000 GPSVersionID",
        "Missing required JPEG IFD0 tag 0x011a XResolution",
        "Missing required JPEG IFD0 tag 0x011b YResolution",
        "Missing required JPEG IFD0 tag 0x0128 ResolutionUnit",
        "Missing required JPEG IFD0 tag 0x0213 YCbCrPositioning",
    };
    for (const char* a : kAccepted)
        if (w == a)
            return true;
    return false;
}

Bytes Decoded(const fs::path& file)
{
    const std::string ppm = RunTool("djpeg -ppm " + Quote(file));
    return Bytes(ppm.begin(), ppm.end());
}

// 48°8.0' N, 11°34.5' E, 09:05:07 UTC on 2026-03-09.
SGpsInfo ReferenceFix()
{
    SGpsInfo g;
    g.nLatDeg = 48;
    g.fLatMin = 8.0f;
    g.fLatSec = 0.0f;
    g.nLonDeg = 11;
    g.fLonMin = 34.0f;
    g.fLonSec = 30.0f;
    g.tmUtc.tm_hour = 9;
    g.tmUtc.tm_min = 5;
    g.tmUtc.tm_sec = 7;
    g.tmUtc.tm_year = 126;
    g.tmUtc.tm_mon = 2;
    g.tmUtc.tm_mday = 9;
    g.bFixTaken = true;
    g.bHasTime = true;
    g.bHasDate = true;
    return g;
}

std::string Describe(const ExifItem& item)
{
    std::ostringstream s;
    s << std::hex << item.tag << std::dec << " t" << item.type << " n" << item.Count() << ":";
    if (item.type == kExifAscii) {
        s << item.ascii.c_str() << (item.ascii.back() == '\0' ? "\\0" : "");
    } else {
        for (size_t i = 0; i + 1 < item.rationals.size(); i += 2)
            s << " " << item.rationals[i] << "/" << item.rationals[i + 1];
    }
    return s.str();
}

TEST(GpsExifItems, TheItemsOfAFixInTagOrder)
{
    struct Case {
        const char* what;
        void (*change)(SGpsInfo&);
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"reference fix", [](SGpsInfo&) {},
         {"1 t2 n2:N\\0", "2 t5 n3: 48/1 8/1 0/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 34/1 30/1",
          "7 t5 n3: 9/1 5/1 7/1", "1d t2 n11:2026:03:09\\0"}},
        {"south and west",
         [](SGpsInfo& g) {
             g.nLatRef = 1;
             g.nLonRef = 1;
         },
         {"1 t2 n2:S\\0", "2 t5 n3: 48/1 8/1 0/1", "3 t2 n2:W\\0", "4 t5 n3: 11/1 34/1 30/1",
          "7 t5 n3: 9/1 5/1 7/1", "1d t2 n11:2026:03:09\\0"}},
        {"fractions of a second dropped",
         [](SGpsInfo& g) {
             g.fLatSec = 59.4f;
             g.fLonSec = 0.6f;
             g.fLonMin = 59.9f;
         },
         {"1 t2 n2:N\\0", "2 t5 n3: 48/1 8/1 59/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 59/1 0/1",
          "7 t5 n3: 9/1 5/1 7/1", "1d t2 n11:2026:03:09\\0"}},
        {"no date received: five items", [](SGpsInfo& g) { g.bHasDate = false; },
         {"1 t2 n2:N\\0", "2 t5 n3: 48/1 8/1 0/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 34/1 30/1",
          "7 t5 n3: 9/1 5/1 7/1"}},
        {"a date no receiver reports is left out",
         [](SGpsInfo& g) { g.tmUtc.tm_year = 9000; },
         {"1 t2 n2:N\\0", "2 t5 n3: 48/1 8/1 0/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 34/1 30/1",
          "7 t5 n3: 9/1 5/1 7/1"}},
        {"nonsense values write 0, never wrap",
         [](SGpsInfo& g) {
             g.nLatDeg = -5;
             g.fLatMin = -0.5f;
             g.fLatSec = std::nanf("");
             g.fLonMin = 1e30f;
         },
         {"1 t2 n2:N\\0", "2 t5 n3: 0/1 0/1 0/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 4294967295/1 30/1",
          "7 t5 n3: 9/1 5/1 7/1", "1d t2 n11:2026:03:09\\0"}},
        {"a fix without a time: no time item, not 00:00:00",
         [](SGpsInfo& g) {
             g.bHasTime = false;
             g.tmUtc.tm_hour = g.tmUtc.tm_min = g.tmUtc.tm_sec = 0;
         },
         {"1 t2 n2:N\\0", "2 t5 n3: 48/1 8/1 0/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 34/1 30/1",
          "1d t2 n11:2026:03:09\\0"}},
        {"neither time nor date: four items",
         [](SGpsInfo& g) {
             g.bHasTime = false;
             g.bHasDate = false;
         },
         {"1 t2 n2:N\\0", "2 t5 n3: 48/1 8/1 0/1", "3 t2 n2:E\\0", "4 t5 n3: 11/1 34/1 30/1"}},
    };
    for (const Case& c : cases) {
        SGpsInfo g = ReferenceFix();
        c.change(g);
        std::vector<std::string> got;
        for (const ExifItem& item : GpsExifItems(g))
            got.push_back(Describe(item));
        EXPECT_EQ(got, c.items) << c.what;
    }
}

TEST(GpsExifItems, OnlyATimeAndADayThatExistAreWritten)
{
    // hour, minute, second; years since 1900, month 0..11, day; then the
    // time and date items, "" for one left out.
    struct Case {
        int hour, minute, second, years, month, day;
        const char* time;
        const char* date;
    };
    const Case cases[] = {
        {9, 5, 7, 126, 0, 31, "9/1 5/1 7/1", "2026:01:31"},  // day 31 of a long month
        {9, 5, 7, 126, 11, 31, "9/1 5/1 7/1", "2026:12:31"},
        {9, 5, 7, 126, 2, 31, "9/1 5/1 7/1", "2026:03:31"},
        {9, 5, 7, 126, 3, 30, "9/1 5/1 7/1", "2026:04:30"},
        {9, 5, 7, 126, 3, 31, "9/1 5/1 7/1", ""},             // 31 April
        {9, 5, 7, 126, 1, 31, "9/1 5/1 7/1", ""},             // 31 February
        {9, 5, 7, 126, 1, 28, "9/1 5/1 7/1", "2026:02:28"},
        {9, 5, 7, 126, 1, 29, "9/1 5/1 7/1", ""},             // 2026 is a common year
        {9, 5, 7, 124, 1, 29, "9/1 5/1 7/1", "2024:02:29"},
        {9, 5, 7, 100, 1, 29, "9/1 5/1 7/1", "2000:02:29"},   // divisible by 400
        {9, 5, 7, 200, 1, 29, "9/1 5/1 7/1", ""},             // 2100: a century
        {9, 5, 7, 126, 8, 31, "9/1 5/1 7/1", ""},             // 31 September
        {9, 5, 7, 126, 10, 31, "9/1 5/1 7/1", ""},            // 31 November
        {9, 5, 7, 126, 5, 31, "9/1 5/1 7/1", ""},             // 31 June
        {9, 5, 7, 126, 2, 0, "9/1 5/1 7/1", ""},
        {9, 5, 7, 126, 12, 1, "9/1 5/1 7/1", ""},             // a thirteenth month
        {9, 5, 7, 126, -1, 1, "9/1 5/1 7/1", ""},
        {23, 59, 59, 126, 2, 9, "23/1 59/1 59/1", "2026:03:09"},
        {23, 59, 60, 126, 2, 9, "23/1 59/1 60/1", "2026:03:09"}, // a leap second
        {0, 0, 0, 126, 2, 9, "0/1 0/1 0/1", "2026:03:09"},       // midnight, taken
        {12, 0, 60, 126, 2, 9, "", "2026:03:09"},                // no leap second at noon
        {24, 0, 0, 126, 2, 9, "", "2026:03:09"},
        {9, 60, 0, 126, 2, 9, "", "2026:03:09"},
        {9, 5, 61, 126, 2, 9, "", "2026:03:09"},
        {-1, 5, 7, 126, 2, 9, "", "2026:03:09"},
    };
    for (const Case& c : cases) {
        SGpsInfo g = ReferenceFix();
        g.tmUtc.tm_hour = c.hour;
        g.tmUtc.tm_min = c.minute;
        g.tmUtc.tm_sec = c.second;
        g.tmUtc.tm_year = c.years;
        g.tmUtc.tm_mon = c.month;
        g.tmUtc.tm_mday = c.day;
        std::string time, date;
        for (const ExifItem& item : GpsExifItems(g)) {
            if (item.tag == 0x0007)
                time = Describe(item).substr(std::string("7 t5 n3: ").size());
            else if (item.tag == 0x001D)
                date = item.ascii.c_str();
        }
        const std::string what = std::to_string(c.hour) + ":" + std::to_string(c.minute) + ":" +
                                 std::to_string(c.second) + " " + std::to_string(c.years + 1900) + "-" +
                                 std::to_string(c.month + 1) + "-" + std::to_string(c.day);
        EXPECT_EQ(time, c.time) << what;
        EXPECT_EQ(date, c.date) << what;
    }
}

struct Written {
    ExifOutcome outcome;
    Bytes in, out;
    fs::path file;
};

Written WriteWithGps(const TempDir& dir, const char* fixture, const SGpsInfo& fix)
{
    Written w;
    w.in = ReadBytes(Fixture(fixture));
    w.outcome = InsertGpsExif(w.in.data(), w.in.size(), GpsExifItems(fix), w.out);
    w.file = dir.Path() / (std::string("gps-") + fixture);
    WriteBytes(w.file, w.out);
    return w;
}

TEST(InsertGpsExif, ToolsReadExactlyTheGpsItemsBesideTheCamerasOwn)
{
    REQUIRE_TOOLS();
    TempDir dir("tamsel-exif");
    ASSERT_FALSE(dir.Path().empty());
    const std::map<std::string, std::string> gps = {
        {"GPSLatitudeRef", "North"}, {"GPSLatitude", "48 8 0"},       {"GPSLongitudeRef", "East"},
        {"GPSLongitude", "11 34 30"}, {"GPSTimeStamp", "09:05:07"},  {"GPSDateStamp", "2026:03:09"},
    };
    const std::vector<std::string> raw = {
        "GPSLatitudeRef Ascii 2 N",           "GPSLatitude Rational 3 48/1 8/1 0/1",
        "GPSLongitudeRef Ascii 2 E",          "GPSLongitude Rational 3 11/1 34/1 30/1",
        "GPSTimeStamp Rational 3 9/1 5/1 7/1", "GPSDateStamp Ascii 11 2026:03:09",
    };
    struct Case {
        const char* fixture;
        ExifOutcome outcome;
        const char* byteOrder; // exiftool's ExifByteOrder, -n
        bool camera;           // carries Make and Model of its own
    };
    const Case cases[] = {
        {"plain.jpg", ExifOutcome::kAdded, "II", false},
        {"noapp0.jpg", ExifOutcome::kAdded, "II", false},
        {"camera.jpg", ExifOutcome::kMerged, "MM", true},
        {"camera-gps.jpg", ExifOutcome::kMerged, "II", true}, // its own GPS IFD is replaced
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const Written w = WriteWithGps(dir, c.fixture, ReferenceFix());
        ASSERT_EQ(w.outcome, c.outcome);
        EXPECT_EQ(ExiftoolGps(w.file), gps);
        EXPECT_EQ(Exiv2Rows(w.file, "GPSInfo"), raw);
        EXPECT_EQ(App1Segments(w.file), 1);
        EXPECT_EQ(Trim(RunTool("exiftool -n -s -s -s -ExifByteOrder " + Quote(w.file))), c.byteOrder);
        const std::vector<std::string> ifd0 = Exiv2Rows(w.file, "Image");
        if (c.camera) {
            EXPECT_EQ(ExiftoolTag(w.file, "Make"), "Tamsel Test");
            EXPECT_EQ(ExiftoolTag(w.file, "Model"), "Test Camera 5");
            // The camera's IFD0 entries, the GPS pointer among them in tag order.
            ASSERT_EQ(ifd0.size(), 7u);
            EXPECT_EQ(ifd0[5].rfind("YCbCrPositioning ", 0), 0u) << ifd0[5];
            EXPECT_EQ(ifd0[6].rfind("GPSTag Long 1 ", 0), 0u) << ifd0[6];
        } else {
            ASSERT_EQ(ifd0.size(), 1u);
            EXPECT_EQ(ifd0[0].rfind("GPSTag Long 1 ", 0), 0u) << ifd0[0];
        }
        EXPECT_EQ(Decoded(w.file), Decoded(Fixture(c.fixture)));
        const std::vector<std::string> warnings = ValidateWarnings(w.file);
        // The validator ran: a GPS block without a version always draws this.
        EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                            "Missing required JPEG GPS tag 0x0000 GPSVersionID"),
                  warnings.end());
        for (const std::string& warning : warnings) {
            EXPECT_TRUE(AcceptedWarning(warning)) << warning;
            std::printf("[ validate ] %s: %s\n", c.fixture, warning.c_str());
        }
    }
}

TEST(InsertGpsExif, SouthWestWithoutADateReadBack)
{
    REQUIRE_TOOLS();
    TempDir dir("tamsel-exif");
    ASSERT_FALSE(dir.Path().empty());
    SGpsInfo fix = ReferenceFix();
    fix.nLatRef = 1;
    fix.nLonRef = 1;
    fix.fLatSec = 59.4f;
    fix.bHasDate = false;
    for (const char* fixture : {"plain.jpg", "camera.jpg"}) {
        SCOPED_TRACE(fixture);
        const Written w = WriteWithGps(dir, fixture, fix);
        ASSERT_TRUE(Succeeded(w.outcome));
        const std::vector<std::string> raw = {
            "GPSLatitudeRef Ascii 2 S",           "GPSLatitude Rational 3 48/1 8/1 59/1",
            "GPSLongitudeRef Ascii 2 W",          "GPSLongitude Rational 3 11/1 34/1 30/1",
            "GPSTimeStamp Rational 3 9/1 5/1 7/1",
        };
        EXPECT_EQ(Exiv2Rows(w.file, "GPSInfo"), raw);
        const std::map<std::string, std::string> gps = {
            {"GPSLatitudeRef", "South"}, {"GPSLatitude", "48 8 59"},    {"GPSLongitudeRef", "West"},
            {"GPSLongitude", "11 34 30"}, {"GPSTimeStamp", "09:05:07"},
        };
        EXPECT_EQ(ExiftoolGps(w.file), gps);
    }
}

// A plain walk over the segments before the scan: (marker, start) pairs.
std::vector<std::pair<int, size_t>> Markers(const Bytes& j)
{
    std::vector<std::pair<int, size_t>> m;
    size_t p = 2;
    while (p + 4 <= j.size() && j[p] == 0xFF) {
        m.push_back({j[p + 1], p});
        if (j[p + 1] == 0xDA)
            break;
        p += 2 + (j[p + 2] << 8 | j[p + 3]);
    }
    return m;
}

TEST(InsertGpsExif, NewSegmentFollowsJfifOrSoiAndTheScanIsCopied)
{
    struct Case {
        const char* fixture;
        std::vector<int> before, after; // leading markers
    };
    const Case cases[] = {
        {"plain.jpg", {0xE0, 0xDB}, {0xE0, 0xE1, 0xDB}},
        {"noapp0.jpg", {0xDB}, {0xE1, 0xDB}},
        {"camera.jpg", {0xE0, 0xE1, 0xDB}, {0xE0, 0xE1, 0xDB}},
        // The JFIF extension (JFXX) must directly follow the JFIF segment.
        {"plain.jpg+JFXX", {0xE0, 0xE0, 0xDB}, {0xE0, 0xE0, 0xE1, 0xDB}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string name(c.fixture);
        Bytes in = ReadBytes(Fixture(name.substr(0, name.find('+')).c_str()));
        if (name.find("+JFXX") != std::string::npos) {
            // A one-pixel RGB thumbnail (extension code 0x13).
            const Bytes jfxx = {0xFF, 0xE0, 0x00, 0x0D, 'J', 'F', 'X', 'X', 0x00, 0x13, 0x01, 0x01, 0xFF, 0x00, 0x00};
            in.insert(in.begin() + Markers(in)[1].second, jfxx.begin(), jfxx.end());
        }
        Bytes out;
        ASSERT_TRUE(Succeeded(InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out)));
        ASSERT_EQ(out[0], 0xFF);
        ASSERT_EQ(out[1], 0xD8);
        const auto mi = Markers(in), mo = Markers(out);
        ASSERT_GE(mi.size(), c.before.size());
        ASSERT_GE(mo.size(), c.after.size());
        for (size_t i = 0; i < c.before.size(); ++i)
            EXPECT_EQ(mi[i].first, c.before[i]) << i;
        for (size_t i = 0; i < c.after.size(); ++i)
            EXPECT_EQ(mo[i].first, c.after[i]) << i;
        ASSERT_EQ(mi.back().first, 0xDA);
        ASSERT_EQ(mo.back().first, 0xDA);
        const size_t scan = in.size() - mi.back().second;
        ASSERT_EQ(out.size() - mo.back().second, scan);
        EXPECT_TRUE(std::equal(in.end() - scan, in.end(), out.end() - scan));
    }
}

size_t FindBytes(const Bytes& b, const std::string& what)
{
    const auto it = std::search(b.begin(), b.end(), what.begin(), what.end());
    return it == b.end() ? std::string::npos : static_cast<size_t>(it - b.begin());
}

// camera.jpg's TIFF header (big-endian) and IFD0.
struct Tiff {
    size_t at, ifd0, next;
};
Tiff CameraTiff(const Bytes& j)
{
    Tiff t;
    t.at = FindBytes(j, std::string("MM\0*", 4));
    t.ifd0 = t.at + (j[t.at + 4] << 24 | j[t.at + 5] << 16 | j[t.at + 6] << 8 | j[t.at + 7]);
    t.next = t.ifd0 + 2 + 12 * (j[t.ifd0] << 8 | j[t.ifd0 + 1]);
    return t;
}

void Put32Be(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

TEST(InsertGpsExif, HostileBytesFailOrGetAFreshSegment)
{
    const Bytes camera = ReadBytes(Fixture("camera.jpg"));
    ASSERT_GT(camera.size(), 100u);
    const Tiff t = CameraTiff(camera);
    ASSERT_NE(t.at, std::string::npos);
    const size_t app0 = 2, app1 = Markers(camera)[1].second;
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        ExifOutcome outcome;
    };
    const Case cases[] = {
        {"no SOI", [](Bytes& j) { j[1] = 0xD9; }, ExifOutcome::kNotJpeg},
        {"segment longer than the file", [&](Bytes& j) { j[app0 + 2] = 0xFF; }, ExifOutcome::kNotJpeg},
        {"segment length below 2", [&](Bytes& j) { j[app0 + 2] = 0, j[app0 + 3] = 1; }, ExifOutcome::kNotJpeg},
        {"end of image before the scan", [&](Bytes& j) { j[app1 + 1] = 0xD9; }, ExifOutcome::kNotJpeg},
        {"garbage where a marker belongs", [&](Bytes& j) { j[app1] = 0x12; }, ExifOutcome::kNotJpeg},
        {"unknown byte order", [&](Bytes& j) { j[t.at] = 'X'; }, ExifOutcome::kReplaced},
        {"IFD0 outside the block", [&](Bytes& j) { Put32Be(j, t.at + 4, 0x7FFFFFF0); }, ExifOutcome::kReplaced},
        {"IFD0 at offset 0", [&](Bytes& j) { Put32Be(j, t.at + 4, 0); }, ExifOutcome::kReplaced},
        {"IFD0 entry count past the end", [&](Bytes& j) { j[t.ifd0] = 0xFF; }, ExifOutcome::kReplaced},
        {"IFD chain loops back to IFD0",
         [&](Bytes& j) { Put32Be(j, t.next, static_cast<uint32_t>(t.ifd0 - t.at)); }, ExifOutcome::kReplaced},
        {"next IFD past the end", [&](Bytes& j) { Put32Be(j, t.next, 0xFFFFFFFF); }, ExifOutcome::kReplaced},
        {"only the identifier",
         [&](Bytes& j) {
             const size_t len = j[app1 + 2] << 8 | j[app1 + 3];
             j.erase(j.begin() + app1 + 4 + 5, j.begin() + app1 + 2 + len);
             j[app1 + 2] = 0, j[app1 + 3] = 7;
         },
         ExifOutcome::kReplaced},
    };
    for (const Case& c : cases) {
        Bytes in = camera;
        c.change(in);
        Bytes out = {1, 2, 3};
        const ExifOutcome o = InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out);
        EXPECT_EQ(o, c.outcome) << c.what;
        if (!Succeeded(o)) {
            EXPECT_TRUE(out.empty()) << c.what;
            continue;
        }
        // The fresh segment stands where the unreadable one stood.
        const auto m = Markers(out);
        ASSERT_GE(m.size(), 3u) << c.what;
        EXPECT_EQ(m[1].first, 0xE1) << c.what;
        EXPECT_NE(m[2].first, 0xE1) << c.what;
        EXPECT_EQ(FindBytes(out, "Exif"), m[1].second + 4) << c.what;
        EXPECT_EQ(FindBytes(out, "Tamsel Test"), std::string::npos) << c.what;
    }

    // Every truncation: a clean failure while the start-of-scan header is
    // not whole, then the scan's remainder copied whole.
    const size_t scan = Markers(camera).back().second;
    const size_t scanHeaderEnd = scan + 2 + (camera[scan + 2] << 8 | camera[scan + 3]);
    ASSERT_LT(scanHeaderEnd, camera.size());
    for (size_t n = 0; n <= camera.size(); ++n) {
        Bytes out;
        const ExifOutcome o = InsertGpsExif(camera.data(), n, GpsExifItems(ReferenceFix()), out);
        ASSERT_EQ(Succeeded(o), n >= scanHeaderEnd) << n;
        if (!Succeeded(o)) {
            EXPECT_EQ(o, ExifOutcome::kNotJpeg) << n;
            EXPECT_TRUE(out.empty()) << n;
            continue;
        }
        ASSERT_GE(out.size(), n - scan);
        EXPECT_TRUE(std::equal(camera.begin() + scan, camera.begin() + n, out.end() - (n - scan))) << n;
    }
}

TEST(InsertGpsExif, AFreshSegmentFromUnreadableExifIsReadByTheTools)
{
    REQUIRE_TOOLS();
    TempDir dir("tamsel-exif");
    ASSERT_FALSE(dir.Path().empty());
    Bytes in = ReadBytes(Fixture("camera.jpg"));
    const Tiff t = CameraTiff(in);
    Put32Be(in, t.next, static_cast<uint32_t>(t.ifd0 - t.at)); // IFD1 is IFD0 again
    Bytes out;
    ASSERT_EQ(InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out), ExifOutcome::kReplaced);
    const fs::path file = dir.Path() / "looped.jpg";
    WriteBytes(file, out);
    EXPECT_EQ(ExiftoolGps(file).size(), 6u);
    EXPECT_EQ(App1Segments(file), 1);
    EXPECT_EQ(Decoded(file), Decoded(Fixture("camera.jpg")));
}

TEST(InsertGpsExif, TwoExifSegmentsBecomeOne)
{
    REQUIRE_TOOLS();
    TempDir dir("tamsel-exif");
    ASSERT_FALSE(dir.Path().empty());
    Bytes in = ReadBytes(Fixture("camera.jpg"));
    const auto m = Markers(in);
    ASSERT_EQ(m[1].first, 0xE1);
    const Bytes app1(in.begin() + m[1].second, in.begin() + m[2].second);
    in.insert(in.begin() + m[2].second, app1.begin(), app1.end());
    Bytes out;
    ASSERT_EQ(InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out), ExifOutcome::kMerged);
    const fs::path file = dir.Path() / "twice.jpg";
    WriteBytes(file, out);
    EXPECT_EQ(App1Segments(file), 1);
    EXPECT_EQ(ExiftoolTag(file, "Model"), "Test Camera 5");
    EXPECT_EQ(ExiftoolGps(file).size(), 6u);
}

TEST(InsertGpsExif, TheCamerasThumbnailStaysLinkedAfterTheMerge)
{
    // camera-thumb.jpg carries a thumbnail in IFD1: the new IFD0 must pass
    // the link to it on.
    const Bytes in = ReadBytes(Fixture("camera-thumb.jpg"));
    Bytes out;
    ASSERT_EQ(InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out), ExifOutcome::kMerged);
    const Tiff before = CameraTiff(in), after = CameraTiff(out);
    ASSERT_NE(after.at, std::string::npos);
    const auto link = [](const Bytes& j, const Tiff& t) {
        return static_cast<uint32_t>(j[t.next] << 24 | j[t.next + 1] << 16 | j[t.next + 2] << 8 | j[t.next + 3]);
    };
    ASSERT_NE(link(in, before), 0u) << "the fixture has an IFD1";
    EXPECT_NE(after.ifd0 - after.at, before.ifd0 - before.at) << "a new IFD0";
    EXPECT_EQ(link(out, after), link(in, before));

    REQUIRE_TOOLS();
    TempDir dir("tamsel-exif");
    ASSERT_FALSE(dir.Path().empty());
    const fs::path file = dir.Path() / "thumb.jpg";
    WriteBytes(file, out);
    const std::string thumbnail = RunTool("exiftool -b -ThumbnailImage " + Quote(file));
    EXPECT_EQ(Bytes(thumbnail.begin(), thumbnail.end()), ReadBytes(Fixture("noapp0.jpg")));
    EXPECT_EQ(ExiftoolGps(file).size(), 6u);
}

// The JPEG with its first Exif segment grown by `grown - length` bytes
// inside it (a thumbnail or maker note the size of the segment).
Bytes GrownExif(const Bytes& jpeg, size_t grown)
{
    Bytes in = jpeg;
    const size_t app1 = Markers(in)[1].second;
    const size_t length = in[app1 + 2] << 8 | in[app1 + 3];
    in.insert(in.begin() + app1 + 2 + length, grown - length, 0);
    in[app1 + 2] = static_cast<uint8_t>(grown >> 8);
    in[app1 + 3] = static_cast<uint8_t>(grown);
    return in;
}

TEST(InsertGpsExif, AFullCameraSegmentIsFollowedByASegmentOfItsOwn)
{
    // The camera's Exif segment grown up to the largest segment there is:
    // the merge fits until it would pass 65535 bytes; from there on the
    // camera's segment stays byte for byte and a fresh one follows it.
    const Bytes camera = ReadBytes(Fixture("camera.jpg"));
    const size_t app1 = Markers(camera)[1].second;
    const size_t length = camera[app1 + 2] << 8 | camera[app1 + 3];
    Bytes fresh;
    const Bytes plain = ReadBytes(Fixture("noapp0.jpg")); // SOI, then the tables
    ASSERT_EQ(InsertGpsExif(plain.data(), plain.size(), GpsExifItems(ReferenceFix()), fresh), ExifOutcome::kAdded);
    const Bytes freshSegment(fresh.begin() + 2, fresh.begin() + Markers(fresh)[1].second);
    std::vector<size_t> sizes;
    for (size_t grown = length; grown <= length + 8; ++grown)
        sizes.push_back(grown);
    for (size_t grown = 0xFF00; grown <= 0xFFFF; ++grown)
        sizes.push_back(grown);
    size_t lastFit = 0;
    bool separate = false;
    for (const size_t grown : sizes) {
        const Bytes in = GrownExif(camera, grown);
        Bytes out;
        const ExifOutcome o = InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out);
        if (o == ExifOutcome::kMerged) {
            ASSERT_FALSE(separate) << grown;
            // The length field counts the whole new segment: it did not wrap.
            const size_t outLength = out[app1 + 2] << 8 | out[app1 + 3];
            ASSERT_EQ(out.size() - outLength, in.size() - grown) << grown;
            lastFit = grown;
            continue;
        }
        ASSERT_EQ(o, ExifOutcome::kSeparate) << grown;
        separate = true;
        const size_t ownEnd = app1 + 2 + grown;
        ASSERT_EQ(out.size(), in.size() + freshSegment.size()) << grown;
        ASSERT_TRUE(std::equal(in.begin(), in.begin() + ownEnd, out.begin())) << grown;
        ASSERT_TRUE(std::equal(freshSegment.begin(), freshSegment.end(), out.begin() + ownEnd)) << grown;
        ASSERT_TRUE(std::equal(in.begin() + ownEnd, in.end(), out.begin() + ownEnd + freshSegment.size()))
            << grown;
    }
    EXPECT_GT(lastFit, 0xFF00u);
    EXPECT_TRUE(separate);
}

TEST(InsertGpsExif, ToolsReadTheGpsSegmentBesideAFullCameraSegment)
{
    // camera-gps.jpg's own GPS IFD must not compete with the new one: its
    // pointer leaves the camera's IFD0, every other item stays. exiftool
    // reads every Exif segment; exiv2 reads the first, the camera's own.
    const Bytes in = GrownExif(ReadBytes(Fixture("camera-gps.jpg")), 0xFFF0);
    Bytes out;
    ASSERT_EQ(InsertGpsExif(in.data(), in.size(), GpsExifItems(ReferenceFix()), out), ExifOutcome::kSeparate);
    // The camera's IFD0 (little-endian) in the input and in the output.
    const auto ifd0Tags = [](const Bytes& j) {
        const size_t tiff = FindBytes(j, std::string("II*\0", 4));
        const auto u16 = [&](size_t at) { return j[at] | j[at + 1] << 8; };
        const size_t ifd0 = tiff + (j[tiff + 4] | j[tiff + 5] << 8 | j[tiff + 6] << 16 | j[tiff + 7] << 24);
        std::vector<int> tags;
        for (int i = 0; i < u16(ifd0); ++i)
            tags.push_back(u16(ifd0 + 2 + 12 * i));
        return tags;
    };
    std::vector<int> expected = ifd0Tags(in);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), kGpsIfdPointerTag), 1);
    expected.erase(std::find(expected.begin(), expected.end(), kGpsIfdPointerTag));
    EXPECT_EQ(ifd0Tags(out), expected);

    REQUIRE_TOOLS();
    TempDir dir("tamsel-exif");
    ASSERT_FALSE(dir.Path().empty());
    const fs::path file = dir.Path() / "full.jpg";
    WriteBytes(file, out);
    EXPECT_EQ(App1Segments(file), 2);
    const std::map<std::string, std::string> gps = {
        {"GPSLatitudeRef", "North"}, {"GPSLatitude", "48 8 0"},       {"GPSLongitudeRef", "East"},
        {"GPSLongitude", "11 34 30"}, {"GPSTimeStamp", "09:05:07"},  {"GPSDateStamp", "2026:03:09"},
    };
    EXPECT_EQ(ExiftoolGps(file), gps);
    EXPECT_EQ(ExiftoolTag(file, "Make"), "Tamsel Test");
    EXPECT_EQ(ExiftoolTag(file, "Model"), "Test Camera 5");
    const std::vector<std::string> image = Exiv2Rows(file, "Image");
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(image[0], "Make Ascii 12 Tamsel Test");
    EXPECT_TRUE(Exiv2Rows(file, "GPSInfo").empty()) << "the camera's old GPS IFD is no longer linked";
    EXPECT_EQ(Decoded(file), Decoded(Fixture("camera-gps.jpg")));
}

} // namespace
} // namespace tamsel
