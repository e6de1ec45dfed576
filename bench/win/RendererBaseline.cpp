// The soak's yardstick: the same kind of graph Tamsel previews through
// (virtual camera, Sample Grabber, video renderer in a 360 x 272 window),
// built here without any of Tamsel's code, and what this process's memory
// does while it runs. Under Wine the resident private memory of a VMR
// preview grows at a steady rate; with the Null Renderer it does not.
//
//   tamsel_renderer_baseline.exe [--renderer vmr9|vmr7|null] [--seconds 90] [--interval 30]
// TAMSEL_VCAM_DLL names the camera. Growth is counted from the first
// interval on, after the start-up.
#include <windows.h>
#include <psapi.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Timing.h"
#include "VcamConfig.h"
#include "capture/DShow.h"

namespace {

using Microsoft::WRL::ComPtr;

struct Memory {
    SIZE_T pagefile = 0, workingSet = 0, privateCommitted = 0;
};

Memory Measure()
{
    Memory m;
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) {
        m.pagefile = pmc.PagefileUsage;
        m.workingSet = pmc.WorkingSetSize;
    }
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* at = nullptr; ::VirtualQuery(at, &mbi, sizeof mbi) == sizeof mbi && mbi.RegionSize;
         at = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize)
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            m.privateCommitted += mbi.RegionSize;
    return m;
}

void Pump(DWORD ms)
{
    const double end = benchwin::NowMs() + ms;
    while (benchwin::NowMs() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string renderer = "vmr9";
    double seconds = 90, interval = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--renderer"))
            renderer = argv[i + 1];
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--interval"))
            interval = std::atof(argv[i + 1]);
    }
    const char* dll = std::getenv("TAMSEL_VCAM_DLL");
    if (!dll) {
        std::fprintf(stderr, "TAMSEL_VCAM_DLL must name the virtual camera DLL\n");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring path = L"Z:";
    for (const char* p = dll; *p; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    vcam::DeviceConfig camera;
    camera.friendlyName = L"Baseline Camera";
    camera.formats = {{vcam::Subtype::YUY2, 640, 480}};
    camera.frameRate = 30;
    if (FAILED(vcam::RegisterServer(path)) || FAILED(vcam::DeleteAllDevices()) ||
        FAILED(vcam::WriteDevice(0, camera)) || FAILED(vcam::RegisterDevices())) {
        std::fprintf(stderr, "the virtual camera could not be set up\n");
        return 2;
    }

    ComPtr<IBindCtx> bind;
    ComPtr<IMoniker> moniker;
    ComPtr<IBaseFilter> source, grabber, render;
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ULONG eaten = 0;
    const CLSID renderClsid = renderer == "null"   ? tamsel::kClsidNullRenderer
                              : renderer == "vmr7" ? CLSID_VideoMixingRenderer
                                                   : CLSID_VideoMixingRenderer9;
    HRESULT hr = ::CreateBindCtx(0, &bind);
    if (SUCCEEDED(hr))
        hr = ::MkParseDisplayName(bind.Get(), vcam::DisplayName(0).c_str(), &eaten, &moniker);
    if (SUCCEEDED(hr))
        hr = moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&source));
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&builder));
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(tamsel::kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabber));
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(renderClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&render));
    if (SUCCEEDED(hr))
        hr = builder->SetFiltergraph(graph.Get());
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(source.Get(), L"Video Capture");
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(grabber.Get(), L"SampleGrabber");
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(render.Get(), L"Video Render");
    if (SUCCEEDED(hr))
        hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(), grabber.Get(),
                                   render.Get());
    if (FAILED(hr)) {
        std::fprintf(stderr, "the graph could not be built (0x%08lx)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    ComPtr<IVideoWindow> window;
    if (renderer != "null" && SUCCEEDED(graph.As(&window))) {
        window->SetWindowPosition(0, 0, 360, 272);
        window->put_Visible(OATRUE);
    }
    ComPtr<IMediaControl> control;
    if (FAILED(graph.As(&control)) || FAILED(control->Run())) {
        std::fprintf(stderr, "the graph did not run\n");
        return 1;
    }

    std::printf("camera -> Sample Grabber -> %s, YUY2 640x480 at 30 frames a second, no Tamsel code\n",
                renderer.c_str());
    std::printf("%6s %12s %12s %12s\n", "t(s)", "private_kb", "pagefile_kb", "workset_kb");
    Memory first, last;
    for (int n = 0; n * interval <= seconds + 0.5; ++n) {
        if (n)
            Pump(static_cast<DWORD>(interval * 1000));
        last = Measure();
        if (n == 1)
            first = last;
        std::printf("%6.0f %12zu %12zu %12zu\n", n * interval, last.privateCommitted / 1024, last.pagefile / 1024,
                    last.workingSet / 1024);
        std::fflush(stdout);
    }
    control->Stop();
    std::printf("growth from %.0f s on: private %+lld KB, pagefile %+lld KB, working set %+lld KB\n", interval,
                (static_cast<long long>(last.privateCommitted) - static_cast<long long>(first.privateCommitted)) / 1024,
                (static_cast<long long>(last.pagefile) - static_cast<long long>(first.pagefile)) / 1024,
                (static_cast<long long>(last.workingSet) - static_cast<long long>(first.workingSet)) / 1024);
    window.Reset();
    control.Reset();
    render.Reset();
    grabber.Reset();
    source.Reset();
    builder.Reset();
    graph.Reset();
    vcam::DeleteAllDevices();
    vcam::UnregisterDevices();
    ::CoUninitialize();
    return 0;
}
