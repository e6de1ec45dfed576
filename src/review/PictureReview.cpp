#include "review/PictureReview.h"

#include <string>

#include "framework/Debug.h"
#include "framework/Files.h"
#include "resources/resource.h"
#include "framework/Messages.h"
#include "ui/MainPainter.h"

namespace tamsel {

fw::GpImagePtr LoadPictureImage(const std::wstring& path)
{
    Gdiplus::GpImage* raw = nullptr;
    fw::gp::GdipLoadImageFromFile(path.c_str(), &raw);
    return fw::GpImagePtr(raw);
}

namespace {

// The thumbnail button is never larger than this.
constexpr UINT kThumbWidth = 129, kThumbHeight = 97;

using fw::ScaledCopy;

} // namespace

PathExists CPictureReview::Exists()
{
    return [](const std::wstring& path) { return fw::PathExists(path); };
}

void CPictureReview::LoadThumbImage()
{
    m_pThumbImage.reset();
    const int n = static_cast<int>(m_pics.PicFiles.size());
    if (n > 0 && m_pics.CurPicIndex >= 0 && m_pics.CurPicIndex < n)
        m_pThumbImage = ScaledCopy(LoadPictureImage(m_pics.PicFiles[m_pics.CurPicIndex]).get(), kThumbWidth,
                                   kThumbHeight);
}

void CPictureReview::FreeImages()
{
    if (CPreviewDlg* viewer = m_host.Viewer()) {
        viewer->m_pImage = nullptr;
        // A question asks about the picture shown: it goes with its images
        // (a hide, a deletion, a review entered afresh).
        viewer->ClearDeleteQuestion();
    }
    SetThumbFaces(nullptr);
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

void CPictureReview::ShowCurrent(bool viewerToo, fw::GpImagePtr picture)
{
    CPreviewDlg* viewer = m_host.Viewer();
    const bool empty = m_pics.PicFiles.empty();
    // Neither the button nor the viewer may draw an image while it is freed.
    SetThumbFaces(nullptr);
    if (viewerToo && viewer)
        viewer->m_pImage = nullptr;
    if (viewerToo) {
        if (picture)
            m_pPicImage = std::move(picture);
        else
            m_pPicImage = empty ? nullptr
                                : ScaledCopy(LoadPictureImage(m_pics.PicFiles[m_pics.CurPicIndex]).get(),
                                             kPictureWidth, kPictureHeight);
        m_pThumbImage = ScaledCopy(m_pPicImage.get(), kThumbWidth, kThumbHeight);
        if (viewer) {
            viewer->m_pImage = m_pPicImage.get();
            ::InvalidateRect(viewer->Hwnd(), nullptr, TRUE);
        }
    } else if (picture) {
        m_pThumbImage = ScaledCopy(picture.get(), kThumbWidth, kThumbHeight);
    } else {
        LoadThumbImage();
    }
    SetThumbFaces(m_pThumbImage.get());
    RefreshThumbnail(empty);
}

void CPictureReview::OnModeSwitch()
{
    if (InReview())
        LeaveReview();
    else
        EnterReview();
}

void CPictureReview::EnterReview()
{
    m_host.StopLivePreview();
    m_state.SetMode(WindowState::kReview);
    if (CPreviewDlg* viewer = m_host.Viewer())
        viewer->m_nViewMode = 2;
    FreeImages();
    ValidateCurrentPicture();
    ShowCurrent(true);
    ApplyModeFaces();
}

void CPictureReview::LeaveReview()
{
    m_state.SetMode(WindowState::kLive);
    if (CPreviewDlg* viewer = m_host.Viewer()) {
        viewer->m_nViewMode = 1;
        viewer->ClearDeleteQuestion();
        // Black underneath the video, and black when no camera is there.
        ::InvalidateRect(viewer->Hwnd(), nullptr, TRUE);
    }
    if (!m_host.StartLivePreview())
        return;
    ValidateCurrentPicture();
    ShowCurrent(false);
    ApplyModeFaces();
}

void CPictureReview::ReenterReview()
{
    // Review is entered afresh, with the freshly loaded skin.
    m_state.SetMode(WindowState::kLive);
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
    ShowCurrent(InReview());
}

void CPictureReview::OnDeleteCommand()
{
    CPreviewDlg* viewer = m_host.Viewer();
    if (!InReview() || m_pics.PicFiles.empty() || !viewer)
        return;
    viewer->ShowDeleteQuestion();
    m_idle.RestartIdleClock();
}

bool CPictureReview::OnCommand(UINT id)
{
    switch (id) {
    case IDC_BTN_MODE: OnModeSwitch(); return true;
    case IDC_BTN_LEFT: Step(StepLeft(m_pics, Exists())); return true;
    case IDC_BTN_RIGHT: Step(StepRight(m_pics, Exists())); return true;
    case IDC_BTN_DELETE: OnDeleteCommand(); return true;
    default: return false;
    }
}

bool CPictureReview::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result)
{
    if (msg != UM_DELETE_PICTURE)
        return false;
    OnDeleteAnswer(wp);
    result = 0;
    return true;
}

void CPictureReview::SetThumbFaces(Gdiplus::GpImage* image)
{
    m_buttons.thumb.m_pNormal = m_buttons.thumb.m_pPressed = image;
}

void CPictureReview::RefreshThumbnail(bool listEmpty)
{
    if (listEmpty)
        DrawEmptyThumbnail(m_host.MainWindow(), ChildRect(m_host.MainWindow(), m_buttons.thumb.Hwnd()));
    else
        m_buttons.thumb.Repaint();
}

void CPictureReview::OnDeleteAnswer(WPARAM answer)
{
    CPreviewDlg* viewer = m_host.Viewer();
    const int n = static_cast<int>(m_pics.PicFiles.size());
    if (answer != 1 || !InReview() || m_pics.CurPicIndex < 0 || m_pics.CurPicIndex >= n) {
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

bool CPictureReview::OnPictureAdded(fw::GpImagePtr picture)
{
    ShowCurrent(InReview(), std::move(picture));
    return m_pThumbImage != nullptr;
}

} // namespace tamsel
