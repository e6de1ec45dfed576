// Frame and format rules of the capture engine that need no DirectShow: the
// capture size per resolution mode, YUY2 to BGR conversion and the still
// image a snapshot hands on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamsel {

struct CaptureFormatChoice {
    int width = 0;
    int height = 0;
    bool useStillPin = false; // snapshots come from the camera's still pin
};

constexpr long kMaxFrameSide = 16384;
constexpr int kMaxFrameBits = 32;

// A frame size a camera may announce: each side 1..16384 (a negative height,
// a top-down frame, counts by its magnitude) and at most 32 bits per pixel.
bool FrameSizeAllowed(long width, long height, int bitsPerPixel);

// Resolution modes 1 VGA, 2 SVGA, 3 XVGA, 4 native. For mode 4 the largest
// width and height over the capture pin's capabilities (taken separately)
// decide: cameras reaching 2592 x 1944 preview at VGA and snapshot through
// the still pin; others preview and snapshot at their largest size. A largest
// size that is not an allowed upright frame size (1..16384 each) gives 0 x 0:
// there is no native size to apply.
CaptureFormatChoice ChooseCaptureFormat(int resMode, int maxWidth, int maxHeight);

// Bytes of a YUY2 image, rows rounded up to a multiple of four pixels; 0 for
// a size that FrameSizeAllowed refuses.
uint32_t Yuy2ImageSize(int width, int height);

// The YUY2 converter Yuy2ToBgrRow uses in this process, named as
// TAMSEL_YUY2_SIMD names it: "avx2", "ssse3" or "none" (the formula alone).
const char* Yuy2PathInUse();

// Converts `pixels` YUY2 pixels to 24-bit BGR. Each value is computed in
// double precision, truncated toward zero and limited to 0..255:
//   R = 1.164(Y-16) + 1.596(V-128)
//   G = 1.164(Y-16) - 0.391(U-128) - 0.813(V-128)
//   B = 1.164(Y-16) + 2.018(U-128)
// With an odd count the last pixel is left as it is.
void Yuy2ToBgrRow(int pixels, uint8_t* dst, const uint8_t* src);

// What the frame grabber knows about the frames it passes on.
struct FrameDesc {
    int width = 0;
    int height = 0;          // negative for top-down rows
    bool compressed = false; // neither uncompressed RGB nor bit fields
    int bytesPerPixel = 0;   // bit count / 8: 0 below 8 bits per pixel
    bool mjpg = false;
};

constexpr size_t kBmpHeaderSize = 54;

// Bytes per BMP pixel row: rows are padded to four bytes. 0 unless the width
// is 1..16384 and the pixel 1..4 bytes.
size_t BmpStride(int width, int bytesPerPixel);

// The image a still capture returns: MJPG frames unchanged, everything else
// as a BMP file image with bottom-up rows padded to four bytes. Compressed
// frames other than MJPG are YUY2 (top-down rows of width * 2 bytes, whatever
// the height's sign) and are converted to 24-bit BGR; uncompressed frames are
// DIB rows, bottom-up or, with a negative height, top-down, and are passed on
// upright. False, with nothing allocated, for a description outside
// FrameSizeAllowed (bit count 8 * bytesPerPixel) and for a frame that carries
// no picture: no bytes, or uncompressed below 8 bits per pixel. False too
// when the frame is too short for its description.
bool BuildStillImage(const FrameDesc& desc, const uint8_t* frame, size_t length,
                     std::vector<uint8_t>& out);

// Roll angle in degrees for a rotation code: 2 -> 90, 3 -> 180, 4 -> -90,
// anything else 0.
int RollAngleForRotation(int code);

} // namespace tamsel
