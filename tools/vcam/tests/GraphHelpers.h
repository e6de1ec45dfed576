// What the camera tests share: the devices they configure, listing the video
// input category, building camera -> Sample Grabber -> Null Renderer graphs,
// and reading pixels back with a conversion of their own.
#pragma once

#include "VcamCommon.h"
#include "VcamConfig.h"
#include "framework/ClockKeeper.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcamtest {

using Microsoft::WRL::ComPtr;

// {C1F400A0-3F08-11D3-9F0B-006008039E37} and {C1F400A4-...}: qedit's Sample
// Grabber and Null Renderer.
inline constexpr GUID kClsidSampleGrabber = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
inline constexpr GUID kClsidNullRenderer = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

constexpr REFERENCE_TIME kPeriod30 = 10000000 / 30;
// Bound for every wait on the camera; a working camera needs a fraction of it.
constexpr DWORD kWaitMs = 15000;

// The devices every test starts from.
struct TestDevice {
    int number;
    vcam::DeviceConfig config;
};
const std::vector<TestDevice>& StandardDevices();
const TestDevice& Device(int number);
// Writes the standard devices (and nothing else) and lists them.
void ResetDevices();
// The camera DLL beside the test program.
std::wstring CameraDllPath();

// The display name the camera documents for device n, built here on its own.
std::wstring ExpectedDisplayName(int number);

struct Listed {
    std::wstring displayName;
    std::wstring friendlyName;
};
std::vector<Listed> ListVideoInputs();
HRESULT BindDevice(const std::wstring& displayName, ComPtr<IBaseFilter>* filter);
ComPtr<IPin> FindPin(IBaseFilter* filter, const std::wstring& name);
std::vector<std::wstring> PinNames(IBaseFilter* filter);

// Media type of a capability, with fields changed as a caller of
// IAMStreamConfig::SetFormat would change them.
vcam::MediaType CapType(IAMStreamConfig* config, int index);
void SetVideoSize(vcam::MediaType* mt, const GUID& subtype, int width, int height);
bool DescribeType(const AM_MEDIA_TYPE& mt, GUID* subtype, int* width, int* height);

// Counts the samples a Sample Grabber passes and keeps the latest one.
class FrameCatcher final : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SampleCB(double time, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double, BYTE*, LONG) override { return S_OK; }

    size_t count() const;
    // Waits (bounded) until at least n samples have come; false on time-out.
    bool WaitFor(size_t n, DWORD timeoutMs = kWaitMs) const;
    std::vector<BYTE> last() const;
    std::vector<REFERENCE_TIME> startTimes() const;

private:
    std::atomic<ULONG> m_refs{1};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    size_t m_count = 0;
    std::vector<BYTE> m_last;
    std::vector<REFERENCE_TIME> m_starts;
};

struct Branch {
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<FrameCatcher> catcher;
    ComPtr<IBaseFilter> renderer;
};

class CaptureGraph {
    // First, so that it goes last: after the graph, whose clock it keeps.
    fw::ClockKeeper m_clock;

public:
    CaptureGraph() = default;
    ~CaptureGraph();
    CaptureGraph(const CaptureGraph&) = delete;
    CaptureGraph& operator=(const CaptureGraph&) = delete;

    HRESULT Create(const std::wstring& displayName);
    // pin -> Sample Grabber (accepting `subtype`, or any video) -> Null Renderer.
    HRESULT AddBranch(const std::wstring& pinName, const GUID& subtype, Branch** out);
    // Runs the graph and keeps its clock until the graph is gone.
    HRESULT Run();
    // Waits (bounded) until the graph reports `state`.
    bool WaitState(OAFilterState state, DWORD timeoutMs = kWaitMs);
    // Waits (bounded) for the next event with this code; fills the parameters.
    bool WaitEvent(long code, LONG_PTR* p1, LONG_PTR* p2, DWORD timeoutMs = kWaitMs);

    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> camera;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;

private:
    std::vector<std::unique_ptr<Branch>> m_branches;
};

enum class Colour { White, Black, Red, Green, Blue, Other };
const char* ColourName(Colour c);
Colour Classify(int r, int g, int b);
// Pixel (x, y) of a top-down YUY2 frame, converted with BT.601 studio range.
void Yuy2Pixel(const std::vector<BYTE>& frame, int width, int x, int y, int* r, int* g, int* b);

// Centres of the four corner marks for a frame of this size, as documented:
// u = min(w, h), m = max(2, u/32), s = max(6, u/8); each mark's s x s square
// starts m pixels in from its corner.
struct Corners {
    POINT topLeft, topRight, bottomLeft, bottomRight;
};
Corners MarkCentres(int width, int height);

} // namespace vcamtest
