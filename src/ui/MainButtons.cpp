#include "ui/MainButtons.h"

#include "resources/resource.h"

namespace tamsel {

std::array<std::pair<int, CKbcButton*>, 9> MainButtonControls(MainButtons& b)
{
    return {{{IDC_BTN_LEFT, &b.left},
             {IDC_BTN_RIGHT, &b.right},
             {IDC_BTN_THUMB, &b.thumb},
             {IDC_BTN_MODE, &b.mode},
             {IDC_BTN_CLOSE, &b.close},
             {IDC_BTN_SETUP, &b.setup},
             {IDC_BTN_CAPTURE, &b.capture},
             {IDC_BTN_DELETE, &b.del},
             {IDC_BTN_GPS, &b.gps}}};
}

void ApplyModeFaces(MainButtons& b, const CSkinImages& skin, int mode)
{
    const bool review = mode == 2;
    auto faces = [&](CKbcButton& button, int normal, int pressed) {
        button.SetImages(skin.Image(normal), skin.Image(pressed));
    };
    faces(b.close, kSkinClose, kSkinCloseSelect);
    faces(b.setup, kSkinSetup, kSkinSetupSelect);
    faces(b.capture, kSkinCapture, review ? kSkinCapture : kSkinCaptureSelect);
    faces(b.del, kSkinDelete, review ? kSkinDeleteSelect : kSkinDelete);
    faces(b.left, kSkinLeftArrow, kSkinLeftArrowSelect);
    faces(b.right, kSkinRightArrow, kSkinRightArrowSelect);
    if (review)
        faces(b.mode, kSkinModeSwitchPic, kSkinModeSwitchPicSelect);
    else
        faces(b.mode, kSkinModeSwitch, kSkinModeSwitchSelect);
}

void SetGpsFace(MainButtons& b, const CSkinImages& skin, GpsImage image)
{
    const int entry = SkinEntryOf(image);
    if (entry < 0)
        return;
    b.gps.m_pNormal = b.gps.m_pPressed = skin.Image(entry);
}

void ClearFaces(MainButtons& b)
{
    for (auto& control : MainButtonControls(b))
        control.second->m_pNormal = control.second->m_pPressed = nullptr;
}

} // namespace tamsel
