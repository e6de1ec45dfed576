// Picture review: the two images of the current picture (the viewer's and the
// thumbnail's), the mode switch, paging through the picture list and deleting
// the shown picture. Everything here runs on the main window's thread.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Gdiplus.h"
#include "settings/PictureList.h"

namespace tamsel {

// A picture file loaded for display; null when the file is gone or cannot be
// decoded, which the viewer and the thumbnail show as no picture.
fw::GpImagePtr LoadPictureImage(const std::wstring& path);

class CPictureReview {
public:
    explicit CPictureReview(PictureList& pics) : m_pics(pics) {}
    CPictureReview(const CPictureReview&) = delete;
    CPictureReview& operator=(const CPictureReview&) = delete;

    // The thumbnail slot of the skin load: the current entry's picture, or
    // none when the list is empty.
    void LoadThumbImage();
    // The hide and end sequences free both picture slots with the skin.
    void FreeImages();

    Gdiplus::GpImage* ThumbImage() const noexcept { return m_pThumbImage.get(); }
    Gdiplus::GpImage* PicImage() const noexcept { return m_pPicImage.get(); }

private:
    PictureList& m_pics;
    fw::GpImagePtr m_pPicImage;   // the viewer's picture in review
    fw::GpImagePtr m_pThumbImage; // the thumbnail button's picture
};

} // namespace tamsel
