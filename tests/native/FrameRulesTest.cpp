#include "capture/FrameRules.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tamsel {
namespace {

// The conversion written out as plainly as it is stated.
uint8_t Ref(double v)
{
    double t = std::trunc(v);
    if (t > 255) t = 255;
    if (t < 0) t = 0;
    return static_cast<uint8_t>(t);
}

void RefPixel(int y, int u, int v, uint8_t bgr[3])
{
    const double c = 1.164 * (y - 16);
    const double uu = u - 128, vv = v - 128;
    bgr[2] = Ref(c + 1.596 * vv);
    bgr[1] = Ref(c - 0.391 * uu - 0.813 * vv);
    bgr[0] = Ref(c + 2.018 * uu);
}

TEST(Yuy2ToBgr, StatedExamples)
{
    struct Case { uint8_t y0, u, y1, v; uint8_t bgr0[3]; };
    const Case cases[] = {
        {16, 128, 16, 128, {0, 0, 0}},
        {235, 128, 235, 128, {254, 254, 254}},
        {255, 128, 255, 255, {255, 174, 255}},
    };
    for (const Case& c : cases) {
        const uint8_t src[4] = {c.y0, c.u, c.y1, c.v};
        uint8_t dst[6] = {};
        Yuy2ToBgrRow(2, dst, src);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dst[i], c.bgr0[i]) << int(c.y0) << "," << int(c.u) << "," << int(c.v) << " channel " << i;
            EXPECT_EQ(dst[3 + i], c.bgr0[i]);
        }
    }
}

TEST(Yuy2ToBgr, EveryYuvCombinationMatchesTheFormula)
{
    // One row per (U, V) carrying every Y value once: 128 pairs (2k, 2k + 1).
    uint8_t src[512], dst[768], ref[3];
    long mismatches = 0;
    for (int u = 0; u < 256; ++u) {
        for (int v = 0; v < 256; ++v) {
            for (int k = 0; k < 128; ++k) {
                src[4 * k] = static_cast<uint8_t>(2 * k);
                src[4 * k + 1] = static_cast<uint8_t>(u);
                src[4 * k + 2] = static_cast<uint8_t>(2 * k + 1);
                src[4 * k + 3] = static_cast<uint8_t>(v);
            }
            Yuy2ToBgrRow(256, dst, src);
            for (int y = 0; y < 256; ++y) {
                RefPixel(y, u, v, ref);
                for (int ch = 0; ch < 3; ++ch)
                    if (dst[3 * y + ch] != ref[ch] && ++mismatches <= 5)
                        ADD_FAILURE() << "Y " << y << " U " << u << " V " << v << " channel " << ch;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Yuy2ToBgr, OddWidthLeavesTheLastPixel)
{
    const uint8_t src[6] = {235, 128, 235, 128, 235, 128};
    uint8_t dst[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
    Yuy2ToBgrRow(3, dst, src);
    EXPECT_EQ(dst[5], 254);
    EXPECT_EQ(dst[6], 7);
    EXPECT_EQ(dst[8], 7);
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(StillImage, VgaYuy2FrameBecomesAnUprightBmp)
{
    const int w = 640, h = 480;
    std::vector<uint8_t> yuy2(w * h * 2);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; x += 2) {
            uint8_t* p = &yuy2[(row * w + x) * 2];
            const uint8_t y = row == 0 ? 235 : 16; // the camera's top row is white
            p[0] = y; p[1] = 128; p[2] = y; p[3] = 128;
        }
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(BuildStillImage({w, h, true, 2, false}, yuy2.data(), yuy2.size(), bmp));
    ASSERT_EQ(bmp.size(), 921654u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Get32(bmp, 2), 921654u);
    EXPECT_EQ(Get32(bmp, 10), 54u);
    EXPECT_EQ(Get32(bmp, 14), 40u);
    EXPECT_EQ(Get32(bmp, 18), 640u);
    EXPECT_EQ(Get32(bmp, 22), 480u);
    EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
    EXPECT_EQ(bmp[28] | bmp[29] << 8, 24);
    EXPECT_EQ(Get32(bmp, 30), 0u);
    // Bottom-up: the last row in memory is the top of the picture.
    EXPECT_EQ(bmp[54], 0);
    EXPECT_EQ(bmp[54 + 479 * 1920], 254);
}

TEST(StillImage, OddWidthRowsArePaddedToFourBytes)
{
    const int w = 3, h = 2;
    const uint8_t rgb[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,
                           11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(BuildStillImage({w, h, false, 3, false}, rgb, sizeof rgb, bmp));
    ASSERT_EQ(bmp.size(), 54u + 12u * 2);
    EXPECT_EQ(Get32(bmp, 2), bmp.size());
    EXPECT_EQ(bmp[54], 1);
    EXPECT_EQ(bmp[54 + 12], 11); // second row starts after the padding
    EXPECT_EQ(bmp[54 + 12 + 8], 19);
}

TEST(StillImage, MjpgBytesPassUnchangedAndShortFramesFail)
{
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 0xFF, 0xD9};
    std::vector<uint8_t> out;
    ASSERT_TRUE(BuildStillImage({640, 480, true, 2, true}, jpeg, sizeof jpeg, out));
    EXPECT_EQ(out, std::vector<uint8_t>(jpeg, jpeg + sizeof jpeg));
    std::vector<uint8_t> shortFrame(640 * 479 * 2);
    EXPECT_FALSE(BuildStillImage({640, 480, true, 2, false}, shortFrame.data(), shortFrame.size(), out));
    EXPECT_FALSE(BuildStillImage({640, 480, true, 2, false}, nullptr, 0, out));
}

TEST(CaptureFormat, ResolutionModes)
{
    struct Case { int mode, maxW, maxH; CaptureFormatChoice want; };
    const Case cases[] = {
        {1, 2592, 1944, {640, 480, false}},
        {2, 640, 480, {800, 600, false}},
        {3, 640, 480, {1024, 768, false}},
        {4, 2592, 1944, {640, 480, true}},
        {4, 1600, 1200, {1600, 1200, false}},
        {4, 2592, 1943, {2592, 1943, false}},
        {4, 3264, 2448, {640, 480, true}},
    };
    for (const Case& c : cases) {
        const CaptureFormatChoice got = ChooseCaptureFormat(c.mode, c.maxW, c.maxH);
        EXPECT_EQ(got.width, c.want.width) << c.mode;
        EXPECT_EQ(got.height, c.want.height) << c.mode;
        EXPECT_EQ(got.useStillPin, c.want.useStillPin) << c.mode;
    }
    EXPECT_EQ(Yuy2ImageSize(640, 480), 614400u);
    EXPECT_EQ(Yuy2ImageSize(1598, 2), 1600u * 2 * 2);
    EXPECT_EQ(RollAngleForRotation(1), 0);
    EXPECT_EQ(RollAngleForRotation(2), 90);
    EXPECT_EQ(RollAngleForRotation(3), 180);
    EXPECT_EQ(RollAngleForRotation(4), -90);
    EXPECT_EQ(RollAngleForRotation(9), 0);
}

} // namespace
} // namespace tamsel
