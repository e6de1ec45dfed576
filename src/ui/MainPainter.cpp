#include "ui/MainPainter.h"

#include "framework/Handles.h"
#include "framework/Messages.h"

namespace tamsel {

namespace {

// Black box; with `notice`, white "No Picture" on it in the context's own font.
void DrawThumbnailBox(HDC dc, const RECT& r, bool notice)
{
    ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    if (!notice)
        return;
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::SetBkMode(dc, TRANSPARENT);
    static const wchar_t kText[] = L"No Picture";
    ::TextOutW(dc, r.left + (r.right - r.left) / 2 - 30, r.top + (r.bottom - r.top) / 2 - 10, kText,
               static_cast<int>(wcslen(kText)));
}

void PaintMinimised(const MainPaint& paint)
{
    fw::PaintDC dc(paint.window);
    ::SendMessageW(paint.window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
    RECT client;
    ::GetClientRect(paint.window, &client);
    const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
    if (paint.icon)
        ::DrawIcon(dc.get(), (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, paint.icon);
}

} // namespace

RECT ChildRect(HWND parent, HWND child)
{
    RECT r{};
    if (child && ::GetWindowRect(child, &r))
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void PaintMainWindow(const MainPaint& paint, const CSkinImages& skin, MainButtons& buttons)
{
    if (::IsIconic(paint.window)) {
        PaintMinimised(paint);
        return;
    }
    { fw::PaintDC validate(paint.window); }
    if (!skin.SlotFilled(kSkinBackground))
        return;

    {
        // The whole window, children included, not just the invalid part.
        fw::WindowDC dc(paint.window, true);
        if (!dc)
            return;
        PaintMainBackground(dc.get(), paint, skin, buttons);
        if (paint.thumbnail)
            buttons.thumb.Repaint();
    }
    for (CKbcButton* b : {&buttons.left, &buttons.right, &buttons.mode, &buttons.close, &buttons.setup,
                          &buttons.capture, &buttons.del})
        b->Repaint();
    ::PostMessageW(paint.window, UM_GPS_ICON, 0, 0);
    if (paint.mode == 2 && paint.viewer)
        ::InvalidateRect(paint.viewer, nullptr, TRUE);
}

void PaintMainBackground(HDC dc, const MainPaint& paint, const CSkinImages& skin, const MainButtons& buttons)
{
    if (!dc || !skin.SlotFilled(kSkinBackground))
        return;
    {
        Gdiplus::GpGraphics* raw = nullptr;
        if (fw::gp::GdipCreateFromHDC(dc, &raw) != Gdiplus::Ok)
            return;
        fw::GpGraphicsPtr graphics(raw);
        RECT window;
        ::GetWindowRect(paint.window, &window);
        if (Gdiplus::GpImage* background = skin.Image(kSkinBackground))
            fw::gp::GdipDrawImageRectI(graphics.get(), background, 0, 0, window.right - window.left,
                                       window.bottom - window.top);
        // GDI draws next into the same context: GDI+ must be done with it.
        fw::gp::GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
    }
    DrawThumbnailBox(dc, ChildRect(paint.window, buttons.thumb.Hwnd()), !paint.thumbnail);
}

void DrawEmptyThumbnail(HWND mainWindow, const RECT& thumbRectInClient)
{
    fw::WindowDC dc(mainWindow);
    if (dc)
        DrawThumbnailBox(dc.get(), thumbRectInClient, true);
}

} // namespace tamsel
