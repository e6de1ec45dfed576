// The main window and the program's controller: it owns the settings and the
// parts that do the work (tray icon, idle clock, capture engine, live
// preview, snapshot worker), runs the start-up, hide and end sequences, and
// routes each message to the part that owns it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "capture/CaptureHost.h"
#include "capture/DShowCapture.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "framework/WindowState.h"
#include "gps/GpsControl.h"
#include "review/PictureReview.h"
#include "review/PreviewDlg.h"
#include "settings/AppSettings.h"
#include "settings/DebugLog.h"
#include "settings/PictureList.h"
#include "shell/IdleClock.h"
#include "shell/LivePreview.h"
#include "shell/SetupControl.h"
#include "shell/TrayIcon.h"
#include "snapshot/JpegEncoder.h"
#include "snapshot/Snapshot.h"
#include "snapshot/SnapshotWorker.h"
#include "snapshot/StealthControls.h"
#include "ui/MainButtons.h"
#include "ui/MainPainter.h"
#include "ui/SkinImages.h"

namespace tamsel {

class CTamselDlg : public fw::Dialog, private ICaptureHost, private IPreviewHost, private IReviewHost {
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
    bool OpenStealthControls();
    bool StartSnapshotWorker();
    void StartLiveMachinery();
    void OnClose();
    void OnDestroy();
    void Quit();

    // Settings.
    void LoadSettings();
    // The reload of a reopening: the files, with the camera fields kept in
    // step with the device list.
    void ReloadSettings();
    void SaveSettings();

    // Window state and reopening.
    bool IsOpen() const override { return m_state.IsOpen(); }
    void ShowOpenWindow();
    void BringToTop();
    void SetupUi();
    void LayoutWindow();
    void FreeSkinImages();
    void OnPaint();
    bool PaintBackground(HDC dc) override;
    MainPaint PaintRecord() const;
    void OnExternClick();
    void OnTrayDoubleClick();
    void FinishReopening();
    void OnHwSnapshotKey();
    void OnPowerBroadcast(WPARAM event);
    void OnWindowPosChanging(WINDOWPOS& pos);
    bool HandleOwn(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // Camera side.
    void OnTestCapture();
    void StopGpsReader();
    // The snapshot worker's body, and what the window does with a new picture.
    void TakeSnapshot();
    SnapshotSettings CurrentSnapshotSettings() const;
    void OnSnapshotSaved(const std::wstring& path, fw::GpImagePtr picture);
    bool CheckCameraFlash() const;

    // ICaptureHost.
    int KnownCameraCount() const override { return m_settings.TotalDevNum; }
    void OnCamerasChanged(int count, int current, bool tellSetup) override;
    void OnNoCamera(bool asBox) override;
    // IPreviewHost.
    HWND MainWindow() const override { return Hwnd(); }
    const WindowState& State() const override { return m_state; }
    HWND ViewerWindow() const override { return m_pPreviewDlg ? m_pPreviewDlg->Hwnd() : nullptr; }
    void RelayoutWindow() override;
    void RepaintViewerAndPump() override;
    void ReplyToSetup(WPARAM code, LPARAM value) override;
    void OnCameraSelected(int index) override;
    void RestartIdleClock() override { m_idle.RestartIdleClock(); }
    // IReviewHost.
    CPreviewDlg* Viewer() const override { return m_pPreviewDlg.get(); }
    void StopLivePreview() override { m_capture.TearDownGraph(); }
    bool StartLivePreview() override { return m_preview.StartAfterReview(); }

    std::wstring m_szAppFolder, m_szPicFolder, m_szTempFolder;
    bool m_bResumeOnWake = false;
    // Open or hidden, live or review: the one record every part reads, again
    // after each pump of the queued messages.
    WindowState m_state;
    DebugLog m_log;
    // The skin's images and icons, and the buttons that show them.
    CSkinImages m_skin{m_log};
    MainButtons m_buttons;
    bool m_bAllowShow = false;
    AppSettings m_settings;
    CDShowCapture m_capture;
    std::unique_ptr<CPreviewDlg> m_pPreviewDlg;
    CJpegEncoder m_jpeg;
    int m_nOsLevel = 0;
    bool m_bCameraHasFlash = false;
    CStealthControls m_stealth;

    // The parts, asked in turn for each message.
    CTrayIcon m_tray;
    CIdleClock m_idle{m_settings.IdleTimeMode};
    CLivePreview m_preview{*this, m_settings, m_capture};
    CSnapshotWorker m_snapshots;
    CGpsControl m_gps{[this] { return Hwnd(); }, m_settings, m_idle};
    CSetupControl m_setup{[this] { return Hwnd(); }, [this] { return m_szAppFolder + L"\\pic"; }, m_settings, m_skin,
                          m_idle};

    // The pictures taken, and their review.
    PictureList m_pics;
    CPictureReview m_review{*this, m_pics, m_state, m_buttons, m_skin, m_idle};
    CSnapshot m_snapshot{m_jpeg, [this](std::vector<uint8_t>& image) { return m_capture.CaptureStill(image); },
                         [this] { return m_gps.FixCopy(); }};
};

} // namespace tamsel
