#include "gps/GpsSettingDlg.h"

#include <cwchar>

#include "framework/Debug.h"
#include "framework/Handles.h"
#include "gps/ComPorts.h"
#include "resources/resource.h"
#include "framework/Messages.h"

namespace tamsel {

namespace {

constexpr int kWindowW = 600, kWindowH = 300;
constexpr int kShapeInset = 5, kShapeCorner = 33;
constexpr COLORREF kNoBackground = 0xC80000; // blue 200

struct Placement {
    int id, x, y, w, h;
};
const Placement kLayout[] = {
    {IDC_GPS_PORT_LIST, 250, 100, 200, 50},
    {IDC_GPS_AUTO_SCAN, 150, 150, 300, 50},
    {IDC_GPS_OK, 150, 210, 70, 50},
    {IDC_GPS_CANCEL, 300, 210, 150, 50},
};

const wchar_t kScanJoinTrace[] = L"wait for auto scan thread out\n";

} // namespace

CGpsSettingDlg::CGpsSettingDlg() : fw::Dialog(IDD_GPS_SETTING_DIALOG) {}

CGpsSettingDlg::~CGpsSettingDlg()
{
    // The scan thread writes into this object: it never outlives it.
    m_scanThread.Stop(1000, kScanJoinTrace);
}

bool CGpsSettingDlg::OnInitDialog()
{
    HWND wnd = Hwnd();
    // The reader lets go of its port, so the list and the scan may open it.
    if (m_hMainWnd && !::PostMessageW(m_hMainWnd, UM_GPS_STOP, 0, 0))
        fw::TraceLastError(L"PostMessageW");

    if (BindControl(IDC_GPS_AUTO_SCAN, m_btnAutoScan))
        m_btnAutoScan.SetImages(m_pAutoScan, m_pAutoScan);
    if (BindControl(IDC_GPS_OK, m_btnOk))
        m_btnOk.SetImages(m_pOk, m_pOk);
    if (BindControl(IDC_GPS_CANCEL, m_btnCancel))
        m_btnCancel.SetImages(m_pCancel, m_pCancel);

    FillPortList();

    ::SetWindowPos(wnd, nullptr, 0, 0, kWindowW, kWindowH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Placement& p : kLayout)
        ::SetWindowPos(Item(p.id), nullptr, p.x, p.y, p.w, p.h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    fw::Region shape(::CreateRoundRectRgn(kShapeInset, kShapeInset, kWindowW, kWindowH, kShapeCorner, kShapeCorner));
    // The window owns the region once it took it.
    if (shape && ::SetWindowRgn(wnd, shape.get(), TRUE))
        shape.release();
    return true;
}

void CGpsSettingDlg::FillPortList()
{
    HWND list = Item(IDC_GPS_PORT_LIST);
    m_scan.m_vecPorts.clear();
    // A failed discovery (traced by discovery itself) leaves the list empty:
    // the same as no port at all.
    EnumComPorts(m_scan.m_vecPorts);
    if (m_scan.m_vecPorts.empty()) {
        ::PostMessageW(Hwnd(), UM_NO_COMPORT, 0, 0);
        ::EnableWindow(list, FALSE);
        return;
    }
    for (int port : m_scan.m_vecPorts) {
        wchar_t name[32];
        std::swprintf(name, sizeof name / sizeof name[0], L"COM%d", port);
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SelectPort(m_nPort);
}

void CGpsSettingDlg::SelectPort(int port)
{
    int selected = 0;
    for (size_t i = 0; i < m_scan.m_vecPorts.size(); ++i)
        if (m_scan.m_vecPorts[i] == port)
            selected = static_cast<int>(i);
    ::SendMessageW(Item(IDC_GPS_PORT_LIST), CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CGpsSettingDlg::OnCommand(UINT id, UINT, HWND)
{
    // While the scan runs nothing may end the dialog or change the list under it.
    if (m_bScanning)
        return;
    switch (id) {
    case IDC_GPS_OK: {
        if (!m_scan.m_vecPorts.empty()) {
            const LRESULT index = ::SendMessageW(Item(IDC_GPS_PORT_LIST), CB_GETCURSEL, 0, 0);
            if (index >= 0 && static_cast<size_t>(index) < m_scan.m_vecPorts.size() && m_hMainWnd)
                ::PostMessageW(m_hMainWnd, UM_GPS_PORT, static_cast<WPARAM>(m_scan.m_vecPorts[index]), 0);
        }
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        break;
    }
    case IDC_GPS_CANCEL:
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        break;
    case IDC_GPS_AUTO_SCAN:
        StartScan();
        break;
    case IDOK: // Enter: like the dialog framework, closes without taking a port
    case IDCANCEL: // Escape and WM_CLOSE
        ::EndDialog(Hwnd(), static_cast<INT_PTR>(id));
        break;
    default:
        break;
    }
}

void CGpsSettingDlg::StartScan()
{
    if (m_scan.m_vecPorts.empty()) {
        ShowBox(L"No comport device find!!", L"Warnning");
        return;
    }
    m_bScanning = true;
    m_scan.m_bFound = false;
    m_scan.m_nPort = m_nPort;
    m_scan.hDialog = Hwnd();
    if (!m_scanThread.Start([this](fw::Worker& self) { AutoScanThreadProc(self, m_scan); }, L"auto scan")) {
        m_bScanning = false;
        return;
    }
    m_btnAutoScan.SetImages(m_pScanning, m_pScanning);
    ::EnableWindow(Item(IDC_GPS_PORT_LIST), FALSE);
}

void CGpsSettingDlg::JoinScan()
{
    if (m_scanThread.Exists())
        m_scanThread.Stop(1000, kScanJoinTrace);
}

void CGpsSettingDlg::OnScanDone()
{
    if (!m_bScanning)
        return; // no scan of this dialog is waiting for its end
    // The thread posts this last; once it has ended its findings are ours to read.
    JoinScan();
    m_bScanning = false;
    m_btnAutoScan.SetImages(m_pAutoScan, m_pAutoScan);
    ::EnableWindow(Item(IDC_GPS_PORT_LIST), TRUE);
    if (m_scan.m_bFound) {
        m_nPort = m_scan.m_nPort;
        SelectPort(m_nPort);
    } else {
        ShowBox(L"Can't find GPS device", L"Warnning");
    }
}

void CGpsSettingDlg::ShowBox(const wchar_t* text, const wchar_t* caption)
{
    ::MessageBoxW(Hwnd(), text, caption, MB_OK);
}

bool CGpsSettingDlg::PaintBackground(HDC dc)
{
    if (!dc)
        return true;
    RECT client;
    ::GetClientRect(Hwnd(), &client);
    bool drawn = false;
    Gdiplus::GpGraphics* raw = nullptr;
    if (m_pBackground && fw::gp::GdipCreateFromHDC(dc, &raw) == Gdiplus::Ok) {
        fw::GpGraphicsPtr graphics(raw);
        drawn = fw::gp::GdipDrawImageRectI(graphics.get(), m_pBackground, 0, 0, client.right, client.bottom) ==
                Gdiplus::Ok;
    }
    if (!drawn) {
        fw::Brush fill(::CreateSolidBrush(kNoBackground));
        if (fill)
            ::FillRect(dc, &client, fill.get());
    }
    return true;
}

bool CGpsSettingDlg::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT: {
        fw::PaintDC paint(Hwnd());
        PaintBackground(paint.get());
        m_btnAutoScan.Repaint();
        m_btnOk.Repaint();
        m_btnCancel.Repaint();
        result = 0;
        return true;
    }
    case WM_NCHITTEST:
        // Dragged from anywhere outside its controls.
        result = HTCAPTION;
        return true;
    case WM_CLOSE:
        // Ignored while the scan runs: the dialog ends only after its thread.
        if (m_bScanning) {
            result = 0;
            return true;
        }
        return false;
    case UM_NO_COMPORT:
        // The box stands over the dialog, not before it appears.
        ::ShowWindow(Hwnd(), SW_SHOW);
        ShowBox(L"Can not find any comport", L"Warning");
        result = 0;
        return true;
    case UM_SCAN_DONE:
        OnScanDone();
        result = 0;
        return true;
    default:
        return false;
    }
}

} // namespace tamsel
