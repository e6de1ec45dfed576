// The still image from hostile frames: the first 13 bytes of an input are the
// frame's description as a camera could announce it, the rest is the frame.
//   bytes 0..3 width, 4..7 height, 8..11 bytes per pixel (little-endian,
//   signed), byte 12 flags: 1 compressed, 2 MJPG.
// Besides surviving, a built image must be what its description says.
#include "capture/FrameRules.h"

#include <cstdlib>
#include <cstring>

namespace {

int32_t Get32(const uint8_t* p)
{
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void Require(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tamsel;
    if (size < 13)
        return 0;
    FrameDesc desc;
    desc.width = Get32(data);
    desc.height = Get32(data + 4);
    desc.bytesPerPixel = Get32(data + 8);
    desc.compressed = data[12] & 1;
    desc.mjpg = data[12] & 2;
    const uint8_t* frame = data + 13;
    const size_t length = size - 13;

    std::vector<uint8_t> out;
    if (!BuildStillImage(desc, frame, length, out)) {
        Require(out.empty());
        return 0;
    }
    Require(desc.bytesPerPixel >= 0 && desc.bytesPerPixel <= kMaxFrameBits / 8 &&
            FrameSizeAllowed(desc.width, desc.height, 8 * desc.bytesPerPixel));
    if (desc.mjpg) {
        Require(out.size() == length && std::memcmp(out.data(), frame, length) == 0);
        return 0;
    }

    const int p = desc.compressed ? 3 : desc.bytesPerPixel;
    const size_t rows = static_cast<size_t>(desc.height < 0 ? -static_cast<long>(desc.height) : desc.height);
    const size_t stride = BmpStride(desc.width, p);
    Require(stride >= static_cast<size_t>(desc.width) * p && stride % 4 == 0);
    Require(out.size() == kBmpHeaderSize + stride * rows);
    Require(out[0] == 'B' && out[1] == 'M');
    Require(static_cast<uint32_t>(Get32(out.data() + 2)) == out.size());
    Require(Get32(out.data() + 18) == desc.width);
    Require(static_cast<size_t>(Get32(out.data() + 22)) == rows);
    Require((out[28] | out[29] << 8) == 8 * p);
    if (!desc.compressed) {
        // The picture's bottom row comes first, whichever way the frame runs.
        const size_t bottom = desc.height < 0 ? rows - 1 : 0;
        Require(std::memcmp(out.data() + kBmpHeaderSize, frame + stride * bottom,
                            static_cast<size_t>(desc.width) * p) == 0);
    }
    return 0;
}
