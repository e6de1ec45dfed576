// A JPEG encoder that honours the quality it is given (stb_image_write), for
// systems whose image library ignores it (Wine's GDI+ writes quality 75
// whatever it is asked). Pure: pixels in, bytes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamsel {

// The w x h picture whose 24-bit BGR rows start at `top` (its upper row) and
// lie `stride` bytes apart (negative for rows stored bottom-up), as a
// baseline JFIF file at `quality` (1..100). Above 90 the colour keeps every
// pixel (4:4:4); at 90 and below it is halved both ways (4:2:0). `rgb` is working memory, kept by the caller
// between pictures: a fresh buffer of a large frame costs more than the copy
// into it. False, with `jpeg` empty, when the sizes cannot be encoded or
// memory runs out.
//
// On two processors or more a large picture is coded in two bands of whole
// block rows at once, one on a thread of its own, joined by a restart marker
// into one file (the blocks are the same; only the DC prediction starts anew
// at the band's edge). `bandMcuRows` > 0 asks for bands of that many block
// rows whatever the processors, < 0 for one band on this thread (tests and
// benchmarks); a band never holds more blocks than a restart interval can
// count (65535).
bool EncodeQualityJpeg(const uint8_t* top, int width, int height, std::ptrdiff_t stride, int quality,
                       std::vector<uint8_t>& rgb, std::vector<uint8_t>& jpeg, int bandMcuRows = 0);

// How many bands such a picture is coded in.
int QualityJpegBands(int width, int height, int quality, int bandMcuRows, unsigned processors);

} // namespace tamsel
