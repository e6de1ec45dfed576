#include "capture/FormatRules.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

StreamCapability Yuy2(long w, long h) { return {w, h, 16, true}; }
StreamCapability Mjpg(long w, long h) { return {w, h, 24, false}; }

TEST(FormatRules, NativeFormatIsOneTheCameraOffersInYuy2)
{
    struct Case {
        const char* what;
        std::vector<StreamCapability> caps;
        CaptureFormatChoice expected;
    };
    const Case cases[] = {
        {"largest size offered in YUY2", {Yuy2(640, 480), Yuy2(1600, 1200)}, {1600, 1200, false}},
        {"largest size also offered compressed", {Mjpg(1600, 1200), Yuy2(1600, 1200)}, {1600, 1200, false}},
        {"larger sizes only compressed", {Yuy2(640, 480), Yuy2(320, 240), Mjpg(1280, 720), Mjpg(640, 480)},
         {640, 480, false}},
        {"widest and tallest differ", {Yuy2(1280, 720), Yuy2(960, 960)}, {1280, 720, false}},
        {"equal areas: the first listed", {Yuy2(960, 960), Yuy2(1280, 720)}, {960, 960, false}},
        {"largest area wins over the widest", {Yuy2(1280, 720), Yuy2(1024, 1000), Yuy2(640, 480)},
         {1024, 1000, false}},
        {"still-pin camera", {Yuy2(640, 480), Yuy2(2592, 1944)}, {640, 480, true}},
        {"still-pin camera whose large sizes are compressed", {Yuy2(640, 480), Mjpg(2592, 1944)},
         {640, 480, true}},
        {"width and height from different capabilities", {Yuy2(640, 480), Yuy2(2592, 1080), Yuy2(1280, 1944)},
         {640, 480, true}},
        {"no YUY2 at all", {Mjpg(1280, 720)}, {0, 0, false}},
        {"no capabilities", {}, {0, 0, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CaptureFormatChoice got = ChooseNativeFormat(c.caps);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
        EXPECT_EQ(got.useStillPin, c.expected.useStillPin);
    }
}

TEST(FormatRules, AnnouncementsBeyondTheFrameBoundsTakeNoPart)
{
    struct Case {
        const char* what;
        std::vector<StreamCapability> caps;
        int maxWidth, maxHeight;
        CaptureFormatChoice native;
    };
    const Case cases[] = {
        {"20000 x 20000", {Yuy2(1280, 720), Yuy2(20000, 20000)}, 1280, 720, {1280, 720, false}},
        {"one side 16385", {Yuy2(640, 480), Yuy2(16385, 2)}, 640, 480, {640, 480, false}},
        {"16384 x 2 is within", {Yuy2(640, 480), Yuy2(16384, 2)}, 16384, 480, {640, 480, false}},
        {"64 bits a pixel", {Yuy2(640, 480), {2592, 1944, 64, true}}, 640, 480, {640, 480, false}},
        {"compressed beyond the bounds", {Yuy2(800, 600), Mjpg(40000, 30000)}, 800, 600, {800, 600, false}},
        {"upside-down height", {Yuy2(640, 480), Yuy2(1024, -768)}, 640, 480, {640, 480, false}},
        {"largest long there is", {Yuy2(640, 480), Yuy2(2147483647L, 2147483647L)}, 640, 480, {640, 480, false}},
        {"only beyond the bounds", {Yuy2(20000, 20000)}, 0, 0, {0, 0, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int w = -1, h = -1;
        LargestSides(c.caps, w, h);
        EXPECT_EQ(w, c.maxWidth);
        EXPECT_EQ(h, c.maxHeight);
        const CaptureFormatChoice got = ChooseNativeFormat(c.caps);
        EXPECT_EQ(got.width, c.native.width);
        EXPECT_EQ(got.height, c.native.height);
        EXPECT_EQ(got.useStillPin, c.native.useStillPin);
    }
}

TEST(FormatRules, FixedModesIgnoreTheCapabilities)
{
    const std::vector<StreamCapability> caps = {Yuy2(2592, 1944), Mjpg(1280, 720)};
    struct Case {
        int mode;
        CaptureFormatChoice expected;
    };
    const Case cases[] = {
        {1, {640, 480, false}}, {2, {800, 600, false}}, {3, {1024, 768, false}}, {4, {640, 480, true}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const CaptureFormatChoice got = ChooseStreamFormat(c.mode, caps);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
        EXPECT_EQ(got.useStillPin, c.expected.useStillPin);
    }
}

} // namespace
} // namespace tamsel
