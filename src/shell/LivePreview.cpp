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
    if (!m_host.IsOpen() || m_host.ViewMode() == 2)
        return;
    if (!m_capture.StartPreview({m_host.ViewerWindow(), m_settings.ResolutionMode}))
        fw::ShowMessage(m_host.MainWindow(), L"Start preview error");
}

void CLivePreview::StartAfterReview()
{
    m_host.RepaintViewerAndPump();
    if (m_capture.DevCount() > 0)
        m_capture.StartPreview({m_host.ViewerWindow(), m_settings.ResolutionMode});
}

bool CLivePreview::RestartGraph()
{
    m_capture.TearDownGraph();
    return m_capture.StartPreview({m_host.ViewerWindow(), m_settings.ResolutionMode});
}

void CLivePreview::OnSelectCamera(int index)
{
    if (!m_host.IsOpen() || index < 0 || index >= m_capture.DevCount())
        return;
    m_capture.StopGraph();
    m_host.RepaintViewerAndPump();
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
    if (!m_host.IsOpen() || !IsResolutionMode(mode))
        return;
    m_capture.StopGraph();
    m_host.RepaintViewerAndPump();
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
    if (code < 1 || code > 4 || code == m_nRotation || m_host.ViewMode() == 2 || !m_host.IsOpen())
        return;
    m_nRotation = code;
    m_host.RelayoutWindow();
    RestartGraph();
    m_capture.SetRollAngle(RollAngleForRotation(code));
}

void CLivePreview::OnSetPreviewSize(int sizeMod)
{
    // Laying out shows the window, which only an open window may do.
    if (!IsPreviewSize(sizeMod) || !m_host.IsOpen())
        return;
    const bool shortScreen = ::GetSystemMetrics(SM_CYSCREEN) < 768;
    if (sizeMod == m_settings.WindowSizeMod || (sizeMod == 1 && shortScreen)) {
        m_host.ReplyToSetup(kSetupPreviewSize, m_settings.WindowSizeMod);
        return;
    }
    m_settings.WindowSizeMod = shortScreen ? 0 : sizeMod;
    m_capture.StopGraph();
    m_host.RelayoutWindow();
    // The video window follows the viewer's new size.
    m_capture.FitVideoWindow();
    m_capture.RunGraph();
    m_host.ReplyToSetup(kSetupPreviewSize, m_settings.WindowSizeMod);
    m_host.RestartIdleClock();
}

void CLivePreview::OnPreviewPainted()
{
    if (m_host.IsOpen() && m_host.ViewerWindow())
        fw::WindowDC dc(m_host.ViewerWindow()); // taken and given back; nothing is drawn
}

} // namespace tamsel
