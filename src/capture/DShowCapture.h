// The capture engine: the list of video capture devices, the filter graph of
// the selected camera, its frame grabber and the reaction to device changes.
// Everything runs on the main window's thread except CaptureStill, which the
// snapshot worker calls.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/CaptureHost.h"
#include "capture/DShow.h"
#include "capture/FormatRules.h"
#include "capture/SampleGrabberCB.h"
#include "framework/ClockKeeper.h"
#include "framework/Handles.h"

namespace tamsel {

// Keeps COM initialised (single-threaded apartment) on the owning thread for
// as long as the engine lives.
class CDShowBuilderHelper {
public:
    CDShowBuilderHelper() noexcept = default;
    virtual ~CDShowBuilderHelper() = default;
    CDShowBuilderHelper(const CDShowBuilderHelper&) = delete;
    CDShowBuilderHelper& operator=(const CDShowBuilderHelper&) = delete;

private:
    fw::ComApartment m_apartment;
};

struct SCamDevInfo {
    std::string szDisplayName;  // the moniker's display name: the camera's identity
    std::string szFriendlyName; // at most 49 bytes
    bool bUseStillPin = false;  // snapshots come from the still pin
};

// Graph states of GetGraphState.
enum GraphState { kGraphUnknown = -1, kGraphStopped = 0, kGraphRunning = 1, kGraphPaused = 2 };

// How a preview is shown. Every start and restart of the preview takes one,
// so the video always lands in its owner window.
struct PreviewConfig {
    HWND videoOwner = nullptr; // the viewer; null gives the renderer no configuration
    int resolutionMode = 4;    // 1 VGA, 2 SVGA, 3 XVGA, 4 native
};

class CaptureTestAccess;

class CDShowCapture {
public:
    CDShowCapture() = default;
    ~CDShowCapture();
    CDShowCapture(const CDShowCapture&) = delete;
    CDShowCapture& operator=(const CDShowCapture&) = delete;

    // The window that receives the graph's events and the device-change
    // messages, and what the engine tells it about cameras coming and going.
    void Attach(HWND notifyWnd, ICaptureHost* host);

    // Device list.
    static HRESULT EnumVideoDevices(std::vector<std::string>* displayNames,
                                    std::vector<std::string>* friendlyNames, int* count);
    int BuildDeviceList();
    void FreeDeviceList();
    static HRESULT BindDeviceFilter(const std::string& key, Microsoft::WRL::ComPtr<IBaseFilter>& filter);
    int DevCount() const;
    std::vector<SCamDevInfo> Devices() const;
    // The selected device, -1 for none.
    int CurrentDevice() const;
    // Selects a device of the list; false (nothing changes) for any other index.
    bool SelectDevice(int index);

    // Preview. StartPreview builds, connects and runs the graph of the
    // selected camera; a resolution mode outside 1..4 is refused.
    bool StartPreview(const PreviewConfig& config);
    bool RunGraph();
    bool StopGraph();
    int GetGraphState() const;
    // Stops the graph whatever state it reports, then dismantles it.
    void TearDownGraph();
    // Moves the preview to another device of the list; the old one keeps
    // running when the new one cannot be started.
    bool SwitchDevice(int index);
    bool SetRollAngle(int degrees);
    // Sizes the video window to its owner's client area.
    void FitVideoWindow();

    // Frames. Arms the grabber, triggers the still pin in still-pin mode and
    // waits (bounded) for the frame; the result is a BMP file image or the
    // camera's JPEG bytes.
    bool CaptureStill(std::vector<uint8_t>& image);
    static constexpr DWORD kStillWaitMs = 5000;

    // UM_GRAPH_EVENT, UM_DEVICE_LOST, UM_DEVICE_RESCAN, UM_DEVICE_REMOVED,
    // UM_DEVICE_ARRIVED, UM_RESTART_PREVIEW and WM_DEVICECHANGE; false for
    // every other message.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

private:
    friend class CaptureTestAccess;

    // Building steps of StartPreview.
    bool BuildGraph();
    bool SelectCaptureFormat();
    // The largest width and height over the capture pin's capabilities, and
    // the capabilities as announced.
    bool QueryMaxResolution(int& width, int& height, std::vector<StreamCapability>& caps);
    bool ConnectGraph();
    bool AddSampleGrabber();
    bool AddRenderer();
    bool ConfigureVideoWindow();
    bool Connect(IPin* out, IPin* in, int attempts);
    // Runs or stops a graph whose state has settled, and shows or hides its video.
    bool SetRunning(bool run);
    // Replaces the graph pointers under the lock the snapshot worker reads them with.
    void SetGraph(Microsoft::WRL::ComPtr<IGraphBuilder> graph, Microsoft::WRL::ComPtr<IBaseFilter> cap);
    Microsoft::WRL::ComPtr<IGraphBuilder> CurrentGraph() const;

    // Device changes.
    void HandleGraphEvents();
    void OnDeviceNodesChanged();
    void OnVideoDeviceArrival();
    void OnVideoDeviceRemoval();
    void OnDeviceLost();
    void OnDeviceRescan();
    void OnDeviceCountChanged(WPARAM count, LPARAM current, bool arrival);
    // Rebuilds the list and follows the selected camera by its display name;
    // with no camera before, optionally selects the first one. The selection
    // always ends inside the list (-1 without devices).
    void RebuildKeepingSelection(bool firstWhenNoneBefore);
    // Rebuilds the list from scratch with the first camera selected.
    int RebuildSelectingFirst();
    void PostToWindow(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;

    CDShowBuilderHelper m_comGuard;
    // Guards the list, the selection and the graph pointers: the main thread
    // changes them under it, a still capture on the snapshot worker copies
    // what it needs under it.
    mutable fw::Lock m_lock;
    std::vector<SCamDevInfo> m_devList;
    int m_nCurDev = -1;
    Microsoft::WRL::ComPtr<IGraphBuilder> m_pGraph;
    bool m_bRunning = false; // the graph was last set running by the engine (under m_lock)
    Microsoft::WRL::ComPtr<IBaseFilter> m_pCapFilter;
    Microsoft::WRL::ComPtr<CSampleGrabberCB> m_pGrabberCB;
    // The running graph's clock, let go after the graph (main thread only).
    fw::ClockKeeper m_clock;
    PreviewConfig m_config;
    HWND m_hNotifyWnd = nullptr;
    ICaptureHost* m_host = nullptr;
    // A device broadcast of the same kind is being handled; cleared by the
    // engine's own handler of the message that ends it.
    bool m_bArrivalBusy = false;
    bool m_bRemovalBusy = false;
};

// Graph utilities.
HRESULT AddFilterByClsid(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name,
                         Microsoft::WRL::ComPtr<IBaseFilter>& filter);
HRESULT FindPinByName(IBaseFilter* filter, PIN_DIRECTION dir, const char* name,
                      Microsoft::WRL::ComPtr<IPin>& pin);
HRESULT FindFirstInputPin(IBaseFilter* filter, Microsoft::WRL::ComPtr<IPin>& pin);

} // namespace tamsel
