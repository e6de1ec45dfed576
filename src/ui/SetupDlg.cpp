#include "ui/SetupDlg.h"

#include <shellapi.h>

#include "framework/Debug.h"
#include "framework/Gdiplus.h"
#include "framework/Handles.h"
#include "gps/GpsSettingDlg.h"
#include "resources/resource.h"
#include "framework/Messages.h"
#include "ui/AppDescriptionDlg.h"
#include "ui/SkinImages.h"

namespace tamsel {

namespace {

struct ButtonPlace {
    int id;
    int x, y, w, h;
    int onEntry, offEntry; // the same entry for the single-image buttons
};

const ButtonPlace kPlaces[CSetupDlg::kButtonCount] = {
    {IDC_SETUP_CLOSE, 530, 15, 30, 30, kSkinSetupClose, kSkinSetupClose},
    {IDC_SETUP_CAMERA1, 250, 60, 80, 50, kSkinSetupCamera1On, kSkinSetupCamera1Off},
    {IDC_SETUP_CAMERA2, 360, 60, 80, 50, kSkinSetupCamera2On, kSkinSetupCamera2Off},
    {IDC_SETUP_CAMERA3, 470, 60, 80, 50, kSkinSetupCamera3On, kSkinSetupCamera3Off},
    {IDC_SETUP_RES_VGA, 60, 160, 100, 60, kSkinSetupResVgaOn, kSkinSetupResVgaOff},
    {IDC_SETUP_RES_SVGA, 190, 160, 100, 60, kSkinSetupResSvgaOn, kSkinSetupResSvgaOff},
    {IDC_SETUP_RES_XVGA, 320, 160, 100, 60, kSkinSetupResXvgaOn, kSkinSetupResXvgaOff},
    {IDC_SETUP_RES_NATIVE, 450, 160, 100, 60, kSkinSetupResNativeOn, kSkinSetupResNativeOff},
    {IDC_SETUP_PREVIEW_SMALL, 250, 245, 100, 60, kSkinSetupPreviewSmallOn, kSkinSetupPreviewSmallOff},
    {IDC_SETUP_PREVIEW_LARGE, 410, 245, 100, 60, kSkinSetupPreviewLargeOn, kSkinSetupPreviewLargeOff},
    {IDC_SETUP_GEOTAG_ON, 60, 350, 80, 35, kSkinSetupGeotagOnOn, kSkinSetupGeotagOnOff},
    {IDC_SETUP_GEOTAG_OFF, 161, 350, 80, 35, kSkinSetupGeotagOffOn, kSkinSetupGeotagOffOff},
    {IDC_SETUP_GEOTAG_SET, 262, 350, 80, 35, kSkinSetupGeotagSet, kSkinSetupGeotagSet},
    {IDC_SETUP_FLASH_ON, 382, 350, 80, 35, kSkinSetupFlashOnOn, kSkinSetupFlashOnOff},
    {IDC_SETUP_FLASH_OFF, 483, 350, 80, 35, kSkinSetupFlashOffOn, kSkinSetupFlashOffOff},
    {IDC_SETUP_IDLE_5, 60, 440, 80, 30, kSkinSetupIdle5On, kSkinSetupIdle5Off},
    {IDC_SETUP_IDLE_10, 161, 440, 80, 30, kSkinSetupIdle10On, kSkinSetupIdle10Off},
    {IDC_SETUP_IDLE_15, 262, 440, 80, 30, kSkinSetupIdle15On, kSkinSetupIdle15Off},
    {IDC_SETUP_IDLE_20, 363, 440, 80, 30, kSkinSetupIdle20On, kSkinSetupIdle20Off},
    {IDC_SETUP_IDLE_30, 464, 440, 80, 30, kSkinSetupIdle30On, kSkinSetupIdle30Off},
    {IDC_SETUP_APP_DESCRIPTION, 60, 520, 255, 35, kSkinSetupAppDescription, kSkinSetupAppDescription},
    {IDC_SETUP_USER_MANUAL, 365, 525, 180, 35, kSkinSetupUserManual, kSkinSetupUserManual},
};

constexpr int kShapeInset = 5, kShapeCorner = 33;
constexpr COLORREF kNoBackgroundColour = RGB(0, 0, 200);
constexpr wchar_t kBoxCaption[] = L"Setup";
constexpr UINT_PTR kKeepAboveTimer = 1;
constexpr UINT kKeepAbovePeriodMs = 500;

int PlaceIndex(int id)
{
    for (int i = 0; i < CSetupDlg::kButtonCount; ++i)
        if (kPlaces[i].id == id)
            return i;
    return -1;
}

UINT MessageOf(SetupAction action)
{
    switch (action) {
    case SetupAction::Close: return UM_SETUP_CLOSED;
    case SetupAction::SelectCamera: return UM_SELECT_CAMERA;
    case SetupAction::SetResolution: return UM_SET_RESOLUTION;
    case SetupAction::SetPreviewSize: return UM_SET_PREVIEW_SIZE;
    case SetupAction::GpsStart: return UM_GPS_START;
    case SetupAction::GpsStop: return UM_GPS_STOP;
    case SetupAction::SetIdleTime: return UM_SET_IDLE_TIME;
    case SetupAction::SetFlash: return UM_SET_FLASH;
    default: return 0;
    }
}

// Counts a modal run over the dialog for its length.
class ModalRun {
public:
    explicit ModalRun(int& runs) : m_runs(runs) { ++m_runs; }
    ~ModalRun() { --m_runs; }
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;

private:
    int& m_runs;
};

// The main window takes no input either while a dialog runs modally over
// the setup dialog; it is enabled again however the run ends.
class DisabledWhileModal {
public:
    explicit DisabledWhileModal(HWND wnd) : m_wnd(wnd && ::IsWindowEnabled(wnd) ? wnd : nullptr)
    {
        if (m_wnd)
            ::EnableWindow(m_wnd, FALSE);
    }
    ~DisabledWhileModal()
    {
        if (m_wnd)
            ::EnableWindow(m_wnd, TRUE);
    }
    DisabledWhileModal(const DisabledWhileModal&) = delete;
    DisabledWhileModal& operator=(const DisabledWhileModal&) = delete;

private:
    HWND m_wnd;
};

} // namespace

CSetupDlg::CSetupDlg() : fw::Dialog(IDD_SETUP_DIALOG) {}

CKbcButton* CSetupDlg::Button(int id)
{
    const int i = PlaceIndex(id);
    return i < 0 ? nullptr : &m_buttons[i];
}

bool CSetupDlg::OnInitDialog()
{
    for (int i = 0; i < kButtonCount; ++i)
        BindControl(kPlaces[i].id, m_buttons[i]);
    return true;
}

void CSetupDlg::InitLayout()
{
    HWND wnd = Hwnd();
    ::SetWindowPos(wnd, nullptr, 0, 0, kSide, kSide, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const ButtonPlace& p : kPlaces)
        ::SetWindowPos(Item(p.id), nullptr, p.x, p.y, p.w, p.h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    fw::Region shape(::CreateRoundRectRgn(kShapeInset, kShapeInset, kSide, kSide, kShapeCorner, kShapeCorner));
    // The window owns the region once it took it.
    if (shape && ::SetWindowRgn(wnd, shape.get(), TRUE))
        shape.release();
    for (SetupGroup group : kSetupGroups)
        Refresh(group);
    // The buttons with one picture for both states.
    for (int id : {IDC_SETUP_CLOSE, IDC_SETUP_APP_DESCRIPTION, IDC_SETUP_USER_MANUAL}) {
        const int i = PlaceIndex(id);
        Gdiplus::GpImage* image = m_pSkin ? m_pSkin->Image(kPlaces[i].onEntry) : nullptr;
        m_buttons[i].SetImages(image, image);
    }
    CenterOverOwner();
    ::SetTimer(Hwnd(), kKeepAboveTimer, kKeepAbovePeriodMs, nullptr); // goes with the window
}

void CSetupDlg::Refresh(SetupGroup group)
{
    for (const SetupButtonFaces& f : SetupGroupFaces(*this, group)) {
        const int i = PlaceIndex(f.id);
        if (i < 0)
            continue;
        auto image = [&](SetupFace face) -> Gdiplus::GpImage* {
            if (!m_pSkin)
                return nullptr;
            return m_pSkin->Image(face == SetupFace::On ? kPlaces[i].onEntry : kPlaces[i].offEntry);
        };
        m_buttons[i].SetImages(image(f.normal), image(f.pressed));
    }
}

void CSetupDlg::RefreshCameraButtons() { Refresh(SetupGroup::Camera); }
void CSetupDlg::RefreshResolutionButtons() { Refresh(SetupGroup::Resolution); }
void CSetupDlg::RefreshPreviewButtons() { Refresh(SetupGroup::Preview); }
void CSetupDlg::RefreshGeotagButtons() { Refresh(SetupGroup::Geotag); }
void CSetupDlg::RefreshFlashButtons() { Refresh(SetupGroup::Flash); }
void CSetupDlg::RefreshIdleButtons() { Refresh(SetupGroup::Idle); }

void CSetupDlg::OnCommand(UINT id, UINT notifyCode, HWND)
{
    // Enter and Escape (IDOK, IDCANCEL) are no buttons of this dialog and
    // do nothing.
    if (notifyCode != BN_CLICKED)
        return;
    const SetupPress press = PressSetupButton(*this, static_cast<int>(id));
    Refresh(press.refresh);
    switch (press.action) {
    case SetupAction::None: return;
    case SetupAction::OpenGpsPort: OpenGpsPort(); return;
    case SetupAction::OpenDescription: OpenDescription(); return;
    case SetupAction::OpenManual: OpenUserManual(); return;
    default: break;
    }
    if (m_hMainWnd)
        ::PostMessageW(m_hMainWnd, MessageOf(press.action), static_cast<WPARAM>(press.wParam), 0);
}

void CSetupDlg::OnSetupResult(WPARAM code, LPARAM value)
{
    const SetupAnswer answer = ApplySetupResult(*this, static_cast<long>(code), static_cast<long>(value));
    Refresh(answer.refresh);
    if (answer.error != SetupError::None) {
        ModalRun run(m_nModalRuns);
        ::MessageBoxW(Hwnd(), SetupErrorText(answer.error), kBoxCaption, MB_OK);
    }
    ClearSetupBusy(*this);
}

bool CSetupDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    switch (msg) {
    case UM_SETUP_RESULT: OnSetupResult(wp, lp); break;
    case UM_GPS_PORT: m_nPort = static_cast<int>(wp); break;
    case WM_NCHITTEST: result = HTCAPTION; return true; // dragged by any point
    case WM_PAINT: OnPaint(); break;
    case WM_TIMER:
        if (wp != kKeepAboveTimer)
            return false;
        KeepAboveOwner();
        break;
    default: return false;
    }
    result = 0;
    return true;
}

// The main window is topmost, and this dialog belongs above it. Wine lets a
// rebuilt preview's video window put the main window back above its owned
// dialog without telling either; the check puts the dialog on top again.
void CSetupDlg::KeepAboveOwner()
{
    for (HWND w = ::GetWindow(Hwnd(), GW_HWNDPREV); w; w = ::GetWindow(w, GW_HWNDPREV)) {
        if (w == m_hMainWnd) {
            ::SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return;
        }
    }
}

void CSetupDlg::OnPaint()
{
    fw::PaintDC dc(Hwnd());
    ::SetBkMode(dc.get(), TRANSPARENT);
    PaintBackground(dc.get());
}

bool CSetupDlg::PaintBackground(HDC dc)
{
    if (!dc)
        return true;
    // An image object whose file was missing draws nothing; only without
    // any object is the window filled with the fall-back colour.
    if (!m_pSkin || !m_pSkin->SlotFilled(kSkinSetupBackground)) {
        RECT client;
        ::GetClientRect(Hwnd(), &client);
        fw::Brush fill(::CreateSolidBrush(kNoBackgroundColour));
        if (fill)
            ::FillRect(dc, &client, fill.get());
        return true;
    }
    Gdiplus::GpImage* background = m_pSkin->Image(kSkinSetupBackground);
    if (!background)
        return true;
    RECT window;
    ::GetWindowRect(Hwnd(), &window);
    Gdiplus::GpGraphics* raw = nullptr;
    if (fw::gp::GdipCreateFromHDC(dc, &raw) != Gdiplus::Ok)
        return true;
    fw::GpGraphicsPtr graphics(raw);
    fw::gp::GdipDrawImageRectI(graphics.get(), background, 0, 0, window.right - window.left,
                               window.bottom - window.top);
    return true;
}

void CSetupDlg::OpenDescription()
{
    CAppDescriptionDlg dlg;
    dlg.m_pszTitle = m_pszTitle;
    dlg.m_pszDescription = m_pszDescription;
    if (m_pSkin) {
        dlg.m_pLogo = m_pSkin->Image(kSkinAppDescriptionLogo);
        dlg.m_pBackground = m_pSkin->Image(kSkinAppDescriptionBackground);
        dlg.m_pClose = m_pSkin->Image(kSkinAppDescriptionClose);
    }
    ModalRun run(m_nModalRuns);
    DisabledWhileModal mainDisabled(m_hMainWnd);
    dlg.DoModal(Hwnd());
}

void CSetupDlg::OpenGpsPort()
{
    CGpsSettingDlg dlg;
    dlg.m_hMainWnd = m_hMainWnd;
    dlg.m_nPort = m_nPort;
    if (m_pSkin) {
        dlg.m_pBackground = m_pSkin->Image(kSkinGpsSetBackground);
        dlg.m_pAutoScan = m_pSkin->Image(kSkinGpsSetAutoScan);
        dlg.m_pScanning = m_pSkin->Image(kSkinGpsSetScanning);
        dlg.m_pOk = m_pSkin->Image(kSkinGpsSetOk);
        dlg.m_pCancel = m_pSkin->Image(kSkinGpsSetCancel);
    }
    ModalRun run(m_nModalRuns);
    DisabledWhileModal mainDisabled(m_hMainWnd);
    dlg.DoModal(Hwnd());
}

void CSetupDlg::OpenUserManual()
{
    wchar_t exe[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    // A path cut short at MAX_PATH is no path at all.
    const std::wstring path = UserManualPath(std::wstring_view(exe, n < MAX_PATH ? n : 0));

    WIN32_FIND_DATAW found;
    ModalRun run(m_nModalRuns);
    if (path.empty() || !fw::FindHandle(::FindFirstFileW(path.c_str(), &found))) {
        fw::ShowMessage(Hwnd(), L"Can not find user manual");
        return;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&info)) {
        fw::TraceLastError(L"ShellExecuteExW");
        fw::ShowMessage(Hwnd(), L"Open user manual fail");
        return;
    }
    fw::Handle viewer(info.hProcess); // not waited for; only let go
}

} // namespace tamsel
