// The picture viewer in the middle of the main window. In live preview it
// hosts the capture graph's video window and paints black underneath.
#pragma once

#include "framework/Dialog.h"

namespace tamsel {

class CPreviewDlg : public fw::Dialog {
public:
    CPreviewDlg();

    int m_nViewMode = 1;            // 1 live preview, 2 picture review
    HWND m_hNotifyWnd = nullptr;    // the main window

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void OnPaint();
};

} // namespace tamsel
