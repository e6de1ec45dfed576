#include "ui/AppDescriptionDlg.h"

#include <cwchar>
#include <vector>

#include "framework/Handles.h"
#include "resources/resource.h"

namespace tamsel {

namespace {

constexpr int kWindowSide = 600;
constexpr int kCloseX = 530, kCloseY = 10, kCloseSide = 30;
constexpr int kShapeInset = 5, kShapeCorner = 33;
constexpr int kLogoX = 150, kLogoY = 100, kLogoW = 300, kLogoH = 150;
constexpr int kTextX = 40, kVersionY = 400, kDescriptionY = 470;

// The four parts of this executable's file version, "1.0.0.0" when it has
// no readable version resource. Sized for the widest possible text
// ("65535.65535.65535.65535"), so no number is ever cut.
std::wstring ReadFileVersion()
{
    wchar_t path[MAX_PATH] = {};
    if (::GetModuleFileNameW(nullptr, path, MAX_PATH) == 0)
        return L"1.0.0.0";
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return L"1.0.0.0";
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path, 0, size, block.data()))
        return L"1.0.0.0";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return L"1.0.0.0";
    wchar_t text[24];
    std::swprintf(text, sizeof text / sizeof text[0], L"%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
                  static_cast<int>(LOWORD(info->dwFileVersionMS)), static_cast<int>(HIWORD(info->dwFileVersionLS)),
                  static_cast<int>(LOWORD(info->dwFileVersionLS)));
    return text;
}

void DrawLine(HDC dc, int x, int y, const std::wstring& text)
{
    if (!text.empty())
        ::TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

} // namespace

CAppDescriptionDlg::CAppDescriptionDlg() : fw::Dialog(IDD_APP_DESCRIPTION_DIALOG) {}

bool CAppDescriptionDlg::OnInitDialog()
{
    HWND wnd = Hwnd();
    if (m_pszTitle)
        ::SetWindowTextW(wnd, m_pszTitle->c_str());
    m_szVersion = ReadFileVersion();

    ::SetWindowPos(wnd, nullptr, 0, 0, kWindowSide, kWindowSide, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Over the setup dialog, and whole even on a screen no taller than the window.
    CenterOverOwner();

    if (BindControl(IDC_APP_DESCRIPTION_OK, m_btnOk))
        m_btnOk.SetImages(m_pClose, m_pClose);
    ::SetWindowPos(Item(IDC_APP_DESCRIPTION_OK), nullptr, kCloseX, kCloseY, kCloseSide, kCloseSide,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);

    fw::Region shape(::CreateRoundRectRgn(kShapeInset, kShapeInset, kWindowSide, kWindowSide, kShapeCorner,
                                          kShapeCorner));
    // The window owns the region once it took it.
    if (shape && ::SetWindowRgn(wnd, shape.get(), TRUE))
        shape.release();
    return true;
}

void CAppDescriptionDlg::OnCommand(UINT id, UINT, HWND)
{
    switch (id) {
    case IDC_APP_DESCRIPTION_OK:
    case IDOK:
        ::EndDialog(Hwnd(), IDOK);
        break;
    case IDCANCEL: // Escape and the window's close
        ::EndDialog(Hwnd(), IDCANCEL);
        break;
    default:
        break;
    }
}

bool CAppDescriptionDlg::PaintBackground(HDC dc)
{
    RECT client;
    ::GetClientRect(Hwnd(), &client);
    // The graphics object is gone on return, so its drawing is on the DC
    // before any text is drawn over it.
    Gdiplus::GpGraphics* raw = nullptr;
    if (dc && fw::gp::GdipCreateFromHDC(dc, &raw) == Gdiplus::Ok) {
        fw::GpGraphicsPtr graphics(raw);
        if (m_pBackground)
            fw::gp::GdipDrawImageRectI(graphics.get(), m_pBackground, 0, 0, client.right, client.bottom);
        if (m_pLogo)
            fw::gp::GdipDrawImageRectI(graphics.get(), m_pLogo, kLogoX, kLogoY, kLogoW, kLogoH);
    }
    return true;
}

bool CAppDescriptionDlg::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    if (msg != WM_PAINT)
        return false;
    fw::PaintDC paint(Hwnd());
    HDC dc = paint.get();
    PaintBackground(dc);
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    DrawLine(dc, kTextX, kVersionY, L"Version : " + m_szVersion);
    if (m_pszDescription)
        DrawLine(dc, kTextX, kDescriptionY, *m_pszDescription);
    result = 0;
    return true;
}

} // namespace tamsel
