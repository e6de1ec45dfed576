// The main window and the program's controller: it owns the settings, the
// capture engine, the tray icon, the keyboard hook and the worker threads.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/DShowCapture.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "gps/GpsInfo.h"
#include "review/PreviewDlg.h"
#include "settings/AppSettings.h"
#include "settings/DebugLog.h"
#include "snapshot/JpegEncoder.h"
#include "snapshot/StealthControls.h"

namespace tamsel {

class CTamselDlg : public fw::Dialog {
public:
    CTamselDlg();
    ~CTamselDlg() override;

    bool m_bShowOnStart = true;

protected:
    bool OnInitDialog() override;
    void OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    // Start-up, hiding and ending.
    bool CheckOsVersion();
    void OnClose();
    void OnDestroy();
    void Quit();

    // Settings.
    void LoadSettings();
    // The reload of a reopening: the files, with the camera fields kept in
    // step with the device list.
    void ReloadSettings();
    void SaveSettings();

    // Window state.
    bool IsOpen() const noexcept { return m_bActive; }
    void ShowOpenWindow();
    void BringToTop();
    void CenterOnScreen();
    void SetupUi();
    void LayoutWindow();
    void RelayoutWindow();
    void FreeSkinImages();
    bool AddTrayIcon();
    void RemoveTrayIcon();

    // Idle rule.
    void RestartIdleClock() noexcept { m_dwLastActivity = ::GetTickCount(); }
    bool StartIdleTimer();
    void KillIdleTimer();

    // Message handlers.
    void OnExternClick();
    void OnTrayNotify(LPARAM mouseMessage);
    void FinishReopening();
    void ReenterPictureReview();
    void OnHwSnapshotKey();
    void OnSnapshotRequest();
    void OnTimer(UINT_PTR id);
    void OnPowerBroadcast(WPARAM event);
    void OnWindowPosChanging(WINDOWPOS& pos);
    void OnSetIdleTime(int mode);
    void OnSetPreviewSize(int sizeMod);
    void OnGpsPort(int port);
    void ReplyToSetup(WPARAM code, LPARAM value);

    // Camera.
    void OnStartPreview();
    bool RestartGraph();
    void RepaintViewerAndPump();
    void OnSelectCamera(int index);
    void OnSetResolution(int mode);
    void OnRotate(int code);
    void OnDeviceChange(WPARAM event);
    void OnDeviceLost();
    void OnDeviceRescan();
    void OnDeviceCountChanged(WPARAM count, LPARAM current);
    void OnPreviewPainted();
    void OnTestCapture();

    // Snapshot worker.
    bool CreateSnapshotWorker();
    bool StartSnapshotWorker();
    static DWORD WINAPI SnapshotThreadEntry(void* self);
    void SnapshotThreadProc();
    void TakeSnapshot();
    void StopGpsReader();

    std::wstring m_szAppFolder, m_szPicFolder, m_szTempFolder;
    bool m_bResumeOnWake = false;
    bool m_bActive = false;
    int m_nMode = 1;
    int m_nRotation = 1;
    HICON m_hIcon = nullptr;
    HICON m_hTrayIcon = nullptr;
    DebugLog m_log;
    NOTIFYICONDATAW m_nid{};
    bool m_bTrayIconAdded = false;
    bool m_bAllowShow = false;
    AppSettings m_settings;
    CDShowCapture m_capture;
    std::unique_ptr<CPreviewDlg> m_pPreviewDlg;
    CJpegEncoder m_jpeg;
    SGpsInfo m_gpsInfo;
    fw::Handle m_hGpsThread;
    std::atomic<bool> m_bGpsStop{false};
    UINT_PTR m_nIdleTimer = 0;
    DWORD m_dwLastActivity = 0;
    int m_nOsLevel = 0;
    bool m_bCameraHasFlash = false;
    CStealthControls m_stealth;
    fw::Handle m_hSnapEvent;
    fw::Handle m_hSnapThread;
    std::atomic<bool> m_bSnapQuit{false};
    bool m_bSnapBusy = false;
};

} // namespace tamsel
