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

void CLivePreview::DeferCamera(int index)
{
    if (!m_capture.SelectDevice(index)) {
        m_host.ReplyToSetup(kSetupChangeFailed, 1);
        return;
    }
    m_settings.CurDevIndex = index;
    m_host.OnCameraSelected(index);
    m_host.ReplyToSetup(kSetupCameraChanged, index);
}

void CLivePreview::DeferResolution(int mode)
{
    m_settings.ResolutionMode = mode;
    m_host.ReplyToSetup(kSetupResolutionApplied, mode);
}

void CLivePreview::OnSelectCamera(int index)
{
    if (!IsOpen() || index < 0 || index >= m_capture.DevCount())
        return;
    if (InReview()) {
        DeferCamera(index);
        return;
    }
    m_capture.StopGraph();
    m_host.RepaintViewerAndPump();
    switch (Route()) {
    case WindowState::LiveChange::kStop: return;
    case WindowState::LiveChange::kDefer: DeferCamera(index); return;
    case WindowState::LiveChange::kGoOn: break;
    }
    if (m_capture.SwitchDevice(index)) {
        m_settings.CurDevIndex = index;
        m_host.OnCameraSelected(index);
        m_host.ReplyToSetup(kSetupCameraChanged, index);
    } else {
        m_host.ReplyToSetup(kSetupChangeFailed, 1);
    }
}

void CLivePreview::OnSetResolution(int mode)
{
    if (!IsOpen() || !IsResolutionMode(mode))
        return;
    if (InReview()) {
        DeferResolution(mode);
        return;
    }
    m_capture.StopGraph();
    m_host.RepaintViewerAndPump();
    switch (Route()) {
    case WindowState::LiveChange::kStop: return;
    case WindowState::LiveChange::kDefer: DeferResolution(mode); return;
    case WindowState::LiveChange::kGoOn: break;
    }
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
