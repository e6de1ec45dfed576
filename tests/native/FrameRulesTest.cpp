#include "capture/FrameRules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Widths at and around each hand-over between the vector steps (32 pixels
// on AVX2, 16 on SSSE3) and the formula's pairs, on arbitrary bytes: about
// one pixel in 140 is a tie that the vector paths hand back to the formula.
TEST(Yuy2ToBgr, RowsAcrossEveryPathHandOverMatchTheFormula)
{
    const int widths[] = {1, 2, 3, 15, 16, 17, 18, 31, 32, 33, 34, 47, 48, 49, 50,
                          63, 64, 65, 66, 80, 97, 113};
    uint32_t seed = 12345;
    for (int w : widths) {
        for (int row = 0; row < 64; ++row) {
            // Exactly sized, so a read or write past the row is caught.
            std::vector<uint8_t> src(2 * static_cast<size_t>(w));
            std::vector<uint8_t> dst(3 * static_cast<size_t>(w), 0xA5);
            for (uint8_t& b : src) {
                seed = seed * 1664525u + 1013904223u;
                b = static_cast<uint8_t>(seed >> 24);
            }
            Yuy2ToBgrRow(w, dst.data(), src.data());
            long mismatches = 0;
            for (int x = 0; x < w - w % 2; ++x) {
                const uint8_t* pair = &src[4 * (x / 2)];
                uint8_t ref[3];
                RefPixel(src[2 * x], pair[1], pair[3], ref);
                for (int ch = 0; ch < 3; ++ch)
                    if (dst[3 * x + ch] != ref[ch] && ++mismatches <= 3)
                        ADD_FAILURE() << "width " << w << " row " << row << " pixel " << x << " channel " << ch;
            }
            if (w % 2) { // the unpaired last pixel is left alone
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_EQ(dst[3 * (w - 1) + ch], 0xA5) << "width " << w;
            }
        }
    }
}

// Each CTest run of the conversion asks for a path through TAMSEL_YUY2_SIMD;
// this checks that the one asked for is the one that ran, using the
// compiler's own processor query rather than the converter's.
TEST(Yuy2ToBgr, RunsThePathAskedFor)
{
    const char* asked = std::getenv("TAMSEL_YUY2_SIMD");
    const std::string wanted = asked ? asked : "avx2";
#if defined(__x86_64__) && defined(__GNUC__)
    const bool avx2 = __builtin_cpu_supports("avx2");
    const bool ssse3 = __builtin_cpu_supports("ssse3");
#else
    const bool avx2 = false, ssse3 = false;
#endif
    std::string expected = "none";
    if (wanted == "avx2" && avx2)
        expected = "avx2";
    else if ((wanted == "avx2" || wanted == "ssse3") && ssse3)
        expected = "ssse3";
    EXPECT_STREQ(Yuy2PathInUse(), expected.c_str());
    if (expected != wanted)
        GTEST_SKIP() << "this processor has no " << wanted << ": the conversion tests of this run took the "
                     << expected << " path";
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

TEST(FrameBounds, SidesAndBitCountOfAnAnnouncedFrame)
{
    struct Case { long w, h; int bits; bool allowed; };
    const Case cases[] = {
        {16384, 16384, 32, true},  {16385, 1, 24, false},     {1, 16385, 24, false},
        {1, -16384, 24, true},     {1, -16385, 24, false},    {640, -480, 16, true},
        {1, 1, 0, true},           {1, 1, 33, false},         {1, 1, -8, false},
        {0, 480, 24, false},       {640, 0, 24, false},       {-640, 480, 24, false},
        {65536, 65537, 32, false}, // 2^34 + 2^18 bytes: 2^18 once wrapped to 32 bits
        {LONG_MAX, 1, 24, false},  {1, LONG_MIN, 24, false},  {LONG_MIN, LONG_MIN, INT_MIN, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FrameSizeAllowed(c.w, c.h, c.bits), c.allowed) << c.w << " x " << c.h << " x " << c.bits;
}

TEST(FrameBounds, SizesAreExactInsideAndZeroOutside)
{
    struct Case { int w, h; uint32_t yuy2; };
    const Case yuy2[] = {
        {640, 480, 614400},  {640, -480, 614400}, {16384, 16384, 536870912u}, {16381, 1, 16384 * 2},
        {16385, 1, 0},       {1, 16385, 0},       {0, 480, 0},                {-4, 480, 0},
        {46341, 46341, 0},   // the square's bytes pass 2^32
        {INT_MAX, INT_MAX, 0}, {INT_MIN, 2, 0},
    };
    for (const Case& c : yuy2)
        EXPECT_EQ(Yuy2ImageSize(c.w, c.h), c.yuy2) << c.w << " x " << c.h;

    struct StrideCase { int w, p; size_t stride; };
    const StrideCase strides[] = {
        {16384, 4, 65536}, {16383, 3, 49152}, {1, 1, 4},  {3, 3, 12},
        {16385, 1, 0},     {0, 3, 0},         {-1, 3, 0}, {INT_MIN, 4, 0},
        {3, 0, 0},         {3, 5, 0},         {3, -1, 0}, {INT_MAX, INT_MAX, 0},
    };
    for (const StrideCase& c : strides)
        EXPECT_EQ(BmpStride(c.w, c.p), c.stride) << c.w << " x " << c.p;
}

// Descriptions a hostile or broken camera may announce, each with a frame
// long enough for what it claims (capped where that would be absurd): the
// ones outside the bounds fail before anything is allocated.
TEST(StillImage, DescriptionsOutsideTheBoundsFail)
{
    struct Case { FrameDesc desc; size_t length; bool built; };
    const Case cases[] = {
        {{16384, 1, false, 4, false}, 65536, true},
        {{16385, 1, false, 4, false}, 65540, false},
        {{1, 16384, false, 3, false}, 16384 * 4, true},
        {{1, 16385, false, 3, false}, 16385 * 4, false},
        {{4, -16385, false, 3, false}, 16385 * 12, false},
        {{16384, 2, true, 2, false}, 65536, true},
        {{16385, 2, true, 2, false}, 65540, false},
        {{4, 2, false, 5, false}, 4 * 2 * 5, false}, // 40 bits a pixel
        {{4, 2, false, -3, false}, 64, false},
        {{4, 2, true, INT_MAX, false}, 64, false},  // 8 * bytes per pixel overflows an int
        {{4, 2, true, INT_MIN, false}, 64, false},
        {{65536, 65537, false, 4, false}, 1 << 20, false}, // 2^18 bytes once wrapped to 32 bits
        {{INT_MAX, INT_MAX, false, 4, false}, 1 << 20, false},
        {{1 << 25, 1 << 25, false, 1 << 24, false}, 64, false}, // 2^74 bytes, 0 once wrapped to 64 bits
        {{INT_MIN, INT_MIN, true, 2, false}, 1 << 20, false},
        {{0, 480, false, 3, false}, 1 << 20, false},
        {{640, 0, true, 2, false}, 1 << 20, false},
        {{100000, 100000, true, 2, true}, 16, false}, // MJPG bytes pass only under an allowed size
        {{640, -480, true, 3, true}, 16, true},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> frame(c.length, 0x80);
        std::vector<uint8_t> out;
        EXPECT_EQ(BuildStillImage(c.desc, frame.data(), frame.size(), out), c.built)
            << c.desc.width << " x " << c.desc.height << " x " << c.desc.bytesPerPixel << (c.desc.compressed ? " compressed" : "");
        if (!c.built) {
            EXPECT_EQ(out.capacity(), 0u) << c.desc.width << " x " << c.desc.height;
        }
    }
}

// A frame with no picture in it fails the capture rather than becoming an
// image with a header and nothing else.
TEST(StillImage, FramesWithoutAPictureFail)
{
    const uint8_t bytes[64] = {0xFF, 0xD8};
    std::vector<uint8_t> out;
    EXPECT_FALSE(BuildStillImage({640, 480, true, 3, true}, bytes, 0, out)); // empty MJPG sample
    EXPECT_FALSE(BuildStillImage({640, 480, true, 3, true}, nullptr, 0, out));
    // 1 and 4 bits a pixel: bytesPerPixel 0, though the frame is long enough.
    EXPECT_FALSE(BuildStillImage({8, 8, false, 0, false}, bytes, sizeof bytes, out));
    EXPECT_FALSE(BuildStillImage({16, 8, false, 0, false}, bytes, sizeof bytes, out));
    EXPECT_TRUE(out.empty());
    // The smallest picture there is still makes an image.
    ASSERT_TRUE(BuildStillImage({1, 1, false, 1, false}, bytes + 1, 4, out));
    EXPECT_EQ(out.size(), 58u);
    EXPECT_EQ(out[54], 0xD8);
}

// A negative height marks top-down rows: uncompressed ones are turned
// upright; YUY2 rows are top-down whatever the sign, so both signs give the
// same image.
TEST(StillImage, TopDownFramesComeOutUpright)
{
    const uint8_t topDownRgb[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,       // top row
                                  11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0}; // bottom row
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(BuildStillImage({3, -2, false, 3, false}, topDownRgb, sizeof topDownRgb, bmp));
    ASSERT_EQ(bmp.size(), 54u + 24u);
    EXPECT_EQ(Get32(bmp, 22), 2u); // stored bottom-up, as every image here
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.end()),
              std::vector<uint8_t>({11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0,
                                    1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}));

    const uint8_t yuy2[] = {235, 128, 235, 128, 16, 128, 16, 128}; // white row over black
    std::vector<uint8_t> up, down;
    ASSERT_TRUE(BuildStillImage({2, 2, true, 2, false}, yuy2, sizeof yuy2, up));
    ASSERT_TRUE(BuildStillImage({2, -2, true, 2, false}, yuy2, sizeof yuy2, down));
    EXPECT_EQ(up, down);
    EXPECT_EQ(up[54], 0);         // bottom row: black
    EXPECT_EQ(up[54 + 8], 254);   // top row: white
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
        {4, 16384, 16384, {640, 480, true}},
        {4, 16384, 1200, {16384, 1200, false}},
        // No native size to apply: the largest is not a frame a camera may have.
        {4, 16385, 12000, {0, 0, false}},
        {4, 2592, 16385, {0, 0, false}},
        {4, 0, 0, {0, 0, false}},
        {4, 1600, -1200, {0, 0, false}},
        {4, INT_MAX, INT_MAX, {0, 0, false}},
        {1, 0, 0, {640, 480, false}},
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
