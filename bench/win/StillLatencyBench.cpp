// Arm-to-image latency of CDShowCapture::CaptureStill in normal mode: the
// preview runs from the virtual camera at 30 frames a second, a worker
// thread (as the program's snapshot worker) calls CaptureStill at random
// moments, and the thread that owns the engine keeps its messages flowing.
// The bound is one frame interval plus the conversion of that frame, timed
// in the same run on a frame the camera sent.
//
//   tamsel_bench_still.exe [--captures N]   latency; TAMSEL_VCAM_DLL names the camera
//   tamsel_bench_still.exe --check          every (Y, U, V) through Yuy2ToBgrRow
//                                           against the double formula
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CaptureAccess.h"
#include "Timing.h"
#include "VcamConfig.h"
#include "capture/DShowCapture.h"
#include "capture/FrameRules.h"

namespace {

// ---- exactness of this build ---------------------------------------------

uint8_t Formula(double v)
{
    const double t = std::trunc(v);
    return static_cast<uint8_t>(t < 0 ? 0 : t > 255 ? 255 : t);
}

int CheckEveryValue()
{
    const char* cap = std::getenv("TAMSEL_YUY2_SIMD");
    uint8_t src[512], dst[768];
    long wrong = 0;
    for (int u = 0; u < 256; ++u)
        for (int v = 0; v < 256; ++v) {
            for (int k = 0; k < 128; ++k) {
                src[4 * k] = static_cast<uint8_t>(2 * k);
                src[4 * k + 1] = static_cast<uint8_t>(u);
                src[4 * k + 2] = static_cast<uint8_t>(2 * k + 1);
                src[4 * k + 3] = static_cast<uint8_t>(v);
            }
            tamsel::Yuy2ToBgrRow(256, dst, src);
            for (int y = 0; y < 256; ++y) {
                const double c = 1.164 * (y - 16);
                const double uu = u - 128, vv = v - 128;
                wrong += dst[3 * y] != Formula(c + 2.018 * uu);
                wrong += dst[3 * y + 1] != Formula(c - 0.391 * uu - 0.813 * vv);
                wrong += dst[3 * y + 2] != Formula(c + 1.596 * vv);
            }
        }
    std::printf("every (Y, U, V), TAMSEL_YUY2_SIMD=%s: %ld values differ from the double formula\n",
                cap ? cap : "(unset)", wrong);
    return wrong == 0 ? 0 : 1;
}

// ---- latency -------------------------------------------------------------

struct Case {
    const char* name;
    int width, height;
    int resMode;
    int captures;
};

// Keeps this thread's messages flowing until `h` is signalled.
void PumpUntil(HANDLE h)
{
    for (;;) {
        const DWORD r = ::MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void PumpFor(DWORD ms)
{
    const double end = benchwin::NowMs() + ms;
    for (double now; (now = benchwin::NowMs()) < end;) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now) + 1, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// One frame as the camera sent it, taken through the grab slot the way
// CaptureStill takes it.
bool TakeRawFrame(std::vector<uint8_t>& frame, tamsel::FrameDesc& desc)
{
    tamsel::SGrabSlot& slot = tamsel::GrabSlot();
    slot.doneEvent.Reset();
    slot.bDone.store(false);
    slot.bArmed.store(true);
    if (!slot.doneEvent.Wait(5000)) {
        slot.bArmed.store(false);
        return false;
    }
    {
        auto guard = slot.frameLock.Acquire();
        frame.swap(slot.frame);
        desc = slot.desc;
    }
    return !frame.empty();
}

// Sits between the Sample Grabber and the engine's callback and notes when
// each frame arrives, and which ones a capture was waiting for, to tell the
// camera's pacing from the capture's own cost.
class ArrivalClock : public ISampleGrabberCB {
public:
    explicit ArrivalClock(ISampleGrabberCB* next) : m_next(next), m_at(20000), m_taken(20000), m_inCallback(20000) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_ISampleGrabberCB || riid == IID_IUnknown) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double t, BYTE* buffer, long length) override
    {
        const size_t n = m_count.load(std::memory_order_relaxed);
        if (n >= m_at.size())
            return m_next->BufferCB(t, buffer, length);
        m_at[n] = benchwin::NowMs();
        m_taken[n] = tamsel::GrabSlot().bArmed.load(std::memory_order_acquire);
        const HRESULT hr = m_next->BufferCB(t, buffer, length);
        m_inCallback[n] = benchwin::NowMs() - m_at[n];
        m_count.store(n + 1, std::memory_order_release);
        return hr;
    }
    // Gaps between arrivals, in milliseconds.
    std::vector<double> Gaps() const
    {
        std::vector<double> gaps;
        const size_t n = m_count.load(std::memory_order_acquire);
        for (size_t i = 1; i < n; ++i)
            gaps.push_back(m_at[i] - m_at[i - 1]);
        return gaps;
    }
    // Time the engine's callback spent on the frames captures took.
    std::vector<double> TakingMs() const
    {
        std::vector<double> ms;
        const size_t n = m_count.load(std::memory_order_acquire);
        for (size_t i = 0; i < n; ++i)
            if (m_taken[i])
                ms.push_back(m_inCallback[i]);
        return ms;
    }
    // The arrival of the first frame a capture took at or after `ms`, or a
    // negative value.
    double TakenAfter(double ms) const
    {
        const size_t n = m_count.load(std::memory_order_acquire);
        for (size_t i = std::lower_bound(m_at.begin(), m_at.begin() + static_cast<std::ptrdiff_t>(n), ms) -
                        m_at.begin();
             i < n; ++i)
            if (m_taken[i])
                return m_at[i];
        return -1;
    }

private:
    ISampleGrabberCB* m_next;
    std::vector<double> m_at;
    std::vector<char> m_taken;
    std::vector<double> m_inCallback;
    std::atomic<size_t> m_count{0};
};

Microsoft::WRL::ComPtr<ISampleGrabber> Grabber(IGraphBuilder* graph)
{
    Microsoft::WRL::ComPtr<IBaseFilter> f;
    Microsoft::WRL::ComPtr<ISampleGrabber> g;
    if (graph && SUCCEEDED(graph->FindFilterByName(L"SampleGrabber", &f)))
        f.As(&g);
    return g;
}

struct Worker {
    tamsel::CDShowCapture* engine;
    int captures;
    std::vector<double> latencyMs;
    std::vector<double> armedAt; // of the successful captures
    int failed = 0;
    size_t imageBytes = 0;
};

DWORD WINAPI CaptureLoop(void* param)
{
    auto& w = *static_cast<Worker*>(param);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pause(0, 33); // any moment of a frame interval
    for (int i = 0; i < w.captures; ++i) {
        ::Sleep(static_cast<DWORD>(pause(rng)));
        std::vector<uint8_t> image;
        const double start = benchwin::NowMs();
        const bool ok = w.engine->CaptureStill(image);
        const double end = benchwin::NowMs();
        if (ok) {
            w.latencyMs.push_back(end - start);
            w.armedAt.push_back(start);
            w.imageBytes = image.size();
        } else {
            ++w.failed;
        }
    }
    return 0;
}

bool RunCase(const Case& c, HWND notify)
{
    vcam::DeviceConfig camera;
    camera.friendlyName = L"Latency Camera";
    camera.formats = {{vcam::Subtype::YUY2, c.width, c.height}};
    camera.frameRate = 30;
    vcam::DeleteAllDevices();
    if (FAILED(vcam::WriteDevice(0, camera)) || FAILED(vcam::RegisterDevices())) {
        std::printf("%s: the camera could not be set up\n", c.name);
        return false;
    }

    auto engine = std::make_unique<tamsel::CDShowCapture>();
    engine->Attach(notify, nullptr);
    if (engine->BuildDeviceList() < 1 || !engine->SelectDevice(0)) {
        std::printf("%s: no camera listed\n", c.name);
        return false;
    }
    if (!engine->StartPreview({nullptr, c.resMode})) {
        std::printf("%s: the preview did not start\n", c.name);
        return false;
    }
    const double start = benchwin::NowMs();
    while (engine->GetGraphState() != tamsel::kGraphRunning && benchwin::NowMs() - start < 5000)
        PumpFor(20);
    PumpFor(1000); // the stream settles

    // The conversion of one of this camera's frames, as CaptureStill does it.
    std::vector<uint8_t> frame, image;
    tamsel::FrameDesc desc;
    if (!TakeRawFrame(frame, desc) || desc.width != c.width || desc.height != c.height) {
        std::printf("%s: no frame of the expected size\n", c.name);
        return false;
    }
    std::vector<double> convertMs;
    for (int i = 0; i < 21; ++i) {
        std::vector<uint8_t>().swap(image);
        const double t0 = benchwin::NowMs();
        tamsel::BuildStillImage(desc, frame.data(), frame.size(), image);
        convertMs.push_back(benchwin::NowMs() - t0);
    }

    Worker w{engine.get(), c.captures, {}, {}, 0, 0};
    for (int i = 0; i < 3; ++i) { // warm up
        std::vector<uint8_t> warm;
        engine->CaptureStill(warm);
    }
    ArrivalClock clock(tamsel::CaptureTestAccess::GrabberCallback(*engine));
    Microsoft::WRL::ComPtr<ISampleGrabber> grabber = Grabber(tamsel::CaptureTestAccess::Graph(*engine));
    if (grabber)
        grabber->SetCallback(&clock, 1);
    HANDLE thread = ::CreateThread(nullptr, 0, &CaptureLoop, &w, 0, nullptr);
    PumpUntil(thread);
    ::CloseHandle(thread);
    if (grabber)
        grabber->SetCallback(tamsel::CaptureTestAccess::GrabberCallback(*engine), 1);
    engine.reset();
    PumpFor(200);

    const double interval = 1000.0 / 30;
    const double conversion = benchwin::Median(convertMs);
    const double bound = interval + conversion;
    const double worst = benchwin::Max(w.latencyMs);
    std::printf("%s, normal mode, 30 frames a second: %zu captures of %zu-byte images, %d failed\n", c.name,
                w.latencyMs.size(), w.imageBytes, w.failed);
    std::printf("  arm-to-image latency: median %.2f ms, worst %.2f ms, best %.2f ms\n",
                benchwin::Median(w.latencyMs), worst, benchwin::Min(w.latencyMs));
    std::printf("  bound: frame interval %.2f ms + conversion of that frame %.2f ms (median of 21; BuildStillImage) "
                "= %.2f ms\n",
                interval, conversion, bound);
    std::printf("  worst within the bound: %s (worst / bound = %.3f)\n", worst <= bound ? "yes" : "NO",
                worst / bound);
    // Each capture split at the arrival of the frame it took.
    std::vector<double> waited, after;
    for (size_t i = 0; i < w.latencyMs.size(); ++i) {
        const double arrival = clock.TakenAfter(w.armedAt[i]);
        if (arrival < 0)
            continue;
        waited.push_back(arrival - w.armedAt[i]);
        after.push_back(w.armedAt[i] + w.latencyMs[i] - arrival);
    }
    const std::vector<double> gaps = clock.Gaps();
    std::printf("  the camera meanwhile: %zu frames, gaps median %.2f ms, longest %.2f ms\n", gaps.size() + 1,
                benchwin::Median(gaps), benchwin::Max(gaps));
    std::printf("  from the call to the arrival of the frame taken: median %.2f ms, worst %.2f ms; from that "
                "arrival to the image: median %.2f ms, worst %.2f ms\n",
                benchwin::Median(waited), benchwin::Max(waited), benchwin::Median(after), benchwin::Max(after));
    const std::vector<double> taking = clock.TakingMs();
    std::printf("  of which the engine's BufferCB taking the frame (copy into the slot): median %.2f ms, worst %.2f ms\n",
                benchwin::Median(taking), benchwin::Max(taking));
    return w.failed == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && !std::strcmp(argv[1], "--check"))
        return CheckEveryValue();
    int captures = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--captures"))
            captures = std::atoi(argv[i + 1]);

    const char* dll = std::getenv("TAMSEL_VCAM_DLL");
    if (!dll) {
        std::fprintf(stderr, "TAMSEL_VCAM_DLL must name the virtual camera DLL\n");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring path = L"Z:";
    for (const char* p = dll; *p; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    if (FAILED(vcam::RegisterServer(path))) {
        std::fprintf(stderr, "the virtual camera did not register\n");
        return 2;
    }
    HWND notify = ::CreateWindowExW(0, L"STATIC", L"notify", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                    nullptr);

    // 2592 x 1936 is the largest size that stays in normal mode: from
    // 2592 x 1944 on, snapshots come from the still pin.
    const Case cases[] = {
        {"640x480", 640, 480, 1, captures},
        {"2592x1936", 2592, 1936, 4, captures / 2},
    };
    bool ok = true;
    for (const Case& c : cases)
        ok = RunCase(c, notify) && ok;

    ::DestroyWindow(notify);
    vcam::DeleteAllDevices();
    vcam::UnregisterDevices();
    ::CoUninitialize();
    return ok ? 0 : 1;
}
