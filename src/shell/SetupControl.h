// The main window's side of the setup dialog: opens it (or raises the open
// one), forwards answers and news to it while it is open, and closes it with
// its images when it reports closing or the window hides.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "settings/AppSettings.h"
#include "shell/IdleClock.h"
#include "ui/SetupDlg.h"
#include "ui/SkinImages.h"

namespace tamsel {

class CSetupControl {
public:
    // mainWindow: the dialog's owner and the receiver of its requests;
    // skinFolder: where the setup images are loaded from.
    CSetupControl(std::function<HWND()> mainWindow, std::function<std::wstring()> skinFolder,
                  AppSettings& settings, CSkinImages& skin, CIdleClock& idle);
    ~CSetupControl() { CloseSetupDialog(); }
    CSetupControl(const CSetupControl&) = delete;
    CSetupControl& operator=(const CSetupControl&) = delete;

    // UM_SETUP_CLOSED.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // The setup button: opens the dialog or brings the open one to the top.
    void OpenSetupDialog();
    // Destroys an open dialog and frees the setup images (the hide sequence).
    void CloseSetupDialog();
    bool IsOpen() const noexcept { return m_pSetupDlg != nullptr; }

    // UM_SETUP_RESULT to the open dialog; dropped when none is open.
    void ReplyToSetup(WPARAM code, LPARAM value);
    // Cameras came, went or were lost: the new count and the current index.
    void OnCamerasChanged(int count, int current);
    // UM_GPS_PORT, forwarded with the same port.
    void ForwardGpsPort(WPARAM port);
    // The GPS reader started or stopped.
    void OnGeotagging(bool on);

private:
    std::function<HWND()> m_mainWindow;
    std::function<std::wstring()> m_skinFolder;
    AppSettings& m_settings;
    CSkinImages& m_skin;
    CIdleClock& m_idle;
    std::unique_ptr<CSetupDlg> m_pSetupDlg;
    // A dialog closed while a modal window ran over it: its window is gone,
    // the object waits until that run has returned through it.
    std::unique_ptr<CSetupDlg> m_pRetired;
};

} // namespace tamsel
