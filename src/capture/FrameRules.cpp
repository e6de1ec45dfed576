#include "capture/FrameRules.h"

#include <cstring>

namespace tamsel {

CaptureFormatChoice ChooseCaptureFormat(int resMode, int maxWidth, int maxHeight)
{
    switch (resMode) {
    case 1: return {640, 480, false};
    case 2: return {800, 600, false};
    case 3: return {1024, 768, false};
    default:
        if (maxWidth >= 2592 && maxHeight >= 1944)
            return {640, 480, true};
        return {maxWidth, maxHeight, false};
    }
}

uint32_t Yuy2ImageSize(int width, int height)
{
    return (static_cast<uint32_t>(width + 3) & ~3u) * static_cast<uint32_t>(height) * 2u;
}

namespace {

// The per-value terms of the conversion, each exactly the double the formula
// computes, so a sum of table entries equals the formula's own arithmetic.
struct Yuy2Tables {
    double luma[256];  // 1.164 * (Y - 16)
    double rFromV[256]; // 1.596 * (V - 128)
    double gFromU[256]; // 0.391 * (U - 128)
    double gFromV[256]; // 0.813 * (V - 128)
    double bFromU[256]; // 2.018 * (U - 128)

    Yuy2Tables()
    {
        for (int i = 0; i < 256; ++i) {
            luma[i] = 1.164 * (i - 16);
            rFromV[i] = 1.596 * (i - 128);
            gFromU[i] = 0.391 * (i - 128);
            gFromV[i] = 0.813 * (i - 128);
            bFromU[i] = 2.018 * (i - 128);
        }
    }
};

const Yuy2Tables& Tables()
{
    static const Yuy2Tables tables;
    return tables;
}

inline uint8_t Limit(double value)
{
    const int v = static_cast<int>(value); // truncates toward zero
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

void Yuy2ToBgrRow(int pixels, uint8_t* dst, const uint8_t* src)
{
    const Yuy2Tables& t = Tables();
    for (int pair = 0; pair < pixels / 2; ++pair, src += 4, dst += 6) {
        const double c0 = t.luma[src[0]];
        const double c1 = t.luma[src[2]];
        const double r = t.rFromV[src[3]];
        const double gu = t.gFromU[src[1]];
        const double gv = t.gFromV[src[3]];
        const double b = t.bFromU[src[1]];
        dst[0] = Limit(c0 + b);
        dst[1] = Limit(c0 - gu - gv);
        dst[2] = Limit(c0 + r);
        dst[3] = Limit(c1 + b);
        dst[4] = Limit(c1 - gu - gv);
        dst[5] = Limit(c1 + r);
    }
}

size_t BmpStride(int width, int bytesPerPixel)
{
    return (static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel) + 3) & ~size_t{3};
}

namespace {

void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

} // namespace

bool BuildStillImage(const FrameDesc& desc, const uint8_t* frame, size_t length,
                     std::vector<uint8_t>& out)
{
    if (!frame || length == 0)
        return false;
    if (desc.mjpg) {
        out.assign(frame, frame + length);
        return true;
    }
    const int w = desc.width;
    const int h = desc.height;
    const int p = desc.compressed ? 3 : desc.bytesPerPixel;
    if (w <= 0 || h <= 0 || p <= 0)
        return false;
    const size_t stride = BmpStride(w, p);
    const size_t pixelBytes = stride * static_cast<size_t>(h);
    const size_t srcStride = desc.compressed ? static_cast<size_t>(w) * 2 : stride;
    if (length < srcStride * static_cast<size_t>(h))
        return false;

    out.assign(kBmpHeaderSize + pixelBytes, 0);
    uint8_t* hdr = out.data();
    hdr[0] = 'B';
    hdr[1] = 'M';
    Put32(hdr + 2, static_cast<uint32_t>(out.size()));
    Put32(hdr + 10, kBmpHeaderSize);
    Put32(hdr + 14, 40);
    Put32(hdr + 18, static_cast<uint32_t>(w));
    Put32(hdr + 22, static_cast<uint32_t>(h));
    Put16(hdr + 26, 1);
    Put16(hdr + 28, static_cast<uint32_t>(8 * p));

    uint8_t* pixels = out.data() + kBmpHeaderSize;
    for (int row = 0; row < h; ++row) {
        uint8_t* dst = pixels + stride * static_cast<size_t>(row);
        if (desc.compressed) {
            // The camera's rows run top-down; the BMP's run bottom-up.
            Yuy2ToBgrRow(w, dst, frame + srcStride * static_cast<size_t>(h - 1 - row));
        } else {
            std::memcpy(dst, frame + srcStride * static_cast<size_t>(row),
                        static_cast<size_t>(w) * static_cast<size_t>(p));
        }
    }
    return true;
}

int RollAngleForRotation(int code)
{
    switch (code) {
    case 2: return 90;
    case 3: return 180;
    case 4: return -90;
    default: return 0;
    }
}

} // namespace tamsel
