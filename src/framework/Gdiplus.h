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
