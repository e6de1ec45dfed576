#include "snapshot/QualityJpeg.h"

#include <cstring>
#include <new>

// The implementation lives in this file alone; nothing of it is exported and
// no file is written.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STBIW_ASSERT(x) ((void)0)
#include <stb_image_write.h>

namespace tamsel {

namespace {

struct Sink {
    std::vector<uint8_t>* out;
    bool failed;
};

void Append(void* context, void* data, int size)
{
    auto* sink = static_cast<Sink*>(context);
    if (sink->failed || size <= 0)
        return;
    // The library is C and must not be unwound through: an allocation that
    // fails is noted and the rest of its output dropped.
    try {
        const auto* bytes = static_cast<const uint8_t*>(data);
        sink->out->insert(sink->out->end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        sink->failed = true;
    }
}

} // namespace

bool EncodeQualityJpeg(const uint8_t* top, int width, int height, std::ptrdiff_t stride, int quality,
                       std::vector<uint8_t>& rgb, std::vector<uint8_t>& jpeg)
{
    jpeg.clear();
    // A baseline frame header holds 16-bit sides; the library indexes the
    // packed rows with an int.
    if (!top || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3 > 0x7FFFFFFFu || quality < 1 ||
        quality > 100)
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    try {
        rgb.resize(rowBytes * static_cast<size_t>(height));
        // Output about a third of the packed size at quality 100 on a page;
        // growth beyond that is geometric.
        jpeg.reserve(rgb.size() / 3);
    } catch (const std::bad_alloc&) {
        jpeg.clear();
        return false;
    }
    // Top-down RGB rows without padding, as the library reads them.
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = top + stride * static_cast<std::ptrdiff_t>(y);
        uint8_t* d = rgb.data() + rowBytes * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x, s += 3, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    Sink sink{&jpeg, false};
    const int ok = stbi_write_jpg_to_func(&Append, &sink, width, height, 3, rgb.data(), quality);
    if (!ok || sink.failed) {
        jpeg.clear();
        return false;
    }
    return true;
}

} // namespace tamsel
