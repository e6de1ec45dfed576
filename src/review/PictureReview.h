// Picture review: the two images of the current picture (the viewer's and the
// thumbnail's), the mode switch between live preview and review, paging
// through the picture list and deleting the shown picture. Everything here
// runs on the main window's thread.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Activity.h"
#include "framework/Gdiplus.h"
#include "framework/WindowState.h"
#include "review/PreviewDlg.h"
#include "review/ReviewRules.h"
#include "settings/PictureList.h"
#include "ui/MainButtons.h"
#include "ui/SkinImages.h"

namespace tamsel {

// A picture file loaded for display; null when the file is gone or cannot be
// decoded, which the viewer and the thumbnail show as no picture.
fw::GpImagePtr LoadPictureImage(const std::wstring& path);

// What review needs of the main window.
class IReviewHost {
public:
    virtual HWND MainWindow() const = 0;
    virtual CPreviewDlg* Viewer() const = 0;
    // The live picture stops for review. Starting it again first dispatches
    // what is queued, then builds the graph when a camera is there; a failure
    // shows nothing. False when a message dispatched there changed the
    // window's state (a second switch, a close): the switch back then ends.
    virtual void StopLivePreview() = 0;
    virtual bool StartLivePreview() = 0;

protected:
    ~IReviewHost() = default;
};

class CPictureReview {
public:
    // The viewer is never larger than this. A picture is decoded once and
    // kept at this size: drawing a 5-megapixel picture anew at every paint,
    // and once more for the thumbnail, costs GDI+ a full resample each time,
    // and its decoded pixels take 20 MB.
    static constexpr UINT kPictureWidth = 480, kPictureHeight = 360;
    static constexpr SIZE kPictureSize = {kPictureWidth, kPictureHeight};

    // `state` is the controller's; review sets its mode (1 live preview, 2
    // picture review). The buttons show the skin's faces and the pictures'
    // thumbnail.
    CPictureReview(IReviewHost& host, PictureList& pics, WindowState& state, MainButtons& buttons,
                   const CSkinImages& skin, IActivitySink& idle)
        : m_host(host), m_pics(pics), m_state(state), m_buttons(buttons), m_skin(skin), m_idle(idle)
    {
    }
    CPictureReview(const CPictureReview&) = delete;
    CPictureReview& operator=(const CPictureReview&) = delete;

    // The thumbnail slot of the skin load: the current entry's picture, or
    // none when the list is empty.
    void LoadThumbImage();
    // The hide and end sequences free both picture slots with the skin.
    void FreeImages();
    Gdiplus::GpImage* ThumbImage() const noexcept { return m_pThumbImage.get(); }
    // The layout gives the thumbnail button the current thumbnail as its faces.
    void GiveThumbFaces() { SetThumbFaces(m_pThumbImage.get()); }

    // Commands 1009, 1010, 1012 and 1013; false for any other.
    bool OnCommand(UINT id);
    // UM_DELETE_PICTURE: 1 deletes the current picture, anything else is "No".
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // A snapshot became the current picture. `picture`, when given, is the
    // new picture at kPictureWidth x kPictureHeight, which spares decoding
    // the file that was just written. False when no thumbnail could be made.
    bool OnPictureAdded(fw::GpImagePtr picture);
    // Makes the current entry name an existing file, posting the save when
    // entries were dropped. The reopening paths use it too.
    bool ValidateCurrentPicture();
    // A reopening in review: review is entered again from live preview.
    void ReenterReview();
    // A reopening in live preview: the thumbnail of a validated current picture.
    void RefreshThumbnail();

private:
    static PathExists Exists();
    void EnterReview();
    void LeaveReview();
    void Step(const ReviewStep& step);
    void OnModeSwitch();
    void OnDeleteCommand();
    void OnDeleteAnswer(WPARAM answer);
    // The thumbnail button's faces (no repaint), and its repaint, or the
    // empty-thumbnail notice at once when the list is empty.
    void SetThumbFaces(Gdiplus::GpImage* image);
    void RefreshThumbnail(bool listEmpty);
    void ApplyModeFaces() { tamsel::ApplyModeFaces(m_buttons, m_skin, m_state.Mode()); }
    bool InReview() const noexcept { return m_state.InReview(); }
    // Loads both images of the current entry (the viewer's only in review)
    // and shows them; from `picture` instead of the file when given.
    void ShowCurrent(bool viewerToo, fw::GpImagePtr picture = {});
    void PostSave() const;

    IReviewHost& m_host;
    PictureList& m_pics;
    WindowState& m_state;
    MainButtons& m_buttons;
    const CSkinImages& m_skin;
    IActivitySink& m_idle;
    fw::GpImagePtr m_pPicImage;   // the viewer's picture in review
    fw::GpImagePtr m_pThumbImage; // the thumbnail button's picture
};

} // namespace tamsel
