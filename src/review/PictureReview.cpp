#include "review/PictureReview.h"

namespace tamsel {

fw::GpImagePtr LoadPictureImage(const std::wstring& path)
{
    Gdiplus::GpImage* raw = nullptr;
    fw::gp::GdipLoadImageFromFile(path.c_str(), &raw);
    return fw::GpImagePtr(raw);
}

void CPictureReview::LoadThumbImage()
{
    m_pThumbImage.reset();
    const int n = static_cast<int>(m_pics.PicFiles.size());
    if (n > 0 && m_pics.CurPicIndex >= 0 && m_pics.CurPicIndex < n)
        m_pThumbImage = LoadPictureImage(m_pics.PicFiles[m_pics.CurPicIndex]);
}

void CPictureReview::FreeImages()
{
    m_pPicImage.reset();
    m_pThumbImage.reset();
}

} // namespace tamsel
