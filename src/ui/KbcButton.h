// The only button kind of the skinned windows: it draws one of two borrowed
// images stretched to its own size and nothing else (no text, border or focus
// rectangle). Below the image it erases to the parent's background, which the
// parent draws on WM_PRINTCLIENT into the button's context: a face with
// transparent parts, or none, then shows the window behind it and never an
// older face. Clicks reach the parent as BN_CLICKED.
#pragma once

#include "framework/Dialog.h"
#include "framework/Gdiplus.h"

namespace tamsel {

class CKbcButton : public fw::ChildControl {
public:
    // Borrowed: the window that made the button sets them, changes them and
    // clears them before it frees the images. Null draws nothing.
    Gdiplus::GpImage* m_pNormal = nullptr;
    Gdiplus::GpImage* m_pPressed = nullptr;

    // Sets both faces and repaints the button.
    void SetImages(Gdiplus::GpImage* normal, Gdiplus::GpImage* pressed);
    void Repaint();

    void DrawItem(const DRAWITEMSTRUCT& item) override;

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void EraseBelow(HDC dc);

    int m_nTracking = 0;
    int m_nHover = 0;
};

} // namespace tamsel
