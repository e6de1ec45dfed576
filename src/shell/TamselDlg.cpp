#include "shell/TamselDlg.h"

#include <dbt.h>

#include "capture/FrameRules.h"
#include "framework/Debug.h"
#include "resources/resource.h"
#include "settings/SettingsStore.h"
#include "shell/KeyHook.h"
#include "shell/Messages.h"
#include "shell/ShellRules.h"
#include "ui/Layout.h"

namespace tamsel {

CTamselDlg::CTamselDlg() : fw::Dialog(IDD_TAMSEL_DIALOG) {}

CTamselDlg::~CTamselDlg() = default;

void CTamselDlg::Quit()
{
    ::PostMessageW(Hwnd(), WM_QUIT, 0, 0);
}

bool CTamselDlg::OnInitDialog()
{
    ResolveFolder(kFolderApp, m_szAppFolder);
    ResolveFolder(kFolderPictures, m_szPicFolder);
    ResolveFolder(kFolderTemp, m_szTempFolder);
    LoadSettings();

    if (!CheckOsVersion()) {
        fw::ShowMessage(Hwnd(), L"Get OS version error");
        Quit();
        return true;
    }
    if (!m_stealth.OpenAudioControl(m_nOsLevel)) {
        fw::ShowMessage(Hwnd(), L"Get audio control error");
        Quit();
        return true;
    }
    // Desktops with an external monitor have no brightness control; the flash
    // rule then counts the brightness as 0, so the program runs without it.
    if (m_nOsLevel >= 2 && !m_stealth.QueryBrightnessObject())
        ::OutputDebugStringW(L"No brightness control, brightness counts as 0\n");
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
    AddTrayIcon();
    CenterOnScreen();

    m_capture.m_hNotifyWnd = Hwnd();
    m_gpsInfo.nStatus = m_settings.GPS_ON ? GPS_SEARCHING : GPS_OFF;

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
    m_capture.m_nCurDev = m_settings.CurDevIndex;
    m_bCameraHasFlash = false; // flash support arrives with the flash controller

    m_hSnapEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_hSnapEvent) {
        fw::ShowMessage(Hwnd(), L"Create Snapshot event error\n");
        Quit();
        return true;
    }
    if (!StartSnapshotWorker()) {
        fw::ShowMessage(Hwnd(), L"Create Snapshot procesure error\n");
        Quit();
        return true;
    }

    if (m_bShowOnStart) {
        ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
        if (m_settings.GPS_ON)
            ::PostMessageW(Hwnd(), UM_GPS_START, 0, 0);
        if (!StartIdleTimer()) {
            fw::ShowMessage(Hwnd(), L"Create Check Idle timer error");
            Quit();
        }
        RestartIdleClock();
        m_bActive = true;
    }
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

void CTamselDlg::OnClose()
{
    m_bAllowShow = false;
    ::ShowWindow(Hwnd(), SW_HIDE);
    SaveSettings();
    StopGpsReader();
    FreeSkinImages();
    m_capture.TearDownGraph();
    KillIdleTimer();
    m_bActive = false;
}

void CTamselDlg::StopGpsReader()
{
    if (!m_hGpsThread)
        return;
    m_bGpsStop = true;
    fw::WaitForThreadInSteps(m_hGpsThread.get(), 1000, L"wait for gps thread out\n");
    m_hGpsThread.reset();
    m_bGpsStop = false;
}

void CTamselDlg::OnDestroy()
{
    OnClose();
    if (m_hSnapThread) {
        m_bSnapQuit = true;
        ::SetEvent(m_hSnapEvent.get());
        fw::WaitForThreadInSteps(m_hSnapThread.get(), 500, L"wait for snap thread out\n");
        m_hSnapThread.reset();
    }
    m_hSnapEvent.reset();
    RemoveTrayIcon();
    m_pPreviewDlg.reset();
    FreeSkinImages();
    m_jpeg.Shutdown();
    KillIdleTimer();
    SaveSettings();
    RemoveKeyHook();
    m_settings.FlashSupportDev.clear();
    m_bActive = false;
    m_log.Close();
    m_stealth.Release();
}

void CTamselDlg::LoadSettings()
{
    const LoadOutcome out = LoadSettingsFromFiles(m_settings, ::GetSystemMetrics(SM_CYSCREEN));
    if (out.hwKeyInvalid)
        fw::ShowMessage(Hwnd(), L"Invalid HW key code");
    g_HwKeyCode = out.hwKeyCode;
    fw::DebugTrace(L"HW key code = 0x%x\n", g_HwKeyCode);
    if (out.logFile > 0)
        m_log.Open(m_settings);
}

void CTamselDlg::ReloadSettings()
{
    LoadSettings();
    // The files hold the cameras as they were at the last save; cameras may
    // have come or gone since, and the engine's list is the truth.
    m_settings.TotalDevNum = m_capture.DevCount();
    if (m_capture.m_nCurDev >= 0)
        m_settings.CurDevIndex = m_capture.m_nCurDev;
}

void CTamselDlg::SaveSettings()
{
    SaveSettingsToFiles(m_settings);
}

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

void CTamselDlg::CenterOnScreen()
{
    RECT window, work;
    ::GetWindowRect(Hwnd(), &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int w = window.right - window.left, h = window.bottom - window.top;
    ::SetWindowPos(Hwnd(), nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + (work.bottom - work.top - h) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CTamselDlg::SetupUi()
{
    // The skin images and the buttons' pictures arrive with the skinned user
    // interface; the layout is in place already.
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
        m_pPreviewDlg->m_nViewMode = m_nMode;
    }
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
    HRGN shape = ::CreateRoundRectRgn(kWindowShapeInset, kWindowShapeInset, l.window.width,
                                      l.window.height, kWindowCornerEllipse, kWindowCornerEllipse);
    if (shape && !::SetWindowRgn(wnd, shape, TRUE))
        ::DeleteObject(shape); // the window owns the region only when it took it
}

void CTamselDlg::RelayoutWindow()
{
    m_bAllowShow = false;
    ::ShowWindow(Hwnd(), SW_HIDE);
    PumpWaitingMessages();
    LayoutWindow();
    ::ShowWindow(Hwnd(), SW_SHOW); // refused: showing is not allowed yet
    m_bAllowShow = true;
    ::ShowWindow(Hwnd(), SW_SHOW);
}

void CTamselDlg::FreeSkinImages() {}

bool CTamselDlg::AddTrayIcon()
{
    if (m_bTrayIconAdded)
        return true;
    m_nid = NOTIFYICONDATAW{};
    m_nid.cbSize = sizeof m_nid;
    m_nid.hWnd = Hwnd();
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.uCallbackMessage = UM_TRAY_NOTIFY;
    m_nid.hIcon = m_hTrayIcon;
    if (!m_settings.TrayDisplayString.empty()) {
        m_nid.uFlags |= NIF_TIP;
        lstrcpynW(m_nid.szTip, m_settings.TrayDisplayString.c_str(), ARRAYSIZE(m_nid.szTip));
    }
    if (!::Shell_NotifyIconW(NIM_ADD, &m_nid)) {
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        return false;
    }
    m_bTrayIconAdded = true;
    return true;
}

void CTamselDlg::RemoveTrayIcon()
{
    if (m_bTrayIconAdded) {
        ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
        m_bTrayIconAdded = false;
    }
}

bool CTamselDlg::StartIdleTimer()
{
    m_nIdleTimer = ::SetTimer(Hwnd(), kIdleTimerId, kIdleTimerPeriodMs, nullptr);
    return m_nIdleTimer != 0;
}

void CTamselDlg::KillIdleTimer()
{
    if (m_nIdleTimer) {
        ::KillTimer(Hwnd(), m_nIdleTimer);
        m_nIdleTimer = 0;
    }
}

void CTamselDlg::OnTimer(UINT_PTR id)
{
    if (id == kIdleTimerId && IdleExpired(::GetTickCount(), m_dwLastActivity, m_settings.IdleTimeMode))
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
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
    if (m_nMode == 1)
        ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
    else
        ReenterPictureReview();
    ShowOpenWindow();
    FinishReopening();
}

void CTamselDlg::OnTrayNotify(LPARAM mouseMessage)
{
    if (mouseMessage != WM_LBUTTONDBLCLK)
        return;
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
    if (m_nMode == 1) {
        PumpWaitingMessages();
        ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
    } else {
        ReenterPictureReview();
    }
    FinishReopening();
}

void CTamselDlg::FinishReopening()
{
    if (m_settings.GPS_ON)
        ::PostMessageW(Hwnd(), UM_GPS_START, 0, 0);
    else
        m_gpsInfo.nStatus = GPS_OFF;
    if (!StartIdleTimer()) {
        fw::ShowMessage(Hwnd(), L"Create Check Idle timer error");
        Quit();
    }
    RestartIdleClock();
    m_bActive = true;
}

void CTamselDlg::ReenterPictureReview()
{
    // Picture review is rebuilt with the fresh skin by the mode switch, which
    // arrives with the picture viewer.
}

void CTamselDlg::OnHwSnapshotKey()
{
    if (IsOpen()) {
        if (m_nMode == 1 && !m_bSnapBusy) {
            ::OutputDebugStringW(L"Snapshot\n");
            ::PostMessageW(Hwnd(), UM_SNAPSHOT, 0, 0);
        }
        return;
    }
    ::OutputDebugStringW(L"Exern click\n");
    ::PostMessageW(Hwnd(), UM_EXTERN_CLICK, 0, 0);
}

void CTamselDlg::OnSnapshotRequest()
{
    if (m_bSnapBusy)
        return; // triggers during a snapshot are dropped, not queued
    m_bSnapBusy = true;
    if (m_hSnapEvent)
        ::SetEvent(m_hSnapEvent.get());
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

void CTamselDlg::OnSetIdleTime(int mode)
{
    if (mode != m_settings.IdleTimeMode) {
        m_settings.IdleTimeMode = mode;
        RestartIdleClock();
    }
}

void CTamselDlg::OnGpsPort(int port)
{
    m_settings.GPSComport = port;
    ::PostMessageW(Hwnd(), UM_SAVE_SETTINGS, 0, 0);
}

void CTamselDlg::OnSetPreviewSize(int sizeMod)
{
    const bool shortScreen = ::GetSystemMetrics(SM_CYSCREEN) < 768;
    if (sizeMod == m_settings.WindowSizeMod || (sizeMod == 1 && shortScreen)) {
        ReplyToSetup(kSetupPreviewSize, m_settings.WindowSizeMod);
        return;
    }
    m_settings.WindowSizeMod = shortScreen ? 0 : sizeMod;
    m_capture.StopGraph();
    RelayoutWindow();
    // The video window follows the viewer's new size.
    m_capture.FitVideoWindow();
    m_capture.RunGraph();
    ReplyToSetup(kSetupPreviewSize, m_settings.WindowSizeMod);
    RestartIdleClock();
}

void CTamselDlg::ReplyToSetup(WPARAM, LPARAM)
{
    // Replies go to the setup dialog while it is open; it arrives with the
    // settings user interface, and until then every reply is dropped.
}

// ---- camera -----------------------------------------------------------------

void CTamselDlg::OnStartPreview()
{
    if (!IsOpen())
        return;
    m_capture.m_hVideoOwner = m_pPreviewDlg ? m_pPreviewDlg->Hwnd() : nullptr;
    m_capture.m_hNotifyWnd = Hwnd();
    m_capture.m_nResMode = m_settings.ResolutionMode;
    if (!m_capture.StartPreview())
        fw::ShowMessage(Hwnd(), L"Start preview error");
}

bool CTamselDlg::RestartGraph()
{
    m_capture.TearDownGraph();
    return m_capture.DevCount() != 0 && m_capture.BuildGraph() && m_capture.ConnectGraph() &&
           m_capture.RunGraph();
}

void CTamselDlg::RepaintViewerAndPump()
{
    if (m_pPreviewDlg) {
        ::InvalidateRect(m_pPreviewDlg->Hwnd(), nullptr, TRUE);
        ::UpdateWindow(m_pPreviewDlg->Hwnd());
    }
    PumpWaitingMessages();
}

void CTamselDlg::OnSelectCamera(int index)
{
    if (!IsOpen())
        return;
    m_capture.StopGraph();
    RepaintViewerAndPump();
    if (m_capture.SwitchDevice(index)) {
        m_settings.CurDevIndex = index;
        m_bCameraHasFlash = false; // flash support arrives with the flash controller
        ReplyToSetup(kSetupCameraChanged, index);
    } else {
        ReplyToSetup(kSetupChangeFailed, 1);
    }
}

void CTamselDlg::OnSetResolution(int mode)
{
    if (!IsOpen())
        return;
    m_capture.StopGraph();
    RepaintViewerAndPump();
    const int old = m_settings.ResolutionMode;
    m_settings.ResolutionMode = m_capture.m_nResMode = mode;
    if (RestartGraph()) {
        ReplyToSetup(kSetupResolutionApplied, m_settings.ResolutionMode);
        return;
    }
    m_settings.ResolutionMode = m_capture.m_nResMode = old;
    RestartGraph(); // the old resolution ran before, a failure here has no one to tell
    ReplyToSetup(kSetupChangeFailed, 2);
}

void CTamselDlg::OnRotate(int code)
{
    if (code == m_nRotation || m_nMode == 2 || !IsOpen())
        return;
    m_nRotation = code;
    RelayoutWindow();
    RestartGraph();
    m_capture.SetRollAngle(RollAngleForRotation(code));
}

void CTamselDlg::OnDeviceChange(WPARAM event)
{
    if (event != DBT_DEVNODES_CHANGED)
        return;
    int present = 0;
    if (FAILED(CDShowCapture::EnumVideoDevices(nullptr, nullptr, &present)))
        present = 0;
    if (present > m_settings.TotalDevNum)
        m_capture.OnVideoDeviceArrival();
    else if (present < m_settings.TotalDevNum)
        m_capture.OnVideoDeviceRemoval();
}

void CTamselDlg::OnDeviceLost()
{
    m_capture.TearDownGraph();
    m_capture.FreeDeviceList();
    m_capture.m_hVideoOwner = nullptr;
    m_settings.TotalDevNum = m_capture.BuildDeviceList();
    if (m_settings.TotalDevNum == 0) {
        m_capture.m_nCurDev = -1;
        fw::ShowMessage(Hwnd(), L"No camera devie plug-in");
        return;
    }
    m_settings.CurDevIndex = m_capture.m_nCurDev = 0;
    ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
    ReplyToSetup(kSetupCameraChanged, m_settings.CurDevIndex);
}

void CTamselDlg::OnDeviceRescan()
{
    m_capture.TearDownGraph();
    m_capture.FreeDeviceList();
    m_capture.m_hVideoOwner = nullptr;
    m_settings.TotalDevNum = m_capture.BuildDeviceList();
    if (m_settings.TotalDevNum > 0) {
        m_settings.CurDevIndex = m_capture.m_nCurDev = 0;
    } else {
        m_capture.m_nCurDev = -1;
        if (IsOpen())
            fw::ShowMessage(Hwnd(), L"No camera devie plug-in");
        else
            ::OutputDebugStringW(L"No camera devie plug-in");
    }
    m_capture.m_bRemovalBusy = false;
}

void CTamselDlg::OnDeviceCountChanged(WPARAM count, LPARAM current)
{
    m_settings.TotalDevNum = static_cast<int>(count);
    m_settings.CurDevIndex = static_cast<int>(current);
    ReplyToSetup(kSetupCameraChanged, m_settings.CurDevIndex);
}

void CTamselDlg::OnPreviewPainted()
{
    if (IsOpen() && m_pPreviewDlg)
        fw::WindowDC dc(m_pPreviewDlg->Hwnd()); // taken and given back; nothing is drawn
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

bool CTamselDlg::CreateSnapshotWorker()
{
    m_hSnapEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return m_hSnapEvent && StartSnapshotWorker();
}

bool CTamselDlg::StartSnapshotWorker()
{
    m_hSnapThread.reset(::CreateThread(nullptr, 0, &CTamselDlg::SnapshotThreadEntry, this, 0, nullptr));
    return static_cast<bool>(m_hSnapThread);
}

DWORD WINAPI CTamselDlg::SnapshotThreadEntry(void* self)
{
    try {
        static_cast<CTamselDlg*>(self)->SnapshotThreadProc();
    } catch (...) {
        ::OutputDebugStringW(L"Snapshot worker ended by an exception\n");
    }
    return 0;
}

void CTamselDlg::SnapshotThreadProc()
{
    for (;;) {
        ::WaitForSingleObject(m_hSnapEvent.get(), INFINITE);
        if (m_bSnapQuit)
            return;
        TakeSnapshot();
        RestartIdleClock();
        ::ResetEvent(m_hSnapEvent.get());
        ::PostMessageW(Hwnd(), UM_SNAPSHOT_DONE, 0, 0);
    }
}

void CTamselDlg::TakeSnapshot()
{
    // The capture, encoding and saving of one picture arrive with the
    // snapshot pipeline.
}

void CTamselDlg::OnCommand(UINT id, UINT, HWND)
{
    switch (id) {
    case IDC_BTN_CLOSE:
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        break;
    case IDC_BTN_TEST:
        OnTestCapture();
        break;
    case IDC_BTN_CAPTURE:
        if (m_nMode != 2) {
            ::PostMessageW(Hwnd(), UM_SNAPSHOT, 0, 0);
            RestartIdleClock();
        }
        break;
    default:
        break; // Enter (IDOK) and Escape (IDCANCEL) do nothing
    }
}

bool CTamselDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    switch (msg) {
    case WM_CLOSE: OnClose(); return true;
    case WM_DESTROY: OnDestroy(); return true;
    case WM_ERASEBKGND: result = TRUE; return true;
    case WM_NCHITTEST: result = HTCAPTION; return true;
    case WM_WINDOWPOSCHANGING: OnWindowPosChanging(*reinterpret_cast<WINDOWPOS*>(lp)); return false;
    case WM_TIMER: OnTimer(wp); return true;
    case WM_POWERBROADCAST: OnPowerBroadcast(wp); return false;
    case WM_DISPLAYCHANGE: result = 0; return true;
    case WM_QUERYDRAGICON: result = reinterpret_cast<LRESULT>(m_hIcon); return true;
    case UM_TRAY_NOTIFY: OnTrayNotify(lp); return true;
    case UM_SNAPSHOT: OnSnapshotRequest(); return true;
    case UM_EXTERN_CLICK: OnExternClick(); return true;
    case UM_HW_SNAPSHOT_KEY: OnHwSnapshotKey(); return true;
    case UM_SNAPSHOT_DONE: m_bSnapBusy = false; return true;
    case UM_SET_IDLE_TIME: OnSetIdleTime(static_cast<int>(wp)); return true;
    case UM_SET_FLASH: m_settings.FlashOn = wp != 0; return true;
    case UM_SAVE_SETTINGS: SaveSettings(); return true;
    case UM_GPS_PORT: OnGpsPort(static_cast<int>(wp)); return true;
    case UM_QUIT: ::PostQuitMessage(0); return true;
    case UM_SET_PREVIEW_SIZE: OnSetPreviewSize(static_cast<int>(wp)); return true;
    case UM_START_PREVIEW: OnStartPreview(); return true;
    case UM_SELECT_CAMERA: OnSelectCamera(static_cast<int>(wp)); return true;
    case UM_SET_RESOLUTION: OnSetResolution(static_cast<int>(wp)); return true;
    case UM_ROTATE: OnRotate(static_cast<int>(wp)); return true;
    case UM_GRAPH_EVENT: m_capture.HandleGraphEvents(); return true;
    case UM_DEVICE_LOST: OnDeviceLost(); return true;
    case UM_DEVICE_RESCAN: OnDeviceRescan(); return true;
    case UM_DEVICE_REMOVED:
        m_capture.m_bRemovalBusy = false;
        OnDeviceCountChanged(wp, lp);
        return true;
    case UM_DEVICE_ARRIVED:
        m_capture.m_bArrivalBusy = false;
        OnDeviceCountChanged(wp, lp);
        // A camera found after a start without one still gets its snapshot worker.
        if (!m_hSnapThread)
            CreateSnapshotWorker();
        if (IsOpen())
            ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
        return true;
    case UM_RESTART_PREVIEW:
        m_capture.TearDownGraph();
        ::PostMessageW(Hwnd(), UM_START_PREVIEW, 0, 0);
        return true;
    case UM_PREVIEW_PAINTED: OnPreviewPainted(); return true;
    case WM_DEVICECHANGE: OnDeviceChange(wp); result = TRUE; return true;
    default: return false;
    }
}

} // namespace tamsel
