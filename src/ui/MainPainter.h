// Painting of the main window: the skin background stretched over the whole
// window (children included: the window does not clip them), the thumbnail's
// black box, and the buttons asked to draw themselves over it.
#pragma once

#include <windows.h>

#include "framework/Gdiplus.h"
#include "ui/MainButtons.h"
#include "ui/SkinImages.h"

namespace tamsel {

struct MainPaint {
    HWND window = nullptr;
    HWND viewer = nullptr;                // the picture viewer, or null
    HICON icon = nullptr;                 // drawn while minimised
    Gdiplus::GpImage* thumbnail = nullptr; // the current picture's, or null
    int mode = 1;
};

// WM_PAINT.
void PaintMainWindow(const MainPaint& paint, const CSkinImages& skin, MainButtons& buttons);
// The skin background and the thumbnail's box into `dc` (window
// coordinates): the painting, and WM_PRINTCLIENT, which an image button
// sends to erase below itself.
void PaintMainBackground(HDC dc, const MainPaint& paint, const CSkinImages& skin, const MainButtons& buttons);

// The empty-thumbnail notice: the box filled black and "No Picture" in white
// over it, drawn at once outside painting.
void DrawEmptyThumbnail(HWND mainWindow, const RECT& thumbRectInClient);

// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child);

} // namespace tamsel
