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

} // namespace fw
