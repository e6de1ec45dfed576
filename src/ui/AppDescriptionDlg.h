// The about window, run modally from the setup dialog: the logo, the
// program's file version and the configured description on a skinned,
// rounded window with one close button.
#pragma once

#include <string>

#include "framework/Dialog.h"
#include "framework/Gdiplus.h"
#include "ui/KbcButton.h"

namespace tamsel {

class CAppDescriptionDlg : public fw::Dialog {
public:
    CAppDescriptionDlg();

    // Borrowed from the main window's settings; set before DoModal.
    const std::wstring* m_pszTitle = nullptr;       // the window text
    const std::wstring* m_pszDescription = nullptr; // the second text line
    // Borrowed skin images; null draws nothing.
    Gdiplus::GpImage* m_pLogo = nullptr;
    Gdiplus::GpImage* m_pBackground = nullptr;
    Gdiplus::GpImage* m_pClose = nullptr;

protected:
    bool OnInitDialog() override;
    void OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    // The background and the logo.
    bool PaintBackground(HDC dc) override;

    std::wstring m_szVersion;
    CKbcButton m_btnOk;
};

} // namespace tamsel
