// GDI+ through its flat interface, with owning wrappers for its objects.
#pragma once

#include <windows.h>
// gdiplus.h needs min/max from somewhere; its own headers use them unqualified.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

#include <cstdint>
#include <memory>

namespace fw {

namespace gp = Gdiplus::DllExports;

struct GpImageDeleter {
    void operator()(Gdiplus::GpImage* image) const noexcept { gp::GdipDisposeImage(image); }
};
using GpImagePtr = std::unique_ptr<Gdiplus::GpImage, GpImageDeleter>;

struct GpGraphicsDeleter {
    void operator()(Gdiplus::GpGraphics* g) const noexcept { gp::GdipDeleteGraphics(g); }
};
using GpGraphicsPtr = std::unique_ptr<Gdiplus::GpGraphics, GpGraphicsDeleter>;

// A bitmap's pixels locked for reading in one format, unlocked when it goes.
class GpBitmapBits {
public:
    GpBitmapBits(Gdiplus::GpImage* image, Gdiplus::PixelFormat format) noexcept
    {
        UINT w = 0, h = 0;
        if (!image || gp::GdipGetImageWidth(image, &w) != Gdiplus::Ok ||
            gp::GdipGetImageHeight(image, &h) != Gdiplus::Ok || w == 0 || h == 0)
            return;
        const Gdiplus::GpRect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
        // Fails on an image that is not a bitmap (a metafile).
        if (gp::GdipBitmapLockBits(static_cast<Gdiplus::GpBitmap*>(image), &all, Gdiplus::ImageLockModeRead, format,
                                   &m_data) == Gdiplus::Ok)
            m_bitmap = static_cast<Gdiplus::GpBitmap*>(image);
    }
    ~GpBitmapBits()
    {
        if (m_bitmap)
            gp::GdipBitmapUnlockBits(m_bitmap, &m_data);
    }
    GpBitmapBits(const GpBitmapBits&) = delete;
    GpBitmapBits& operator=(const GpBitmapBits&) = delete;

    explicit operator bool() const noexcept { return m_bitmap != nullptr; }
    // The top row; rows lie Stride() bytes apart (negative: stored bottom-up).
    const uint8_t* Top() const noexcept { return static_cast<const uint8_t*>(m_data.Scan0); }
    INT Stride() const noexcept { return m_data.Stride; }
    UINT Width() const noexcept { return m_data.Width; }
    UINT Height() const noexcept { return m_data.Height; }

private:
    Gdiplus::GpBitmap* m_bitmap = nullptr;
    Gdiplus::BitmapData m_data{};
};

// A copy of `image` stretched to w x h, as a window would draw it; null when
// there is no image or no memory.
inline GpImagePtr ScaledCopy(Gdiplus::GpImage* image, UINT w, UINT h)
{
    if (!image)
        return {};
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(static_cast<INT>(w), static_cast<INT>(h), 0, PixelFormat32bppPARGB, nullptr,
                                      &bitmap) != Gdiplus::Ok)
        return {};
    GpImagePtr copy(bitmap);
    Gdiplus::GpGraphics* raw = nullptr;
    if (gp::GdipGetImageGraphicsContext(copy.get(), &raw) != Gdiplus::Ok)
        return {};
    GpGraphicsPtr graphics(raw);
    if (gp::GdipDrawImageRectI(graphics.get(), image, 0, 0, static_cast<INT>(w), static_cast<INT>(h)) != Gdiplus::Ok)
        return {};
    return copy;
}

} // namespace fw
