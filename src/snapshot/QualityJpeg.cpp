#include "snapshot/QualityJpeg.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

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

bool Encode(const uint8_t* rgb, int width, int height, int quality, std::vector<uint8_t>& out)
{
    out.clear();
    try {
        // About a third of the packed size at quality 100 on a page; growth
        // beyond that is geometric.
        out.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    Sink sink{&out, false};
    const int ok = stbi_write_jpg_to_func(&Append, &sink, width, height, 3, rgb, quality);
    if (!ok || sink.failed) {
        out.clear();
        return false;
    }
    return true;
}

// Where the entropy-coded data of the library's output starts (after its SOS
// segment) and where its frame header is; the data runs to the EOI that
// ends the file.
struct Layout {
    size_t frame = 0; // offset of the SOF0 marker
    size_t scan = 0;  // offset of the SOS marker
    size_t data = 0;  // first byte after the SOS segment
};

bool LayoutOf(const std::vector<uint8_t>& j, Layout& l)
{
    size_t at = 2;
    while (at + 4 <= j.size() && j[at] == 0xFF) {
        const uint8_t marker = j[at + 1];
        const size_t length = static_cast<size_t>(j[at + 2] << 8 | j[at + 3]);
        if (marker == 0xC0)
            l.frame = at;
        if (marker == 0xDA) {
            l.scan = at;
            l.data = at + 2 + length;
            return l.frame != 0 && l.data + 2 <= j.size() && j[j.size() - 2] == 0xFF && j[j.size() - 1] == 0xD9;
        }
        at += 2 + length;
    }
    return false;
}

} // namespace

int QualityJpegBands(int width, int height, int quality, int bandMcuRows, unsigned processors)
{
    const int mcu = quality <= 90 ? 16 : 8; // the library subsamples at 90 and below
    const int mcuRows = (height + mcu - 1) / mcu;
    const long mcusPerRow = (width + mcu - 1) / mcu;
    if (bandMcuRows < 0)
        return 1;
    if (bandMcuRows == 0) {
        // Two bands on two processors or more, for pictures where a thread
        // pays for itself.
        if (processors < 2 || static_cast<long>(width) * height < 512 * 512)
            return 1;
        bandMcuRows = (mcuRows + 1) / 2;
    }
    // The restart interval that joins the bands counts MCUs in 16 bits.
    const long fit = 0xFFFF / mcusPerRow;
    if (fit < 1)
        return 1;
    return (mcuRows + static_cast<int>(std::min<long>(bandMcuRows, fit)) - 1) /
           static_cast<int>(std::min<long>(bandMcuRows, fit));
}

bool EncodeQualityJpeg(const uint8_t* top, int width, int height, std::ptrdiff_t stride, int quality,
                       std::vector<uint8_t>& rgb, std::vector<uint8_t>& jpeg, int bandMcuRows)
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
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int mcu = quality <= 90 ? 16 : 8;
    const int bands = QualityJpegBands(width, height, quality, bandMcuRows, std::thread::hardware_concurrency());
    const int mcuRows = (height + mcu - 1) / mcu;
    const int bandRows = (mcuRows + bands - 1) / bands * mcu; // pixel rows of every band but the last

    // Each band: its rows made top-down RGB without padding, as the library
    // reads them, then coded on its own. Blocks never straddle two bands, so
    // the bands' blocks are the whole picture's.
    std::vector<std::vector<uint8_t>> parts(static_cast<size_t>(bands));
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto work = [&]() noexcept {
        for (int b; (b = next.fetch_add(1)) < bands && !failed.load();) {
            const int y0 = b * bandRows, y1 = std::min(height, y0 + bandRows);
            for (int y = y0; y < y1; ++y) {
                const uint8_t* s = top + stride * static_cast<std::ptrdiff_t>(y);
                uint8_t* d = rgb.data() + rowBytes * static_cast<size_t>(y);
                for (int x = 0; x < width; ++x, s += 3, d += 3) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                }
            }
            if (!Encode(rgb.data() + rowBytes * static_cast<size_t>(y0), width, y1 - y0, quality,
                        parts[static_cast<size_t>(b)]))
                failed = true;
        }
    };
    std::thread helper;
    if (bands > 1) {
        try {
            helper = std::thread(work);
        } catch (const std::system_error&) {
            // No second thread: this one codes every band.
        }
    }
    work();
    if (helper.joinable())
        helper.join();
    if (failed)
        return false;
    if (bands == 1) {
        jpeg.swap(parts[0]);
        return true;
    }

    // One file: the first band's header with the whole height, a restart
    // interval of one band, and the bands' data each after a restart marker.
    // Each band's data starts with its DC predictions at zero and ends padded
    // with one bits, as a restart interval does.
    std::vector<Layout> layouts(parts.size());
    size_t total = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!LayoutOf(parts[i], layouts[i]))
            return false;
        total += parts[i].size() - layouts[i].data;
    }
    const uint32_t interval = static_cast<uint32_t>(bandRows / mcu) * static_cast<uint32_t>((width + mcu - 1) / mcu);
    try {
        const std::vector<uint8_t>& first = parts[0];
        jpeg.reserve(layouts[0].data + 6 + total + 2 * parts.size());
        jpeg.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(layouts[0].scan));
        // SOF0: marker, length, precision, then the height.
        jpeg[layouts[0].frame + 5] = static_cast<uint8_t>(height >> 8);
        jpeg[layouts[0].frame + 6] = static_cast<uint8_t>(height);
        const uint8_t dri[] = {0xFF, 0xDD, 0x00, 0x04, static_cast<uint8_t>(interval >> 8), static_cast<uint8_t>(interval)};
        jpeg.insert(jpeg.end(), dri, dri + sizeof dri);
        jpeg.insert(jpeg.end(), first.begin() + static_cast<std::ptrdiff_t>(layouts[0].scan),
                    first.begin() + static_cast<std::ptrdiff_t>(layouts[0].data));
        for (size_t i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                jpeg.push_back(0xFF);
                jpeg.push_back(static_cast<uint8_t>(0xD0 + (i - 1) % 8));
            }
            jpeg.insert(jpeg.end(), parts[i].begin() + static_cast<std::ptrdiff_t>(layouts[i].data), parts[i].end() - 2);
        }
        jpeg.push_back(0xFF);
        jpeg.push_back(0xD9);
    } catch (const std::bad_alloc&) {
        jpeg.clear();
        return false;
    }
    return true;
}

} // namespace tamsel
