// The live preview's commands from the user and the setup dialog: start the
// preview, change the camera, the resolution, the rotation and the window
// size. Each command leaves the preview running on a known setting and
// answers the setup dialog through the host.
#pragma once

#include <windows.h>

#include <functional>

#include "capture/DShowCapture.h"
#include "framework/WindowState.h"
#include "settings/AppSettings.h"

namespace tamsel {

// What the preview commands need of the main window.
class IPreviewHost {
public:
    // Open or hidden, live or review; read again after every pump.
    virtual const WindowState& State() const = 0;
    // Owner of the preview's message boxes.
    virtual HWND MainWindow() const = 0;
    virtual HWND ViewerWindow() const = 0;
    // Hides the window, dispatches what is queued, lays it out for the
    // current size and shows it; a window hidden meanwhile stays hidden.
    virtual void RelayoutWindow() = 0;
    // Repaints the viewer and dispatches what is queued (before a graph change).
    virtual void RepaintViewerAndPump() = 0;
    // Answers the setup dialog (dropped when it is not open).
    virtual void ReplyToSetup(WPARAM code, LPARAM value) = 0;
    // The camera changed: flash support follows it.
    virtual void OnCameraSelected(int index) = 0;
    virtual void RestartIdleClock() = 0;

protected:
    ~IPreviewHost() = default;
};

class CLivePreview {
public:
    CLivePreview(IPreviewHost& host, AppSettings& settings, CDShowCapture& capture) noexcept
        : m_host(host), m_settings(settings), m_capture(capture) {}

    // 1 = 0°, 2 = 90°, 3 = 180°, 4 = -90°.
    int Rotation() const noexcept { return m_nRotation; }

    // UM_START_PREVIEW, UM_SELECT_CAMERA, UM_SET_RESOLUTION, UM_ROTATE,
    // UM_SET_PREVIEW_SIZE, UM_PREVIEW_PAINTED.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // The switch back from picture review: what is queued goes first, then
    // the preview starts when a camera is there; a failure shows nothing.
    // False when a message dispatched meanwhile changed the window's state:
    // that handler has done what the window needs, and the switch ends.
    bool StartAfterReview();

private:
    void OnStartPreview();
    void OnSelectCamera(int index);
    void OnSetResolution(int mode);
    void OnRotate(int code);
    void OnSetPreviewSize(int sizeMod);
    void OnPreviewPainted();
    // Tears the graph down and builds it again with the current settings.
    bool RestartGraph();
    bool IsOpen() const { return m_host.State().IsOpen(); }
    bool InReview() const { return m_host.State().InReview(); }
    WindowState::LiveChange Route() const { return m_host.State().RouteLiveChange(); }
    // Before a change of camera or resolution: true when it goes on now,
    // with the graph stopped and what was queued dispatched. In review
    // (before or after that pump) `defer` keeps it for the way back to
    // live; a window hidden meanwhile ends it.
    bool ClearForChange(const std::function<void()>& defer);

    IPreviewHost& m_host;
    AppSettings& m_settings;
    CDShowCapture& m_capture;
    int m_nRotation = 1;
};

} // namespace tamsel
