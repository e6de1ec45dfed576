#include "shell/SetupControl.h"

#include "framework/Debug.h"
#include "framework/Messages.h"

namespace tamsel {

namespace {

// The main window stays topmost; the dialog above it must be so too (Wine
// leaves a new owned window below a topmost owner).
void BringToTop(HWND dlg)
{
    ::BringWindowToTop(dlg);
    ::SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

} // namespace

CSetupControl::CSetupControl(std::function<HWND()> mainWindow, std::function<std::wstring()> skinFolder,
                             AppSettings& settings, CSkinImages& skin, CIdleClock& idle)
    : m_mainWindow(std::move(mainWindow)), m_skinFolder(std::move(skinFolder)), m_settings(settings),
      m_skin(skin), m_idle(idle)
{
}

bool CSetupControl::OnMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result)
{
    if (msg == WM_WINDOWPOSCHANGED) {
        // The main window was raised (shown again, laid out, made topmost):
        // the open dialog stays above it. Wine does not keep an owned window
        // above its topmost owner by itself.
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
        if (m_pSetupDlg && !(pos->flags & SWP_NOZORDER) && ::IsWindowVisible(m_pSetupDlg->Hwnd()))
            ::SetWindowPos(m_pSetupDlg->Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return false; // the window's own handling goes on
    }
    if (msg != UM_SETUP_CLOSED)
        return false;
    if (m_pSetupDlg) {
        ::ShowWindow(m_pSetupDlg->Hwnd(), SW_HIDE);
        CloseSetupDialog();
        ::PostMessageW(m_mainWindow(), UM_SAVE_SETTINGS, 0, 0);
    }
    result = 0;
    return true;
}

void CSetupControl::OpenSetupDialog()
{
    m_idle.RestartIdleClock();
    if (m_pRetired && !m_pRetired->InModalRun())
        m_pRetired.reset();
    if (m_pSetupDlg) {
        BringToTop(m_pSetupDlg->Hwnd());
        return;
    }
    const HWND main = m_mainWindow();
    auto dlg = std::make_unique<CSetupDlg>();
    if (!dlg->Create(main))
        return;
    dlg->m_hMainWnd = main;
    m_skin.LoadSetupImages(m_skinFolder());
    dlg->m_pSkin = &m_skin;
    dlg->m_nResolution = m_settings.ResolutionMode;
    dlg->m_nPreviewSize = m_settings.WindowSizeMod;
    dlg->m_bGeotagging = m_settings.GPS_ON;
    dlg->m_bFlash = m_settings.FlashOn;
    dlg->m_nIdleTime = m_settings.IdleTimeMode;
    dlg->m_nDevCount = m_settings.TotalDevNum;
    dlg->m_nCurDev = m_settings.CurDevIndex;
    dlg->m_nPort = m_settings.GPSComport;
    dlg->m_pszTitle = &m_settings.WinTitle;
    dlg->m_pszDescription = &m_settings.CopyRight;
    dlg->InitLayout();
    ::ShowWindow(dlg->Hwnd(), SW_SHOW);
    BringToTop(dlg->Hwnd());
    m_pSetupDlg = std::move(dlg);
}

void CSetupControl::CloseSetupDialog()
{
    if (!m_pSetupDlg)
        return;
    // No button may draw an image while it is freed: the dialog goes first.
    m_pSetupDlg->DestroyWindow();
    if (m_pSetupDlg->InModalRun())
        m_pRetired = std::move(m_pSetupDlg);
    m_pSetupDlg.reset();
    m_skin.FreeSetupImages();
}

void CSetupControl::ReplyToSetup(WPARAM code, LPARAM value)
{
    if (m_pSetupDlg)
        ::PostMessageW(m_pSetupDlg->Hwnd(), UM_SETUP_RESULT, code, value);
}

void CSetupControl::OnCamerasChanged(int count, int current)
{
    if (!m_pSetupDlg)
        return;
    m_pSetupDlg->m_nDevCount = count;
    ReplyToSetup(kSetupCameraChanged, current);
}

void CSetupControl::ForwardGpsPort(WPARAM port)
{
    if (m_pSetupDlg)
        ::PostMessageW(m_pSetupDlg->Hwnd(), UM_GPS_PORT, port, 0);
}

void CSetupControl::OnGeotagging(bool on)
{
    if (!m_pSetupDlg)
        return;
    m_pSetupDlg->m_bGeotagging = on;
    m_pSetupDlg->RefreshGeotagButtons();
}

} // namespace tamsel
