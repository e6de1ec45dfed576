// What the capture engine's device-change handling asks of the window that
// owns it. The engine decides what happened to the cameras; the window keeps
// its settings in step, answers its setup dialog and tells the user.
#pragma once

namespace tamsel {

class ICaptureHost {
public:
    // The window is open: its live machinery (preview, idle timer) runs.
    virtual bool IsOpen() const = 0;
    // The number of cameras the window believes in; a device-node change is
    // an arrival or a removal by comparison with it.
    virtual int KnownCameraCount() const = 0;
    // The device list was rebuilt: the window stores the count and the
    // selection (current is -1 when there is no camera: the stored index then
    // stays) and, when tellSetup, answers an open setup dialog with
    // (1, current).
    virtual void OnCamerasChanged(int count, int current, bool tellSetup) = 0;
    // The device list was rebuilt and is empty: "No camera devie plug-in" as a
    // message box, or as a debug string when asBox is false.
    virtual void OnNoCamera(bool asBox) = 0;

protected:
    ~ICaptureHost() = default;
};

} // namespace tamsel
