#include "shell/TamselDlg.h"

#include <dbt.h>

#include "framework/Debug.h"
#include "resources/resource.h"
#include "settings/SettingsStore.h"
#include "shell/KeyHook.h"
#include "framework/Messages.h"
#include "shell/ShellRules.h"
#include "snapshot/FlashControl.h"
#include "ui/Layout.h"
#include "ui/MainPainter.h"

namespace tamsel {

namespace {

// How long the hide waits for a snapshot asked for before it: the still
// capture's own bound for its frame, with room for the flash's wait and the
// encoding.
constexpr DWORD kSnapshotAtHideMs = CDShowCapture::kStillWaitMs + 10000;

} // namespace

CTamselDlg::CTamselDlg() : fw::Dialog(IDD_TAMSEL_DIALOG)
{
    m_tray.OnDoubleClick([this] { OnTrayDoubleClick(); });
    m_gps.OnIndicatorImage([this](GpsImage image) { SetGpsFace(m_buttons, m_skin, image); });
    m_gps.OnGeotaggingChanged([this](bool on) { m_setup.OnGeotagging(on); });
}

CTamselDlg::~CTamselDlg() = default;

void CTamselDlg::Quit()
{
    ::PostMessageW(Hwnd(), WM_QUIT, 0, 0);
}

// ---- start-up ----------------------------------------------------------------

bool CTamselDlg::OnInitDialog()
{
    for (auto& control : MainButtonControls(m_buttons))
        BindControl(control.first, *control.second);
    m_skin.SetWindow(Hwnd());
    ResolveFolder(kFolderApp, m_szAppFolder);
    ResolveFolder(kFolderPictures, m_szPicFolder);
    ResolveFolder(kFolderTemp, m_szTempFolder);
    m_pics = PictureList();
    LoadSettings();

    if (!CheckOsVersion()) {
        fw::ShowMessage(Hwnd(), L"Get OS version error");
        Quit();
        return true;
    }
    if (!OpenStealthControls()) {
        Quit();
        return true;
    }
    if (!m_jpeg.StartGdiplus()) {
        Quit();
        return true;
    }
    SetupUi();

    g_hMainWnd = Hwnd();
    if (!InstallKeyHook(Hwnd()))
        fw::ShowMessage(Hwnd(), L"Install hot key module error");

    if (!m_jpeg.InitJpegEncoder()) {
        Quit();
        return true;
    }
    // Without an icon the window hides; a second start or the hardware key
    // still brings it back.
    if (!m_tray.AddTrayIcon(Hwnd(), m_skin.TrayIcon(), m_settings.TrayDisplayString))
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
    m_skin.KeepTrayIcon();
    // The window has no owner: the work area of its monitor, with all of it
    // in sight on a small screen.
    CenterOverOwner();

    m_capture.Attach(Hwnd(), this);
    m_gps.SetStatus(m_settings.GPS_ON ? GPS_SEARCHING : GPS_OFF);

    m_settings.TotalDevNum = m_capture.BuildDeviceList();
    if (m_settings.TotalDevNum == 0) {
        if (!m_bShowOnStart) {
            ::OutputDebugStringW(L"No camera devie plug-in");
        } else {
            fw::ShowMessage(Hwnd(), L"No camera devie plug-in", L"Error");
            OnClose();
        }
        return true;
    }

    if (m_bShowOnStart) {
        ShowOpenWindow();
        PumpWaitingMessages();
        ::PostMessageW(Hwnd(), UM_GPS_ICON, 0, 0);
    }
    if (m_settings.CurDevIndex < 0 || m_settings.CurDevIndex >= m_settings.TotalDevNum)
        m_settings.CurDevIndex = 0;
    m_capture.SelectDevice(m_settings.CurDevIndex);
    m_bCameraHasFlash = CheckCameraFlash();

    if (!StartSnapshotWorker()) {
        Quit();
        return true;
    }
    // A hide sequence run meanwhile (the icon could not be added) leaves the
    // window closed: its live machinery must not start behind its back.
    if (m_bShowOnStart && m_bAllowShow)
        StartLiveMachinery();
    return true;
}

bool CTamselDlg::CheckOsVersion()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ::GetVersionExW(&info);
    m_nOsLevel = OsLevelFromVersion(info.dwMajorVersion, info.dwMinorVersion);
    if (m_nOsLevel == 0) {
        fw::ShowMessage(Hwnd(), L"Not support OS");
        return false;
    }
    return true;
}

bool CTamselDlg::OpenStealthControls()
{
    switch (m_stealth.OpenAudioControl(m_nOsLevel)) {
    case CStealthControls::AudioOpen::kOpened:
        break;
    case CStealthControls::AudioOpen::kNoDevice:
        // Nothing in the audio jack is no reason to refuse to start; the
        // flash rule then counts the volume as 0.
        ::OutputDebugStringW(L"No audio device, volume counts as 0\n");
        break;
    case CStealthControls::AudioOpen::kFailed:
        fw::ShowMessage(Hwnd(), L"Get audio control error");
        return false;
    }
    // Desktops with an external monitor have no brightness control; the flash
    // rule then counts the brightness as 0, so the program runs without it.
    if (m_nOsLevel >= 2 && !m_stealth.QueryBrightnessObject())
        ::OutputDebugStringW(L"No brightness control, brightness counts as 0\n");
    return true;
}

bool CTamselDlg::StartSnapshotWorker()
{
    m_snapshots.OnRequestAccepted([this] { m_snapshot.Prepare(CurrentSnapshotSettings()); });
    switch (m_snapshots.StartSnapshotWorker(Hwnd(), [this] { TakeSnapshot(); })) {
    case CSnapshotWorker::StartResult::kStarted:
        return true;
    case CSnapshotWorker::StartResult::kNoEvent:
        fw::ShowMessage(Hwnd(), L"Create Snapshot event error\n");
        return false;
    case CSnapshotWorker::StartResult::kNoThread:
        fw::ShowMessage(Hwnd(), L"Create Snapshot procesure error\n");
        return false;
    }
    return false;
}

// The end of a visible start: preview, geotagging and the idle clock.
void CTamselDlg::StartLiveMachinery()
{
    ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
    if (m_settings.GPS_ON)
        ::PostMessageW(Hwnd(), UM_GPS_START, 0, 0);
    if (!m_idle.StartIdleTimer(Hwnd())) {
        fw::ShowMessage(Hwnd(), L"Create Check Idle timer error");
        Quit();
    }
    m_idle.RestartIdleClock();
    m_state.Open();
}

// ---- hiding and ending -----------------------------------------------------------

void CTamselDlg::OnClose()
{
    // First, so that a handler this sequence interrupted learns of it.
    m_state.Hide();
    m_bAllowShow = false;
    ::ShowWindow(Hwnd(), SW_HIDE);
    SaveSettings();
    StopGpsReader();
    m_setup.CloseSetupDialog();
    FreeSkinImages();
    // A picture asked for before the close is taken from the camera still
    // running (the window is already out of sight); its completion follows
    // and finds the window hidden.
    if (!m_snapshots.WaitForSnapshot(kSnapshotAtHideMs))
        ::OutputDebugStringW(L"Snapshot still running at the hide\n");
    m_capture.TearDownGraph();
    m_idle.KillIdleTimer();
}

void CTamselDlg::StopGpsReader()
{
    m_gps.StopGpsReader();
}

void CTamselDlg::OnDestroy()
{
    // A snapshot in progress finishes first, with the camera still running:
    // the picture is the user's. Its completion is never dispatched now (the
    // queue is no longer read), so its result is applied here.
    m_snapshots.StopSnapshotWorker();
    OnClose();
    m_snapshots.ApplyPendingResult();
    m_tray.RemoveTrayIcon();
    m_pPreviewDlg.reset();
    FreeSkinImages();
    m_jpeg.Shutdown();
    m_idle.KillIdleTimer();
    SaveSettings();
    RemoveKeyHook();
    m_settings.FlashSupportDev.clear();
    m_pics = PictureList();
    m_log.Close();
    m_stealth.Release();
}

// ---- settings ----------------------------------------------------------------------

void CTamselDlg::LoadSettings()
{
    const LoadOutcome out = LoadSettingsFromFiles(m_settings, ::GetSystemMetrics(SM_CYSCREEN), &m_pics);
    if (out.hwKeyInvalid)
        fw::ShowMessage(Hwnd(), L"Invalid HW key code");
    g_HwKeyCode = out.hwKeyCode;
    fw::DebugTrace(L"HW key code = 0x%x\n", g_HwKeyCode.load());
    // The pruned picture list is saved by the window's own handler.
    if (out.picSaveNeeded)
        ::PostMessageW(Hwnd(), UM_SAVE_SETTINGS, 0, 0);
    if (out.logFile > 0)
        m_log.Open(m_settings);
}

void CTamselDlg::ReloadSettings()
{
    LoadSettings();
    // The files hold the cameras as they were at the last save; cameras may
    // have come or gone since, and the engine's list is the truth.
    m_settings.TotalDevNum = m_capture.DevCount();
    if (m_capture.CurrentDevice() >= 0)
        m_settings.CurDevIndex = m_capture.CurrentDevice();
}

void CTamselDlg::SaveSettings()
{
    SaveSettingsToFiles(m_settings, &m_pics);
    // The files are written key by key; whoever watches them (an installer,
    // a test) learns here that the whole save is on disk.
    ::OutputDebugStringW(L"Settings saved\n");
}

// ---- window state and reopening -----------------------------------------------------

void CTamselDlg::ShowOpenWindow()
{
    m_bAllowShow = true;
    ::ShowWindow(Hwnd(), SW_SHOW);
    ::SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CTamselDlg::BringToTop()
{
    ::BringWindowToTop(Hwnd());
    ::SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CTamselDlg::SetupUi()
{
    m_skin.LoadMainImages(m_szAppFolder + L"\\pic", [this] { m_review.LoadThumbImage(); });
    tamsel::ApplyModeFaces(m_buttons, m_skin, m_state.Mode());
    // The indicator shows again what it showed before the window hid.
    SetGpsFace(m_buttons, m_skin, m_gps.ShownGpsImage());
    LayoutWindow();
}

void CTamselDlg::LayoutWindow()
{
    const MainLayout l = ComputeMainLayout(m_settings.WindowSizeMod);
    HWND wnd = Hwnd();
    ::SetWindowPos(wnd, nullptr, 0, 0, l.window.width, l.window.height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!m_pPreviewDlg) {
        auto viewer = std::make_unique<CPreviewDlg>();
        if (viewer->Create(wnd)) {
            ::SetParent(viewer->Hwnd(), wnd);
            m_pPreviewDlg = std::move(viewer);
        }
    }
    if (m_pPreviewDlg) {
        ::SetWindowPos(m_pPreviewDlg->Hwnd(), nullptr, l.viewer.x, l.viewer.y, l.viewer.width,
                       l.viewer.height, SWP_NOZORDER | SWP_SHOWWINDOW);
        m_pPreviewDlg->m_hNotifyWnd = wnd;
        m_pPreviewDlg->m_nViewMode = m_state.Mode();
    }
    m_review.GiveThumbFaces();
    const struct { int id; Rect r; } placements[] = {
        {IDC_BTN_CLOSE, l.close}, {IDC_BTN_SETUP, l.setup}, {IDC_BTN_CAPTURE, l.capture},
        {IDC_BTN_DELETE, l.del},  {IDC_BTN_LEFT, l.left},   {IDC_BTN_THUMB, l.thumb},
        {IDC_BTN_RIGHT, l.right}, {IDC_BTN_MODE, l.mode},   {IDC_BTN_GPS, l.gps},
    };
    for (const auto& p : placements)
        ::SetWindowPos(Item(p.id), nullptr, p.r.x, p.r.y, p.r.width, p.r.height,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    // The test button stays out of sight in the lower right corner.
    HWND test = Item(IDC_BTN_TEST);
    RECT tr;
    ::GetWindowRect(test, &tr);
    ::SetWindowPos(test, nullptr, l.window.width - (tr.right - tr.left),
                   l.window.height - (tr.bottom - tr.top), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    fw::Region shape(::CreateRoundRectRgn(kWindowShapeInset, kWindowShapeInset, l.window.width,
                                          l.window.height, kWindowCornerEllipse, kWindowCornerEllipse));
    // The window owns the region once it took it.
    if (shape && ::SetWindowRgn(wnd, shape.get(), TRUE))
        shape.release();
}

void CTamselDlg::RelayoutWindow()
{
    m_bAllowShow = false;
    ::ShowWindow(Hwnd(), SW_HIDE);
    PumpWaitingMessages();
    // A close dispatched there ran the hide sequence: showing the window now
    // would bring back a window without its skin, counted as closed.
    if (!m_state.IsOpen())
        return;
    LayoutWindow();
    ::ShowWindow(Hwnd(), SW_SHOW); // refused: showing is not allowed yet
    m_bAllowShow = true;
    ::ShowWindow(Hwnd(), SW_SHOW);
}

void CTamselDlg::RepaintViewerAndPump()
{
    if (m_pPreviewDlg) {
        ::InvalidateRect(m_pPreviewDlg->Hwnd(), nullptr, TRUE);
        ::UpdateWindow(m_pPreviewDlg->Hwnd());
    }
    PumpWaitingMessages();
}

void CTamselDlg::FreeSkinImages()
{
    // No button may draw an image while it is freed.
    ClearFaces(m_buttons);
    m_review.FreeImages();
    m_skin.FreeSkinImages();
}

MainPaint CTamselDlg::PaintRecord() const
{
    return {Hwnd(), ViewerWindow(), m_skin.AppIcon(), m_review.ThumbImage(), m_state.Mode()};
}

void CTamselDlg::OnPaint()
{
    PaintMainWindow(PaintRecord(), m_skin, m_buttons);
}

bool CTamselDlg::PaintBackground(HDC dc)
{
    PaintMainBackground(dc, PaintRecord(), m_skin, m_buttons);
    return true;
}

void CTamselDlg::OnExternClick()
{
    ::OutputDebugStringW(L"Extern click\n");
    if (IsOpen()) {
        BringToTop();
        return;
    }
    ReloadSettings();
    SetupUi();
    if (!m_state.InReview())
        ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
    else
        m_review.ReenterReview();
    ShowOpenWindow();
    FinishReopening();
}

void CTamselDlg::OnTrayDoubleClick()
{
    if (IsOpen()) {
        BringToTop();
        return;
    }
    if (m_settings.TotalDevNum == 0) {
        fw::ShowMessage(Hwnd(), L"No camera plug-in", L"Error");
        return;
    }
    ReloadSettings();
    SetupUi();
    ShowOpenWindow();
    if (!m_state.InReview()) {
        const WindowState::Mark mark = m_state.Now();
        PumpWaitingMessages();
        // A close dispatched there hid the window again, and it stays
        // closed; a reopening dispatched after that close has done all of
        // this already.
        if (m_state.ChangedSince(mark) && (!m_bAllowShow || m_state.IsOpen()))
            return;
        m_review.RefreshThumbnail();
        ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
    } else {
        m_review.ReenterReview();
    }
    FinishReopening();
}

void CTamselDlg::FinishReopening()
{
    if (m_settings.GPS_ON)
        ::PostMessageW(Hwnd(), UM_GPS_START, 0, 0);
    else
        m_gps.SetStatus(GPS_OFF);
    if (!m_idle.StartIdleTimer(Hwnd())) {
        fw::ShowMessage(Hwnd(), L"Create Check Idle timer error");
        Quit();
    }
    m_idle.RestartIdleClock();
    m_state.Open();
}

void CTamselDlg::OnHwSnapshotKey()
{
    if (IsOpen()) {
        if (!m_state.InReview() && !m_snapshots.Busy()) {
            ::OutputDebugStringW(L"Snapshot\n");
            ::PostMessageW(Hwnd(), UM_SNAPSHOT, 0, 0);
        }
        return;
    }
    ::OutputDebugStringW(L"Exern click\n");
    ::PostMessageW(Hwnd(), UM_EXTERN_CLICK, 0, 0);
}

void CTamselDlg::OnPowerBroadcast(WPARAM event)
{
    if (event == PBT_APMSUSPEND) {
        m_bResumeOnWake = IsOpen();
        if (m_bResumeOnWake)
            OnClose();
    } else if (event == PBT_APMRESUMESUSPEND && m_bResumeOnWake) {
        ::PostMessageW(Hwnd(), UM_EXTERN_CLICK, 0, 0);
    }
}

void CTamselDlg::OnWindowPosChanging(WINDOWPOS& pos)
{
    if (m_bAllowShow)
        pos.flags |= SWP_SHOWWINDOW;
    else
        pos.flags &= ~SWP_SHOWWINDOW;
}

void CTamselDlg::ReplyToSetup(WPARAM code, LPARAM value)
{
    m_setup.ReplyToSetup(code, value);
}

// ---- camera side -------------------------------------------------------------------

void CTamselDlg::OnCameraSelected(int)
{
    m_bCameraHasFlash = CheckCameraFlash();
}

bool CTamselDlg::CheckCameraFlash() const
{
    const int index = m_settings.CurDevIndex;
    const auto& devices = m_capture.Devices();
    if (index < 0 || index >= static_cast<int>(devices.size()))
        return false;
    return tamsel::CheckCameraFlash(devices[index].szDisplayName, m_settings.FlashSupportDev);
}

void CTamselDlg::OnCamerasChanged(int count, int current, bool tellSetup)
{
    m_settings.TotalDevNum = count;
    if (current >= 0)
        m_settings.CurDevIndex = current;
    if (tellSetup)
        m_setup.OnCamerasChanged(count, m_settings.CurDevIndex);
    // A camera found after a start without one still gets its snapshot worker.
    if (count > 0 && !m_snapshots.Exists())
        StartSnapshotWorker();
}

void CTamselDlg::OnNoCamera(bool asBox)
{
    if (asBox)
        fw::ShowMessage(Hwnd(), L"No camera devie plug-in");
    else
        ::OutputDebugStringW(L"No camera devie plug-in");
}

void CTamselDlg::OnTestCapture()
{
    std::vector<uint8_t> image;
    if (!m_capture.CaptureStill(image))
        return;
    fw::FileHandle file(::CreateFileW(L"F:\\temp.jpg", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        ::WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
}

// The snapshot worker's thread: the picture is taken there, and the window's
// own state changes with the completion on the window's thread.
void CTamselDlg::TakeSnapshot()
{
    fw::GpImagePtr picture;
    const std::wstring path = m_snapshot.TakeSnapshot(&picture, CPictureReview::kPictureSize);
    if (!path.empty())
        m_snapshots.HandOver([this, path, p = std::move(picture)]() mutable { OnSnapshotSaved(path, std::move(p)); });
}

// Copied on the window's thread when a request is accepted.
SnapshotSettings CTamselDlg::CurrentSnapshotSettings() const
{
    SnapshotSettings s;
    s.flashOn = m_settings.FlashOn;
    s.cameraHasFlash = m_bCameraHasFlash;
    s.flashWaitTime = m_settings.FlashWaitTime;
    s.audioThreashold = m_settings.AudioThreashold;
    s.brightnessThreashold = m_settings.BrightnessThreashold;
    s.osLevel = m_nOsLevel;
    s.gpsOn = m_settings.GPS_ON;
    s.picFolder = m_szPicFolder;
    s.appFolder = m_szAppFolder;
    s.owner = Hwnd();
    s.stop = m_snapshots.StopEvent();
    return s;
}

void CTamselDlg::OnSnapshotSaved(const std::wstring& path, fw::GpImagePtr picture)
{
    AppendPicture(m_pics, path);
    m_idle.RestartIdleClock(); // a snapshot counts as activity
    bool thumbnail = picture != nullptr;
    if (m_state.IsOpen())
        thumbnail = m_review.OnPictureAdded(std::move(picture));
    else
        SaveSettings(); // the hide saved the list without it, and a reopening reloads the file
    if (!thumbnail)
        m_log.Write("OnSnapshot: small pic hbitmap == NULL\r\n");
}

// ---- routing ----------------------------------------------------------------------

void CTamselDlg::OnCommand(UINT id, UINT notifyCode, HWND)
{
    if (notifyCode != BN_CLICKED || m_review.OnCommand(id))
        return;
    switch (id) {
    case IDC_BTN_CLOSE:
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        break;
    case IDC_BTN_TEST:
        OnTestCapture();
        break;
    case IDC_BTN_SETUP:
        m_setup.OpenSetupDialog();
        break;
    case IDC_BTN_CAPTURE:
        if (!m_state.InReview()) {
            ::PostMessageW(Hwnd(), UM_SNAPSHOT, 0, 0);
            m_idle.RestartIdleClock();
        }
        break;
    default:
        break; // Enter (IDOK) and Escape (IDCANCEL) do nothing
    }
}

bool CTamselDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    return m_tray.OnMessage(msg, wp, lp, result) || m_idle.OnMessage(msg, wp, lp, result) ||
           m_snapshots.OnMessage(msg, wp, lp, result) || m_preview.OnMessage(msg, wp, lp, result) ||
           m_gps.OnMessage(msg, wp, lp, result) || m_review.OnMessage(msg, wp, lp, result) ||
           m_setup.OnMessage(msg, wp, lp, result) ||
           HandleOwn(msg, wp, lp, result);
}

bool CTamselDlg::HandleOwn(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    switch (msg) {
    case WM_CLOSE: OnClose(); return true;
    case WM_DESTROY: OnDestroy(); return true;
    case WM_ENDSESSION:
        // Logging off ends the program without a hide: nothing else saves.
        if (wp)
            SaveSettings();
        result = 0;
        return true;
    case WM_ERASEBKGND: result = TRUE; return true;
    case WM_NCHITTEST: result = HTCAPTION; return true;
    case WM_WINDOWPOSCHANGING: OnWindowPosChanging(*reinterpret_cast<WINDOWPOS*>(lp)); return false;
    case WM_POWERBROADCAST: OnPowerBroadcast(wp); return false;
    case WM_DISPLAYCHANGE: result = 0; return true;
    case WM_QUERYDRAGICON: result = reinterpret_cast<LRESULT>(m_skin.AppIcon()); return true;
    case WM_PAINT: OnPaint(); return true;
    case UM_EXTERN_CLICK: OnExternClick(); return true;
    case UM_HW_SNAPSHOT_KEY: OnHwSnapshotKey(); return true;
    case UM_SET_IDLE_TIME:
        if (IsIdleTimeMode(static_cast<int>(wp)) && static_cast<int>(wp) != m_settings.IdleTimeMode) {
            m_settings.IdleTimeMode = static_cast<int>(wp);
            m_idle.RestartIdleClock();
        }
        return true;
    case UM_SET_FLASH: m_settings.FlashOn = wp != 0; return true;
    case UM_SAVE_SETTINGS: SaveSettings(); return true;
    case UM_GPS_PORT:
        m_settings.GPSComport = static_cast<int>(wp);
        m_setup.ForwardGpsPort(wp);
        ::PostMessageW(Hwnd(), UM_SAVE_SETTINGS, 0, 0);
        return true;
    case UM_QUIT: ::PostQuitMessage(0); return true;
    default:
        // Graph events and device changes: the engine's.
        return m_capture.OnMessage(msg, wp, lp, result);
    }
}

} // namespace tamsel
