// The picture viewer in the middle of the main window. In live preview it
// hosts the capture graph's video window and paints black underneath; in
// picture review it shows the current picture stretched over its area, or
// "No Picture", and asks whether to delete the shown picture.
#pragma once

#include "framework/Dialog.h"
#include "framework/Gdiplus.h"
#include "review/ReviewRules.h"

namespace tamsel {

class CPreviewDlg : public fw::Dialog {
public:
    CPreviewDlg();

    int m_nViewMode = 1;                  // 1 live preview, 2 picture review
    HWND m_hNotifyWnd = nullptr;          // the main window
    Gdiplus::GpImage* m_pImage = nullptr; // borrowed: the picture shown in review

    // Darkens what the viewer shows and draws "Delete?" with "Yes" and "No".
    void ShowDeleteQuestion();
    // Leaving review takes an open question away with it.
    void ClearDeleteQuestion() noexcept { m_bAskDelete = false; }
    bool AskingDelete() const noexcept { return m_bAskDelete; }

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void OnPaint();
    void DrawDeleteQuestion(HDC dc);
    bool OnLButtonUp(int x, int y);

    bool m_bAskDelete = false;
    QuestionRect m_rcYes, m_rcNo;
};

} // namespace tamsel
