// The capture engine: the list of video capture devices, the filter graph of
// the selected camera, its frame grabber and the reaction to device changes.
// Everything runs on the main window's thread except CaptureStill, which the
// snapshot worker calls.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/DShow.h"
#include "capture/SampleGrabberCB.h"

namespace tamsel {

// Keeps COM initialised (single-threaded apartment) on the owning thread for
// as long as the engine lives.
class CDShowBuilderHelper {
public:
    CDShowBuilderHelper() noexcept
        : m_comStarted(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    virtual ~CDShowBuilderHelper()
    {
        if (m_comStarted)
            ::CoUninitialize();
    }
    CDShowBuilderHelper(const CDShowBuilderHelper&) = delete;
    CDShowBuilderHelper& operator=(const CDShowBuilderHelper&) = delete;

private:
    bool m_comStarted;
};

struct SCamDevInfo {
    std::string szDisplayName;  // the moniker's display name: the camera's identity
    std::string szFriendlyName; // at most 49 bytes
    bool bUseStillPin = false;  // snapshots come from the still pin
};

// Graph states of GetGraphState.
enum GraphState { kGraphUnknown = -1, kGraphStopped = 0, kGraphRunning = 1, kGraphPaused = 2 };

class CDShowCapture {
public:
    CDShowCapture() = default;
    ~CDShowCapture();
    CDShowCapture(const CDShowCapture&) = delete;
    CDShowCapture& operator=(const CDShowCapture&) = delete;

    // Device list.
    static HRESULT EnumVideoDevices(std::vector<std::string>* displayNames,
                                    std::vector<std::string>* friendlyNames, int* count);
    int BuildDeviceList();
    void FreeDeviceList();
    static HRESULT BindDeviceFilter(const std::string& key, Microsoft::WRL::ComPtr<IBaseFilter>& filter);
    int DevCount() const { return static_cast<int>(m_devList.size()); }
    const std::vector<SCamDevInfo>& Devices() const { return m_devList; }

    // Graph.
    bool StartPreview();
    bool BuildGraph();
    bool SelectCaptureFormat();
    bool QueryMaxResolution(int& width, int& height);
    bool ConnectGraph();
    bool AddSampleGrabber();
    bool RunGraph();
    bool StopGraph();
    int GetGraphState();
    void TearDownGraph();
    bool SwitchDevice(int index);
    bool SetRollAngle(int degrees);
    // Sizes the video window to the owner's client area.
    void FitVideoWindow();
    IGraphBuilder* Graph() const { return m_pGraph.Get(); }
    ISampleGrabberCB* GrabberCallback() const { return m_pGrabberCB.get(); }

    // Frames. Arms the grabber, triggers the still pin in still-pin mode and
    // waits (bounded) for the frame; the result is a BMP file image or the
    // camera's JPEG bytes.
    bool CaptureStill(std::vector<uint8_t>& image);
    static constexpr DWORD kStillWaitMs = 5000;

    // Device changes.
    void HandleGraphEvents();
    void OnVideoDeviceArrival();
    void OnVideoDeviceRemoval();
    // Brings the selection into the list after a rebuild; -1 without devices.
    void ClampSelection();
    // Rebuilds the list and follows the selected camera by its display name;
    // with no camera before, optionally selects the first one.
    void RebuildKeepingSelection(bool firstWhenNoneBefore);

    int m_nCurDev = -1;
    bool m_bArrivalBusy = false;
    bool m_bRemovalBusy = false;
    int m_nResMode = 4;
    HWND m_hVideoOwner = nullptr;
    HWND m_hNotifyWnd = nullptr;

private:
    // Runs or stops a graph whose state has settled, and shows or hides its video.
    bool SetRunning(bool run);
    bool ConfigureVideoWindow();
    // Replaces the graph pointers under the lock the snapshot worker reads them with.
    void SetGraph(Microsoft::WRL::ComPtr<IGraphBuilder> graph, Microsoft::WRL::ComPtr<IBaseFilter> cap);
    bool AddRenderer();
    bool Connect(IPin* out, IPin* in, int attempts);

    std::vector<SCamDevInfo> m_devList;
    CDShowBuilderHelper m_comGuard;
    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    Microsoft::WRL::ComPtr<IBaseFilter> m_pCapFilter;
    std::unique_ptr<CSampleGrabberCB> m_pGrabberCB;
    // Held exclusively while the device list or the graph pointers change,
    // shared by a still capture on the snapshot worker while it copies them.
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
};

// Graph utilities.
HRESULT AddFilterByClsid(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name,
                         Microsoft::WRL::ComPtr<IBaseFilter>& filter);
HRESULT FindPinByName(IBaseFilter* filter, PIN_DIRECTION dir, const char* name,
                      Microsoft::WRL::ComPtr<IPin>& pin);
HRESULT FindFirstInputPin(IBaseFilter* filter, Microsoft::WRL::ComPtr<IPin>& pin);

} // namespace tamsel
