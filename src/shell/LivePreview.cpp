#include "shell/LivePreview.h"

#include "capture/FrameRules.h"
#include "framework/Debug.h"
#include "framework/Handles.h"
#include "settings/AppSettings.h"
#include "framework/Messages.h"

namespace tamsel {

bool CLivePreview::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result)
{
    const int value = static_cast<int>(wp);
    switch (msg) {
    case UM_START_PREVIEW: OnStartPreview(); break;
    case UM_SELECT_CAMERA: OnSelectCamera(value); break;
    case UM_SET_RESOLUTION: OnSetResolution(value); break;
    case UM_ROTATE: OnRotate(value); break;
    case UM_SET_PREVIEW_SIZE: OnSetPreviewSize(value); break;
    case UM_PREVIEW_PAINTED: OnPreviewPainted(); break;
    default: return false;
    }
    result = 0;
    return true;
}

void CLivePreview::OnStartPreview()
{
    // In picture review the live picture waits for the switch back: a camera
    // plugged in meanwhile must not cover the picture under review.
    if (!IsOpen() || InReview())
        return;
    if (!m_capture.StartPreview({m_host.ViewerWindow(), m_settings.ResolutionMode}))
        fw::ShowMessage(m_host.MainWindow(), L"Start preview error");
}

bool CLivePreview::StartAfterReview()
{
    const WindowState::Mark mark = m_host.State().Now();
    m_host.RepaintViewerAndPump();
    // A second switch or a close dispatched there owns the window now; a
    // graph built here would run over its picture or behind a hidden window.
    if (m_host.State().ChangedSince(mark))
        return false;
    if (m_capture.DevCount() > 0)
        m_capture.StartPreview({m_host.ViewerWindow(), m_settings.ResolutionMode});
    return true;
}

bool CLivePreview::RestartGraph()
{
    m_capture.TearDownGraph();
    return m_capture.StartPreview({m_host.ViewerWindow(), m_settings.ResolutionMode});
}

bool CLivePreview::ClearForChange(const std::function<void()>& defer)
{
    // In review the change waits for the way back to live: no graph runs
    // over the picture under review.
    if (InReview()) {
        defer();
        return false;
    }
    m_capture.StopGraph();
    m_host.RepaintViewerAndPump();
    // A message dispatched there may have hidden the window (the hide took
    // the graph and the setup dialog with it) or switched to review.
    switch (Route()) {
    case WindowState::LiveChange::kGoOn: return true;
    case WindowState::LiveChange::kDefer: defer(); return false;
    case WindowState::LiveChange::kStop: return false;
    }
    return false;
}

void CLivePreview::OnSelectCamera(int index)
{
    if (!IsOpen() || index < 0 || index >= m_capture.DevCount())
        return;
    const auto chosen = [&](bool ok) {
        if (!ok) {
            m_host.ReplyToSetup(kSetupChangeFailed, 1);
            return;
        }
        m_settings.CurDevIndex = index;
        m_host.OnCameraSelected(index);
        m_host.ReplyToSetup(kSetupCameraChanged, index);
    };
    // Deferred, the camera is only selected; its graph is built on the way
    // back to live.
    if (ClearForChange([&] { chosen(m_capture.SelectDevice(index)); }))
        chosen(m_capture.SwitchDevice(index));
}

void CLivePreview::OnSetResolution(int mode)
{
    if (!IsOpen() || !IsResolutionMode(mode))
        return;
    const auto kept = [&] {
        m_settings.ResolutionMode = mode;
        m_host.ReplyToSetup(kSetupResolutionApplied, mode);
    };
    if (!ClearForChange(kept))
        return;
    const int old = m_settings.ResolutionMode;
    m_settings.ResolutionMode = mode;
    if (RestartGraph()) {
        m_host.ReplyToSetup(kSetupResolutionApplied, m_settings.ResolutionMode);
        return;
    }
    m_settings.ResolutionMode = old;
    RestartGraph(); // the old resolution ran before; a failure here has no one to tell
    m_host.ReplyToSetup(kSetupChangeFailed, 2);
}

void CLivePreview::OnRotate(int code)
{
    if (code < 1 || code > 4 || code == m_nRotation || InReview() || !IsOpen())
        return;
    m_host.RelayoutWindow();
    // A rotation is a live picture's: one that meets review or a hidden
    // window is dropped, as it would have been had it come after them.
    if (Route() != WindowState::LiveChange::kGoOn)
        return;
    m_nRotation = code;
    RestartGraph();
    m_capture.SetRollAngle(RollAngleForRotation(code));
}

void CLivePreview::OnSetPreviewSize(int sizeMod)
{
    // Laying out shows the window, which only an open window may do.
    if (!IsPreviewSize(sizeMod) || !IsOpen())
        return;
    const bool shortScreen = ::GetSystemMetrics(SM_CYSCREEN) < 768;
    if (sizeMod == m_settings.WindowSizeMod || (sizeMod == 1 && shortScreen)) {
        m_host.ReplyToSetup(kSetupPreviewSize, m_settings.WindowSizeMod);
        return;
    }
    m_settings.WindowSizeMod = shortScreen ? 0 : sizeMod;
    m_capture.StopGraph();
    m_host.RelayoutWindow();
    const WindowState::LiveChange route = Route();
    if (route == WindowState::LiveChange::kStop)
        return; // the hide saved the new size; the next opening lays it out
    if (route == WindowState::LiveChange::kGoOn) {
        // The video window follows the viewer's new size.
        m_capture.FitVideoWindow();
        m_capture.RunGraph();
    }
    m_host.ReplyToSetup(kSetupPreviewSize, m_settings.WindowSizeMod);
    m_host.RestartIdleClock();
}

void CLivePreview::OnPreviewPainted()
{
    if (IsOpen() && m_host.ViewerWindow())
        fw::WindowDC dc(m_host.ViewerWindow()); // taken and given back; nothing is drawn
}

} // namespace tamsel
