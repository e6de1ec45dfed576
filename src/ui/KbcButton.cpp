#include "ui/KbcButton.h"

namespace tamsel {

void CKbcButton::SetImages(Gdiplus::GpImage* normal, Gdiplus::GpImage* pressed)
{
    m_pNormal = normal;
    m_pPressed = pressed;
    Repaint();
}

void CKbcButton::Repaint()
{
    if (Hwnd())
        ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CKbcButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    Gdiplus::GpImage* image = (item.itemState & ODS_SELECTED) ? m_pPressed : m_pNormal;
    if (!image)
        return;
    RECT r;
    if (!::GetWindowRect(Hwnd(), &r))
        return;
    Gdiplus::GpGraphics* raw = nullptr;
    if (fw::gp::GdipCreateFromHDC(item.hDC, &raw) != Gdiplus::Ok)
        return;
    fw::GpGraphicsPtr graphics(raw);
    fw::gp::GdipDrawImageRectI(graphics.get(), image, 0, 0, r.right - r.left, r.bottom - r.top);
}

void CKbcButton::EraseBelow(HDC dc)
{
    HWND parent = ::GetParent(Hwnd());
    if (!dc || !parent)
        return;
    // The parent draws in its own client coordinates: the context's origin
    // moves to where the button sits in it, and back.
    POINT at{0, 0};
    ::MapWindowPoints(Hwnd(), parent, &at, 1);
    POINT old{};
    ::OffsetViewportOrgEx(dc, -at.x, -at.y, &old);
    ::SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    ::SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

bool CKbcButton::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!m_nTracking) {
            TRACKMOUSEEVENT tme{sizeof tme, TME_HOVER | TME_LEAVE, Hwnd(), 1};
            m_nTracking = ::TrackMouseEvent(&tme);
        }
        return false; // the push button's own handling follows
    case WM_MOUSEHOVER:
        m_nHover = 1;
        ::InvalidateRect(Hwnd(), nullptr, TRUE);
        result = 0;
        return true;
    case WM_MOUSELEAVE:
        m_nTracking = 0;
        m_nHover = 0;
        ::InvalidateRect(Hwnd(), nullptr, TRUE);
        result = 0;
        return true;
    case WM_ERASEBKGND:
        EraseBelow(reinterpret_cast<HDC>(wp));
        result = TRUE;
        return true;
    default:
        return false;
    }
}

} // namespace tamsel
