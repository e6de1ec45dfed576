// The skinned settings window, modeless and at most one. It changes no
// setting itself: each choice is posted to the main window, which applies it
// and, for the choices that can fail or be refused, answers with
// UM_SETUP_RESULT; the buttons show what the answer reports.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Dialog.h"
#include "ui/KbcButton.h"
#include "ui/SetupRules.h"

namespace tamsel {

class CSkinImages;

class CSetupDlg : public fw::Dialog, public SetupModel {
public:
    CSetupDlg();

    HWND m_hMainWnd = nullptr; // every request is posted to it
    // Borrowed from the main window's settings, for the description dialog.
    const std::wstring* m_pszTitle = nullptr;
    const std::wstring* m_pszDescription = nullptr;
    // The setup set of the skin, borrowed: the main window loads it before
    // it creates the dialog and frees it after the dialog is gone. Null
    // means no image objects at all.
    const CSkinImages* m_pSkin = nullptr;

    // Places and shows the buttons, shapes the window and centres it over
    // its owner; once, right after Create.
    void InitLayout();
    void RefreshCameraButtons();
    void RefreshResolutionButtons();
    void RefreshPreviewButtons();
    void RefreshGeotagButtons();
    void RefreshFlashButtons();
    void RefreshIdleButtons();

    // A modal window (a dialog or a message box) runs over the dialog: its
    // object must outlive that run even when its window is destroyed.
    bool InModalRun() const noexcept { return m_nModalRuns > 0; }

    static constexpr int kSide = 600;
    static constexpr int kButtonCount = 22;

protected:
    bool OnInitDialog() override;
    void OnCommand(UINT id, UINT notifyCode, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void Refresh(SetupGroup group);
    void OnSetupResult(WPARAM code, LPARAM value);
    void OnPaint();
    bool PaintBackground(HDC dc) override;
    void KeepAboveOwner();
    void OpenDescription();
    void OpenGpsPort();
    void OpenUserManual();
    CKbcButton* Button(int id);

    CKbcButton m_buttons[kButtonCount];
    int m_nModalRuns = 0;
};

} // namespace tamsel
