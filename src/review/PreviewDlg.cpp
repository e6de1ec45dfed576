#include "review/PreviewDlg.h"

#include "resources/resource.h"
#include "shell/Messages.h"

namespace tamsel {

CPreviewDlg::CPreviewDlg() : fw::Dialog(IDD_PREVIEW_DIALOG) {}

void CPreviewDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Hwnd(), &ps);
    ::OutputDebugStringW(L"CPreviewDlg::OnPaint\n");
    if (m_nViewMode == 1) {
        RECT client;
        ::GetClientRect(Hwnd(), &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::PostMessageW(m_hNotifyWnd, UM_PREVIEW_PAINTED, 0, 0);
    } else if (m_nViewMode != 2) {
        ::OutputDebugStringW(L"Onknown mode\n");
    }
    ::EndPaint(Hwnd(), &ps);
}

bool CPreviewDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_ERASEBKGND:
        result = TRUE;
        return true;
    case WM_MOUSEMOVE:
        if (wp == MK_LBUTTON) { // dragging inside the viewer moves the main window
            ::ReleaseCapture();
            ::SendMessageW(::GetParent(Hwnd()), WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace tamsel
