#include "review/PreviewDlg.h"

#include <windowsx.h>

#include "framework/Handles.h"
#include "resources/resource.h"
#include "framework/Messages.h"

namespace tamsel {

namespace {

// Destination AND pattern; the SDK names only the other pattern operations.
constexpr DWORD kPatAnd = 0x00A000C9;

// No font carries this name: the system substitutes its default face at the
// requested height and weight.
fw::Font MakeQuestionFont(int height)
{
    return fw::Font(::CreateFontW(height, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, PROOF_QUALITY, 0,
                                  L"SYSTEM_FIXED_FONT"));
}

void DrawTextAt(HDC dc, int x, int y, const wchar_t* text)
{
    ::TextOutW(dc, x, y, text, static_cast<int>(::wcslen(text)));
}

} // namespace

CPreviewDlg::CPreviewDlg() : fw::Dialog(IDD_PREVIEW_DIALOG) {}

void CPreviewDlg::OnPaint()
{
    fw::PaintDC paint(Hwnd());
    HDC dc = paint.get();
    ::OutputDebugStringW(L"CPreviewDlg::OnPaint\n");
    RECT client;
    ::GetClientRect(Hwnd(), &client);
    if (m_nViewMode == 1) {
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::PostMessageW(m_hNotifyWnd, UM_PREVIEW_PAINTED, 0, 0);
    } else if (m_nViewMode == 2 && m_pImage) {
        Gdiplus::GpGraphics* raw = nullptr;
        if (fw::gp::GdipCreateFromHDC(dc, &raw) == Gdiplus::Ok) {
            fw::GpGraphicsPtr graphics(raw);
            // Stretched over the whole viewer: the aspect ratio is not kept.
            fw::gp::GdipDrawImageRectI(graphics.get(), m_pImage, 0, 0, client.right, client.bottom);
        }
        if (m_bAskDelete)
            DrawDeleteQuestion(dc);
    } else if (m_nViewMode == 2) {
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        fw::Font font = MakeQuestionFont(80);
        auto useFont = fw::SelectInto(dc, font.get());
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::SetBkMode(dc, TRANSPARENT);
        int x = 0, y = 0;
        ViewerNoPictureOrigin(client.right, client.bottom, &x, &y);
        DrawTextAt(dc, x, y, L"No Picture");
        // A picture that cannot be decoded can still be deleted: an armed
        // question is always in sight, since a click in it answers.
        if (m_bAskDelete)
            DrawDeleteQuestion(dc);
    } else {
        ::OutputDebugStringW(L"Onknown mode\n");
    }
}

void CPreviewDlg::ShowDeleteQuestion()
{
    fw::WindowDC dc(Hwnd());
    if (dc)
        DrawDeleteQuestion(dc.get());
    m_bAskDelete = true;
}

void CPreviewDlg::DrawDeleteQuestion(HDC dc)
{
    RECT client;
    ::GetClientRect(Hwnd(), &client);
    const DeleteQuestionLayout q = ComputeDeleteQuestion(client.right, client.bottom);
    m_rcYes = q.yes;
    m_rcNo = q.no;

    // Every second pixel turns black: a checkerboard ANDed over the picture.
    static const WORD kChecker[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    fw::Bitmap pattern(::CreateBitmap(8, 8, 1, 1, kChecker));
    fw::Brush checker(pattern ? ::CreatePatternBrush(pattern.get()) : nullptr);
    if (checker) {
        auto useBrush = fw::SelectInto(dc, checker.get());
        ::SetTextColor(dc, RGB(0, 0, 0));    // 0 bits
        ::SetBkColor(dc, RGB(255, 255, 255)); // 1 bits
        ::PatBlt(dc, 0, 0, client.right, client.bottom, kPatAnd);
    }

    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = ::SetTextColor(dc, RGB(255, 255, 255));
    fw::Font title = MakeQuestionFont(80);
    {
        auto useFont = fw::SelectInto(dc, title.get());
        DrawTextAt(dc, q.titleX, q.titleY, L"Delete?");
    }
    fw::Font answer = MakeQuestionFont(30);
    auto useFont = fw::SelectInto(dc, answer.get());
    auto usePen = fw::SelectInto(dc, ::GetStockObject(BLACK_PEN));
    auto useFill = fw::SelectInto(dc, ::GetStockObject(WHITE_BRUSH));
    ::SetTextColor(dc, RGB(0, 0, 0));
    for (const QuestionRect* r : {&q.yes, &q.no})
        ::RoundRect(dc, r->left, r->top, r->right, r->bottom, 40, 60);
    DrawTextAt(dc, q.yesTextX, q.yesTextY, L"Yes");
    DrawTextAt(dc, q.noTextX, q.noTextY, L"No");
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
}

bool CPreviewDlg::OnLButtonUp(int x, int y)
{
    // A question left open by a switch to live preview answers nothing.
    if (!m_bAskDelete || m_nViewMode != 2)
        return false;
    if (m_rcYes.StrictlyContains(x, y)) {
        ::PostMessageW(m_hNotifyWnd, UM_DELETE_PICTURE, 1, 0);
        m_bAskDelete = false;
        return true;
    }
    if (m_rcNo.StrictlyContains(x, y)) {
        ::PostMessageW(m_hNotifyWnd, UM_DELETE_PICTURE, 0, 0);
        m_bAskDelete = false;
        return true;
    }
    return false; // the question stays
}

bool CPreviewDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_ERASEBKGND:
        result = TRUE;
        return true;
    case WM_LBUTTONUP:
        if (OnLButtonUp(GET_X_LPARAM(lp), GET_Y_LPARAM(lp))) {
            result = 0;
            return true;
        }
        return false;
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
