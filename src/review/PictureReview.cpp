#include "review/PictureReview.h"

#include <string>

#include "framework/Debug.h"
#include "framework/Files.h"
#include "shell/Messages.h"

namespace tamsel {

fw::GpImagePtr LoadPictureImage(const std::wstring& path)
{
    Gdiplus::GpImage* raw = nullptr;
    fw::gp::GdipLoadImageFromFile(path.c_str(), &raw);
    return fw::GpImagePtr(raw);
}

PathExists CPictureReview::Exists()
{
    return [](const std::wstring& path) { return fw::PathExists(path); };
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
    if (CPreviewDlg* viewer = m_host.Viewer())
        viewer->m_pImage = nullptr;
    m_host.SetThumbFaces(nullptr);
    m_pPicImage.reset();
    m_pThumbImage.reset();
}

void CPictureReview::PostSave() const
{
    ::PostMessageW(m_host.MainWindow(), UM_SAVE_SETTINGS, 0, 0);
}

bool CPictureReview::ValidateCurrentPicture()
{
    bool removed = false;
    const bool found = tamsel::ValidateCurrentPicture(m_pics, Exists(), &removed);
    if (removed)
        PostSave();
    return found;
}

void CPictureReview::ShowCurrent(bool viewerToo)
{
    CPreviewDlg* viewer = m_host.Viewer();
    const bool empty = m_pics.PicFiles.empty();
    // Neither the button nor the viewer may draw an image while it is freed.
    m_host.SetThumbFaces(nullptr);
    if (viewerToo && viewer)
        viewer->m_pImage = nullptr;
    LoadThumbImage();
    if (viewerToo) {
        m_pPicImage = empty ? nullptr : LoadPictureImage(m_pics.PicFiles[m_pics.CurPicIndex]);
        if (viewer) {
            viewer->m_pImage = m_pPicImage.get();
            ::InvalidateRect(viewer->Hwnd(), nullptr, TRUE);
        }
    }
    m_host.SetThumbFaces(m_pThumbImage.get());
    m_host.RefreshThumbnail(empty);
}

void CPictureReview::OnModeSwitch()
{
    if (m_nMode == 2)
        LeaveReview();
    else
        EnterReview();
}

void CPictureReview::EnterReview()
{
    m_host.StopLivePreview();
    m_nMode = 2;
    if (CPreviewDlg* viewer = m_host.Viewer())
        viewer->m_nViewMode = 2;
    FreeImages();
    ValidateCurrentPicture();
    ShowCurrent(true);
    m_host.ApplyModeFaces();
}

void CPictureReview::LeaveReview()
{
    m_nMode = 1;
    if (CPreviewDlg* viewer = m_host.Viewer()) {
        viewer->m_nViewMode = 1;
        viewer->ClearDeleteQuestion();
        // Black underneath the video, and black when no camera is there.
        ::InvalidateRect(viewer->Hwnd(), nullptr, TRUE);
    }
    m_host.StartLivePreview();
    ValidateCurrentPicture();
    ShowCurrent(false);
    m_host.ApplyModeFaces();
}

void CPictureReview::ReenterReview()
{
    // Review is entered afresh, with the freshly loaded skin.
    m_nMode = 1;
    if (CPreviewDlg* viewer = m_host.Viewer())
        viewer->m_nViewMode = 1;
    EnterReview();
}

void CPictureReview::RefreshThumbnail()
{
    ValidateCurrentPicture();
    ShowCurrent(false);
}

void CPictureReview::Step(const ReviewStep& step)
{
    if (!step.moved)
        return;
    if (step.removed)
        PostSave();
    ShowCurrent(m_nMode == 2);
}

bool CPictureReview::OnDeleteCommand()
{
    CPreviewDlg* viewer = m_host.Viewer();
    if (m_nMode != 2 || m_pics.PicFiles.empty() || !viewer)
        return false;
    viewer->ShowDeleteQuestion();
    return true;
}

void CPictureReview::OnDeleteAnswer(WPARAM answer)
{
    CPreviewDlg* viewer = m_host.Viewer();
    const int n = static_cast<int>(m_pics.PicFiles.size());
    if (answer != 1 || m_nMode != 2 || m_pics.CurPicIndex < 0 || m_pics.CurPicIndex >= n) {
        if (viewer)
            ::InvalidateRect(viewer->Hwnd(), nullptr, TRUE); // the question goes
        return;
    }
    // No image may hold the file while it is deleted.
    FreeImages();
    const std::wstring path = m_pics.PicFiles[m_pics.CurPicIndex];
    if (!::DeleteFileW(path.c_str())) {
        const DWORD error = ::GetLastError();
        std::wstring text = L"delete " + path + L" error\nError code = " + std::to_wstring(error);
        fw::ShowMessage(m_host.MainWindow(), text.c_str(), fw::AppName());
        // Nothing was removed: the picture is shown again.
        ShowCurrent(true);
        return;
    }
    RemoveDeletedPicture(m_pics, Exists());
    ShowCurrent(true);
}

void CPictureReview::OnPictureAdded()
{
    ShowCurrent(m_nMode == 2);
}

} // namespace tamsel
