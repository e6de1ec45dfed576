// The GPS port dialog, run modally from the setup dialog: the ports found on
// the machine in a drop-down list, and a scan that looks for the port a
// receiver talks on. Opening it stops the GPS reader; OK hands the chosen
// port to the main window, which stores it without starting the reader.
#pragma once

#include <windows.h>

#include "framework/Dialog.h"
#include "framework/Gdiplus.h"
#include "framework/Worker.h"
#include "gps/AutoScan.h"
#include "ui/KbcButton.h"

namespace tamsel {

class CGpsSettingDlg : public fw::Dialog {
public:
    CGpsSettingDlg();
    ~CGpsSettingDlg() override;

    HWND m_hMainWnd = nullptr; // gets UM_GPS_STOP on opening and UM_GPS_PORT on OK
    int m_nPort = -1;          // the configured port; after a successful scan the port found
    // Borrowed skin images, in the order the setup dialog hands them over;
    // null draws nothing.
    Gdiplus::GpImage* m_pBackground = nullptr;
    Gdiplus::GpImage* m_pAutoScan = nullptr;
    Gdiplus::GpImage* m_pScanning = nullptr;
    Gdiplus::GpImage* m_pOk = nullptr;
    Gdiplus::GpImage* m_pCancel = nullptr;

protected:
    bool OnInitDialog() override;
    void OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void FillPortList();
    void SelectPort(int port);
    void StartScan();
    void OnScanDone();
    void ShowBox(const wchar_t* text, const wchar_t* caption);
    bool PaintBackground(HDC dc) override;
    // Waits for the scan thread to end and forgets it.
    void JoinScan();

    CKbcButton m_btnAutoScan, m_btnOk, m_btnCancel;
    SAutoScan m_scan; // the ports (m_vecPorts) and the scan's findings
    bool m_bScanning = false;
    fw::Worker m_scanThread;
};

} // namespace tamsel
