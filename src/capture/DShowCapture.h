// The capture engine: device list, filter graph and frame grabber of the
// selected camera.
#pragma once

#include <windows.h>

namespace tamsel {

// Initialises COM (single-threaded apartment) for the thread that owns the
// engine, for as long as the engine lives.
class CDShowBuilderHelper {
public:
    CDShowBuilderHelper() noexcept
        : m_comStarted(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~CDShowBuilderHelper()
    {
        if (m_comStarted)
            ::CoUninitialize();
    }
    CDShowBuilderHelper(const CDShowBuilderHelper&) = delete;
    CDShowBuilderHelper& operator=(const CDShowBuilderHelper&) = delete;

private:
    bool m_comStarted;
};

class CDShowCapture {
public:
    HWND m_hNotifyWnd = nullptr;
    HWND m_hVideoOwner = nullptr;
    int m_nCurDev = -1;
    int m_nResMode = 4;
    int m_nDevCount = 0;

    // Rebuilds the list of video capture devices; returns how many there are.
    // The device enumeration arrives with the capture engine; until then the
    // program sees no camera.
    int BuildDeviceList() { return m_nDevCount = 0; }
    // Stops and releases the filter graph, if any.
    void TearDownGraph() {}

private:
    CDShowBuilderHelper m_builderHelper;
};

} // namespace tamsel
