#include "capture/DShowCapture.h"

#include <dbt.h>

#include "capture/FrameRules.h"
#include "framework/Debug.h"
#include "framework/Messages.h"

namespace tamsel {

using Microsoft::WRL::ComPtr;

namespace {

// Wide text to the ANSI code page, cut to at most maxBytes bytes.
std::string ToAnsi(const wchar_t* text, int maxBytes)
{
    std::string out(static_cast<size_t>(maxBytes) + 1, '\0');
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), maxBytes + 1, nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    if (n == 0) { // too long: keep what fits
        out.assign(static_cast<size_t>(maxBytes) + 1, '\0');
        ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), maxBytes, nullptr, nullptr);
        out.resize(std::char_traits<char>::length(out.c_str()));
    }
    return out;
}

HRESULT VideoInputEnumerator(ComPtr<IEnumMoniker>& monikers)
{
    ComPtr<ICreateDevEnum> devEnum;
    HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&devEnum));
    if (FAILED(hr)) {
        ::OutputDebugStringW(L"ERROR: Fail to create System Device Enumerator!\n");
        return fw::TraceHr(L"CoCreateInstance(CLSID_SystemDeviceEnum)", hr);
    }
    hr = fw::TraceHr(L"ICreateDevEnum::CreateClassEnumerator",
                     devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0));
    if (hr != S_OK || !monikers)
        return E_FAIL; // S_FALSE: the category is empty
    return S_OK;
}

std::string MonikerDisplayName(IMoniker* moniker, HRESULT* result = nullptr)
{
    ComPtr<IBindCtx> ctx;
    HRESULT hr = fw::TraceHr(L"CreateBindCtx", ::CreateBindCtx(0, &ctx));
    fw::CoTaskString name;
    if (SUCCEEDED(hr))
        hr = fw::TraceHr(L"IMoniker::GetDisplayName", moniker->GetDisplayName(ctx.Get(), nullptr, name.put()));
    if (result)
        *result = hr;
    return SUCCEEDED(hr) && name ? ToAnsi(name.get(), 254) : std::string();
}

ComPtr<IBaseFilter> FindFilter(IGraphBuilder* graph, const wchar_t* name)
{
    ComPtr<IBaseFilter> f;
    if (graph)
        graph->FindFilterByName(name, &f);
    return f;
}

ComPtr<IAMStreamConfig> CapturePinConfig(IGraphBuilder* graph)
{
    ComPtr<IPin> pin;
    ComPtr<IAMStreamConfig> config;
    ComPtr<IBaseFilter> cap = FindFilter(graph, L"Video Capture");
    if (cap && SUCCEEDED(FindPinByName(cap.Get(), PINDIR_OUTPUT, "Capture", pin)))
        fw::TraceHr(L"Capture pin IAMStreamConfig", pin.As(&config));
    return config;
}

// The capability count of a stream configuration whose records are the
// 128-byte VIDEO_STREAM_CONFIG_CAPS; -1 otherwise.
int CapabilityCount(IAMStreamConfig* config)
{
    int count = 0, size = 0;
    if (!config || FAILED(fw::TraceHr(L"IAMStreamConfig::GetNumberOfCapabilities",
                                      config->GetNumberOfCapabilities(&count, &size))))
        return -1;
    if (size != sizeof(VIDEO_STREAM_CONFIG_CAPS)) {
        fw::DebugTrace(L"Capability records of %d bytes are not video ones\n", size);
        return -1;
    }
    return count;
}

// A state query the graph answered for certain: VFW_S_STATE_INTERMEDIATE,
// VFW_S_CANT_CUE and failures do not count.
bool StateQueryOk(HRESULT hr)
{
    if (hr != S_OK)
        fw::DebugTrace(L"IMediaControl::GetState: 0x%08lx\n", static_cast<unsigned long>(hr));
    return hr == S_OK;
}

} // namespace

CDShowCapture::~CDShowCapture()
{
    TearDownGraph();
    FreeDeviceList();
}

void CDShowCapture::Attach(HWND notifyWnd, ICaptureHost* host)
{
    m_hNotifyWnd = notifyWnd;
    m_host = host;
}

void CDShowCapture::PostToWindow(UINT msg, WPARAM wp, LPARAM lp) const
{
    if (m_hNotifyWnd && !::PostMessageW(m_hNotifyWnd, msg, wp, lp))
        fw::TraceLastError(L"PostMessageW");
}

// ---- devices ----------------------------------------------------------------

HRESULT CDShowCapture::EnumVideoDevices(std::vector<std::string>* displayNames,
                                        std::vector<std::string>* friendlyNames, int* count)
{
    if (!count)
        return E_FAIL;
    ComPtr<IEnumMoniker> monikers;
    HRESULT hr = VideoInputEnumerator(monikers);
    if (hr == E_FAIL)
        *count = 0;
    if (FAILED(hr))
        return hr;
    if (displayNames)
        displayNames->clear();
    if (friendlyNames)
        friendlyNames->clear();
    int n = 0;
    HRESULT result = S_OK;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        std::string display;
        if (displayNames)
            display = MonikerDisplayName(moniker.Get(), &result);
        ComPtr<IPropertyBag> bag;
        // A device without a property bag is not listed.
        if (SUCCEEDED(fw::TraceHr(L"IMoniker::BindToStorage",
                                  moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))))) {
            std::string friendly;
            if (friendlyNames) {
                VARIANT v;
                ::VariantInit(&v);
                if (SUCCEEDED(fw::TraceHr(L"IPropertyBag::Read(FriendlyName)", bag->Read(L"FriendlyName", &v, nullptr))) &&
                    v.vt == VT_BSTR)
                    friendly = ToAnsi(v.bstrVal, 79);
                ::VariantClear(&v);
            }
            if (displayNames)
                displayNames->push_back(std::move(display));
            if (friendlyNames)
                friendlyNames->push_back(std::move(friendly));
            ++n;
        }
        moniker.Reset();
    }
    *count = n;
    return result;
}

int CDShowCapture::BuildDeviceList()
{
    FreeDeviceList();
    int counted = 0;
    if (FAILED(EnumVideoDevices(nullptr, nullptr, &counted)) || counted == 0)
        return 0;
    std::vector<std::string> display, friendly;
    int filled = 0;
    if (FAILED(EnumVideoDevices(&display, &friendly, &filled)) || filled == 0) {
        TearDownGraph();
        return 0;
    }
    // Devices may come or go between the two passes; never keep more than the
    // count pass allowed for (a later device-change broadcast catches up).
    const int n = filled < counted ? filled : counted;
    std::vector<SCamDevInfo> list(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        list[i].szDisplayName = display[i];
        list[i].szFriendlyName = friendly[i].substr(0, 49);
    }
    auto guard = m_lock.Acquire();
    m_devList.swap(list);
    return n;
}

void CDShowCapture::FreeDeviceList()
{
    std::vector<SCamDevInfo> old;
    auto guard = m_lock.Acquire();
    m_devList.swap(old);
}

int CDShowCapture::DevCount() const
{
    auto guard = m_lock.Acquire();
    return static_cast<int>(m_devList.size());
}

std::vector<SCamDevInfo> CDShowCapture::Devices() const
{
    auto guard = m_lock.Acquire();
    return m_devList;
}

int CDShowCapture::CurrentDevice() const
{
    auto guard = m_lock.Acquire();
    return m_nCurDev;
}

bool CDShowCapture::SelectDevice(int index)
{
    auto guard = m_lock.Acquire();
    if (index < 0 || index >= static_cast<int>(m_devList.size()))
        return false;
    m_nCurDev = index;
    return true;
}

HRESULT CDShowCapture::BindDeviceFilter(const std::string& key, ComPtr<IBaseFilter>& filter)
{
    filter.Reset();
    ComPtr<IEnumMoniker> monikers;
    HRESULT hr = VideoInputEnumerator(monikers);
    if (FAILED(hr))
        return hr;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        HRESULT nameHr;
        const std::string name = MonikerDisplayName(moniker.Get(), &nameHr);
        const bool match = SUCCEEDED(nameHr) && (key.empty() || key.find(name) != std::string::npos);
        if (match) {
            if (FAILED(fw::TraceHr(L"IMoniker::BindToObject",
                                   moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter))))) {
                ::OutputDebugStringW(L"ERROR: Cannot create filter with specified IMoniker.\n");
                ::OutputDebugStringW(L"ERROR: Fail to build filte specified!\n");
            }
            return S_OK;
        }
        moniker.Reset();
    }
    return E_FAIL;
}

// ---- graph ------------------------------------------------------------------

HRESULT AddFilterByClsid(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name,
                         ComPtr<IBaseFilter>& filter)
{
    filter.Reset();
    HRESULT hr = fw::TraceHr(name, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)));
    if (FAILED(hr))
        return hr;
    hr = fw::TraceHr(L"IGraphBuilder::AddFilter", graph->AddFilter(filter.Get(), name));
    if (FAILED(hr))
        filter.Reset();
    return hr;
}

HRESULT FindPinByName(IBaseFilter* filter, PIN_DIRECTION dir, const char* name, ComPtr<IPin>& pin)
{
    pin.Reset();
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(fw::TraceHr(L"IBaseFilter::EnumPins", filter->EnumPins(&pins))))
        return E_FAIL;
    ComPtr<IPin> p;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(fw::TraceHr(L"IPin::QueryPinInfo", p->QueryPinInfo(&info)))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (info.dir == dir && (!*name || ToAnsi(info.achName, 79) == name)) {
                pin = p;
                return S_OK;
            }
        }
        p.Reset();
    }
    return E_FAIL;
}

HRESULT FindFirstInputPin(IBaseFilter* filter, ComPtr<IPin>& pin)
{
    return FindPinByName(filter, PINDIR_INPUT, "", pin);
}

void CDShowCapture::SetGraph(ComPtr<IGraphBuilder> graph, ComPtr<IBaseFilter> cap)
{
    auto guard = m_lock.Acquire();
    m_pGraph = std::move(graph);
    m_pCapFilter = std::move(cap);
}

ComPtr<IGraphBuilder> CDShowCapture::CurrentGraph() const
{
    auto guard = m_lock.Acquire();
    return m_pGraph;
}

bool CDShowCapture::StartPreview(const PreviewConfig& config)
{
    // Only the four modes there are; anything else is neither used nor kept.
    if (config.resolutionMode < 1 || config.resolutionMode > 4) {
        fw::DebugTrace(L"Resolution mode %d ignored\n", config.resolutionMode);
        return false;
    }
    m_config = config;
    return DevCount() != 0 && BuildGraph() && ConnectGraph() && RunGraph();
}

bool CDShowCapture::BuildGraph()
{
    TearDownGraph();
    std::string displayName;
    {
        auto guard = m_lock.Acquire();
        if (m_nCurDev < 0 || m_nCurDev >= static_cast<int>(m_devList.size()))
            return false;
        displayName = m_devList[m_nCurDev].szDisplayName;
    }
    ComPtr<IGraphBuilder> graph;
    const HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (FAILED(hr)) {
        ::OutputDebugStringW(L"ERROR: Fail to create Filter Graph Manager, System initialization failed!!\n");
        fw::TraceHr(L"CoCreateInstance(CLSID_FilterGraph)", hr);
        return false;
    }
    ComPtr<IBaseFilter> cap;
    if (FAILED(BindDeviceFilter(displayName, cap)) || !cap)
        return false;
    fw::TraceHr(L"IGraphBuilder::AddFilter(Video Capture)", graph->AddFilter(cap.Get(), L"Video Capture"));
    SetGraph(graph, cap);
    if (!SelectCaptureFormat() || !AddRenderer()) {
        TearDownGraph();
        return false;
    }
    if (m_hNotifyWnd) {
        ComPtr<IMediaEventEx> events;
        if (SUCCEEDED(fw::TraceHr(L"IMediaEventEx", m_pGraph.As(&events))))
            fw::TraceHr(L"IMediaEventEx::SetNotifyWindow",
                        events->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hNotifyWnd), UM_GRAPH_EVENT, 0));
    }
    return true;
}

bool CDShowCapture::AddRenderer()
{
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!::GetVersionExW(&v))
        fw::TraceLastError(L"GetVersionExW");
    const HWND owner = m_config.videoOwner;
    ComPtr<IBaseFilter> renderer;
    if (v.dwMajorVersion >= 6) {
        if (SUCCEEDED(AddFilterByClsid(m_pGraph.Get(), CLSID_VideoMixingRenderer9, L"Video Render", renderer))) {
            ComPtr<IVMRFilterConfig9> config;
            if (owner && SUCCEEDED(fw::TraceHr(L"IVMRFilterConfig9", renderer.As(&config)))) {
                fw::TraceHr(L"IVMRFilterConfig9::SetNumberOfStreams", config->SetNumberOfStreams(1));
                fw::TraceHr(L"IVMRFilterConfig9::SetRenderingMode", config->SetRenderingMode(VMR9Mode_Windowed));
            }
            return true;
        }
    } else if (SUCCEEDED(AddFilterByClsid(m_pGraph.Get(), CLSID_VideoMixingRenderer, L"Video Render", renderer))) {
        ComPtr<IVMRFilterConfig> config;
        if (owner && SUCCEEDED(fw::TraceHr(L"IVMRFilterConfig", renderer.As(&config))))
            fw::TraceHr(L"IVMRFilterConfig::SetRenderingMode", config->SetRenderingMode(VMRMode_Windowed));
        return true;
    }
    return SUCCEEDED(AddFilterByClsid(m_pGraph.Get(), CLSID_VideoRenderer, L"Video Render", renderer));
}

bool CDShowCapture::QueryMaxResolution(int& width, int& height, std::vector<StreamCapability>& caps)
{
    caps.clear();
    ComPtr<IAMStreamConfig> config = CapturePinConfig(m_pGraph.Get());
    const int count = CapabilityCount(config.Get());
    if (count < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        fw::MediaTypePtr mt;
        VIDEO_STREAM_CONFIG_CAPS scc;
        if (FAILED(fw::TraceHr(L"IAMStreamConfig::GetStreamCaps",
                               config->GetStreamCaps(i, mt.put(), reinterpret_cast<BYTE*>(&scc)))) ||
            !mt)
            continue;
        if (mt->formattype != FORMAT_VideoInfo || !mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER))
            continue;
        const BITMAPINFOHEADER& bih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
        caps.push_back({bih.biWidth, bih.biHeight, bih.biBitCount,
                        mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_YUY2});
    }
    LargestSides(caps, width, height);
    return true;
}

bool CDShowCapture::SelectCaptureFormat()
{
    if (!m_pGraph)
        return false;
    std::vector<StreamCapability> caps;
    if (m_config.resolutionMode == 4) {
        int maxW = 0, maxH = 0;
        // Without the capabilities there is no native size to choose.
        if (!QueryMaxResolution(maxW, maxH, caps))
            return false;
        fw::DebugTrace(L"Native size: largest %d x %d over %u capabilities\n", maxW, maxH,
                       static_cast<unsigned>(caps.size()));
    }
    const CaptureFormatChoice choice = ChooseStreamFormat(m_config.resolutionMode, caps);
    {
        auto guard = m_lock.Acquire();
        if (m_nCurDev >= 0 && m_nCurDev < static_cast<int>(m_devList.size()))
            m_devList[m_nCurDev].bUseStillPin = choice.useStillPin;
    }
    if (choice.width == 0) {
        ::OutputDebugStringW(L"No YUY2 size to preview at\n");
        return false;
    }

    ComPtr<IAMStreamConfig> config = CapturePinConfig(m_pGraph.Get());
    const int count = CapabilityCount(config.Get());
    if (count < 0)
        return false;
    bool applied = false;
    for (int i = 0; i < count; ++i) {
        fw::MediaTypePtr mt;
        VIDEO_STREAM_CONFIG_CAPS scc;
        if (FAILED(fw::TraceHr(L"IAMStreamConfig::GetStreamCaps",
                               config->GetStreamCaps(i, mt.put(), reinterpret_cast<BYTE*>(&scc)))) ||
            !mt)
            continue;
        if (mt->majortype != MEDIATYPE_Video || mt->subtype != MEDIASUBTYPE_YUY2 ||
            mt->formattype != FORMAT_VideoInfo || !mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER))
            continue;
        BITMAPINFOHEADER& bih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
        // A capability announced beyond the frame bounds is not one to ask for.
        if (!FrameSizeAllowed(bih.biWidth, bih.biHeight, bih.biBitCount))
            continue;
        bih.biWidth = choice.width;
        bih.biHeight = choice.height;
        bih.biSizeImage = Yuy2ImageSize(choice.width, choice.height);
        mt->lSampleSize = bih.biSizeImage;
        const HRESULT hr = config->SetFormat(mt.get());
        if (SUCCEEDED(hr)) {
            applied = true;
        } else {
            ::OutputDebugStringW(L"[Set property error] Set format error\n");
            fw::TraceHr(L"IAMStreamConfig::SetFormat", hr);
        }
    }
    return applied;
}

bool CDShowCapture::Connect(IPin* out, IPin* in, int attempts)
{
    for (int i = 0; i < attempts; ++i)
        if (SUCCEEDED(fw::TraceHr(L"IGraphBuilder::Connect", m_pGraph->Connect(out, in))))
            return true;
    return false;
}

bool CDShowCapture::AddSampleGrabber()
{
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    if (FAILED(AddFilterByClsid(m_pGraph.Get(), kClsidSampleGrabber, L"SampleGrabber", grabberFilter)) ||
        FAILED(fw::TraceHr(L"ISampleGrabber", grabberFilter.As(&grabber))))
        return false;
    if (!m_pGrabberCB && !CSampleGrabberCB::Create(m_pGrabberCB))
        return false;
    fw::TraceHr(L"ISampleGrabber::SetOneShot", grabber->SetOneShot(FALSE));
    fw::TraceHr(L"ISampleGrabber::SetBufferSamples", grabber->SetBufferSamples(FALSE));
    // The grabber takes its own reference: the callback lives as long as it may be called.
    return SUCCEEDED(fw::TraceHr(L"ISampleGrabber::SetCallback", grabber->SetCallback(m_pGrabberCB.Get(), 1)));
}

bool CDShowCapture::ConnectGraph()
{
    if (!m_pGraph)
        return false;
    auto fail = [this] {
        TearDownGraph();
        return false;
    };
    bool stillMode = false;
    {
        auto guard = m_lock.Acquire();
        if (m_nCurDev < 0 || m_nCurDev >= static_cast<int>(m_devList.size()))
            return fail();
        stillMode = m_devList[m_nCurDev].bUseStillPin;
    }
    ComPtr<IPin> capture, feed;
    if (FAILED(FindPinByName(m_pCapFilter.Get(), PINDIR_OUTPUT, "Capture", capture)))
        return fail();
    feed = capture;
    if (stillMode) {
        ComPtr<IPin> renderIn;
        if (FAILED(FindFirstInputPin(FindFilter(m_pGraph.Get(), L"Video Render").Get(), renderIn)) ||
            !Connect(capture.Get(), renderIn.Get(), 2) ||
            FAILED(FindPinByName(m_pCapFilter.Get(), PINDIR_OUTPUT, "Still", feed)))
            return fail();
    }

    ComPtr<IAMStreamConfig> feedConfig;
    fw::MediaTypePtr feedType;
    HRESULT hr = feed.As(&feedConfig);
    if (FAILED(hr)) {
        ::OutputDebugStringW(L"Error: Create IAMStreamConfig failed\n");
        fw::TraceHr(L"IAMStreamConfig", hr);
        return fail();
    }
    hr = feedConfig->GetFormat(feedType.put());
    if (FAILED(hr) || !feedType) {
        ::OutputDebugStringW(L"Error: IAMStreamConfig::GetFormat failed\n");
        fw::TraceHr(L"IAMStreamConfig::GetFormat", hr);
        return fail();
    }
    if (!AddSampleGrabber())
        return fail();
    ComPtr<IBaseFilter> grabberFilter = FindFilter(m_pGraph.Get(), L"SampleGrabber");
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IPin> grabIn, grabOut, sinkIn;
    if (!grabberFilter || FAILED(grabberFilter.As(&grabber)) ||
        FAILED(fw::TraceHr(L"ISampleGrabber::SetMediaType", grabber->SetMediaType(feedType.get()))) ||
        FAILED(FindPinByName(grabberFilter.Get(), PINDIR_INPUT, "Input", grabIn)) ||
        !Connect(feed.Get(), grabIn.Get(), 2) ||
        FAILED(FindPinByName(grabberFilter.Get(), PINDIR_OUTPUT, "Output", grabOut)))
        return fail();
    if (stillMode) {
        ComPtr<IBaseFilter> nullRenderer;
        if (FAILED(AddFilterByClsid(m_pGraph.Get(), kClsidNullRenderer, L"Null Render", nullRenderer)) ||
            FAILED(FindFirstInputPin(nullRenderer.Get(), sinkIn)) || !Connect(grabOut.Get(), sinkIn.Get(), 1))
            return fail();
    } else if (FAILED(FindFirstInputPin(FindFilter(m_pGraph.Get(), L"Video Render").Get(), sinkIn)) ||
               !Connect(grabOut.Get(), sinkIn.Get(), 2)) {
        return fail();
    }
    if (!ConfigureVideoWindow())
        return fail();
    fw::MediaTypeContents connected;
    if (SUCCEEDED(fw::TraceHr(L"ISampleGrabber::GetConnectedMediaType", grabber->GetConnectedMediaType(connected.put()))))
        m_pGrabberCB->SetFormat(connected.get());
    return true;
}

bool CDShowCapture::ConfigureVideoWindow()
{
    ComPtr<IVideoWindow> video;
    if (FAILED(fw::TraceHr(L"IVideoWindow", m_pGraph.As(&video))))
        return false;
    const HWND owner = m_config.videoOwner;
    RECT client{};
    if (owner && !::GetClientRect(owner, &client))
        fw::TraceLastError(L"GetClientRect(video owner)");
    fw::TraceHr(L"IVideoWindow::put_Owner", video->put_Owner(reinterpret_cast<OAHWND>(owner)));
    fw::TraceHr(L"IVideoWindow::put_WindowStyle", video->put_WindowStyle(WS_CHILD));
    fw::TraceHr(L"IVideoWindow::SetWindowPosition", video->SetWindowPosition(0, 0, client.right, client.bottom));
    fw::TraceHr(L"IVideoWindow::put_Visible", video->put_Visible(OATRUE));
    return true;
}

void CDShowCapture::FitVideoWindow()
{
    ComPtr<IVideoWindow> video;
    const HWND owner = m_config.videoOwner;
    if (!m_pGraph || !owner || FAILED(m_pGraph.As(&video)))
        return;
    RECT client{};
    if (!::GetClientRect(owner, &client)) {
        fw::TraceLastError(L"GetClientRect(video owner)");
        return;
    }
    fw::TraceHr(L"IVideoWindow::SetWindowPosition", video->SetWindowPosition(0, 0, client.right, client.bottom));
}

bool CDShowCapture::SetRunning(bool run)
{
    ComPtr<IMediaControl> control;
    OAFilterState state;
    if (!m_pGraph || FAILED(fw::TraceHr(L"IMediaControl", m_pGraph.As(&control))) ||
        !StateQueryOk(control->GetState(1000, &state)))
        return false;
    bool running = state == State_Running;
    if (run && state != State_Running) {
        running = SUCCEEDED(fw::TraceHr(L"IMediaControl::Run", control->Run()));
        if (running)
            m_clock.Hold(m_pGraph.Get());
    }
    else if (!run && state != State_Stopped)
        fw::TraceHr(L"IMediaControl::Stop", control->Stop());
    {
        auto guard = m_lock.Acquire();
        m_bRunning = run && running;
    }
    ComPtr<IVideoWindow> video;
    if (SUCCEEDED(m_pGraph.As(&video)))
        fw::TraceHr(L"IVideoWindow::put_Visible", video->put_Visible(run ? OATRUE : OAFALSE));
    return true;
}

bool CDShowCapture::RunGraph() { return SetRunning(true); }

bool CDShowCapture::StopGraph() { return SetRunning(false); }

int CDShowCapture::GetGraphState() const
{
    ComPtr<IGraphBuilder> graph = CurrentGraph();
    ComPtr<IMediaControl> control;
    if (!graph || FAILED(graph.As(&control)))
        return kGraphUnknown;
    OAFilterState state;
    if (!StateQueryOk(control->GetState(1000, &state)))
        return kGraphUnknown;
    switch (state) {
    case State_Stopped: return kGraphStopped;
    case State_Running: return kGraphRunning;
    case State_Paused: return kGraphPaused;
    default: return kGraphUnknown;
    }
}

void CDShowCapture::TearDownGraph()
{
    // Take the graph out first: stopping it may pump messages, and a handler
    // that runs meanwhile (a device change) must not mistake it for live.
    // Its clock goes after it.
    fw::ClockKeeper clock(std::move(m_clock));
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> cap;
    {
        auto guard = m_lock.Acquire();
        graph.Swap(m_pGraph);
        cap.Swap(m_pCapFilter);
        m_bRunning = false;
    }
    ComPtr<CSampleGrabberCB> callback;
    callback.Swap(m_pGrabberCB);
    if (graph) {
        ComPtr<IMediaEventEx> events;
        if (SUCCEEDED(graph.As(&events)))
            fw::TraceHr(L"IMediaEventEx::SetNotifyWindow", events->SetNotifyWindow(0, 0, 0));
        // Stopped whatever GetState would say (a paused live source answers
        // VFW_S_CANT_CUE, a graph on its way VFW_S_STATE_INTERMEDIATE): Stop
        // returns once the streaming threads have left the filters, so no
        // callback runs any more when the filters go.
        ComPtr<IMediaControl> control;
        if (SUCCEEDED(fw::TraceHr(L"IMediaControl", graph.As(&control))))
            fw::TraceHr(L"IMediaControl::Stop", control->Stop());
        ComPtr<IVideoWindow> video;
        if (SUCCEEDED(graph.As(&video))) {
            fw::TraceHr(L"IVideoWindow::put_Visible", video->put_Visible(OAFALSE));
            fw::TraceHr(L"IVideoWindow::put_Owner", video->put_Owner(0));
        }
        ComPtr<IEnumFilters> filters;
        const HRESULT hr = graph->EnumFilters(&filters);
        if (FAILED(hr)) {
            ::OutputDebugStringW(L"pIGraphBuilder->EnumFilters error\n");
            fw::TraceHr(L"IGraphBuilder::EnumFilters", hr);
        } else {
            std::vector<ComPtr<IBaseFilter>> all;
            ComPtr<IBaseFilter> f;
            while (filters->Next(1, &f, nullptr) == S_OK) {
                all.push_back(f);
                f.Reset();
            }
            for (auto& filter : all) {
                ComPtr<IEnumPins> pins;
                if (SUCCEEDED(fw::TraceHr(L"IBaseFilter::EnumPins", filter->EnumPins(&pins)))) {
                    ComPtr<IPin> pin;
                    while (pins->Next(1, &pin, nullptr) == S_OK) {
                        fw::TraceHr(L"IGraphBuilder::Disconnect", graph->Disconnect(pin.Get()));
                        pin.Reset();
                    }
                }
                fw::TraceHr(L"IGraphBuilder::RemoveFilter", graph->RemoveFilter(filter.Get()));
            }
        }
    }
    if (graph || callback) {
        // The grabber lets go of its reference when it goes itself. A still
        // capture waiting for this graph's frame gets none.
        callback.Reset();
        EndGrabRequest();
    }
}

bool CDShowCapture::SwitchDevice(int index)
{
    if (!m_pGraph)
        return false;
    std::string displayName;
    int old = -1;
    {
        auto guard = m_lock.Acquire();
        if (index < 0 || index >= static_cast<int>(m_devList.size()) || index == m_nCurDev)
            return false;
        displayName = m_devList[index].szDisplayName;
        old = m_nCurDev;
    }
    StopGraph();
    ComPtr<IBaseFilter> probe;
    if (FAILED(BindDeviceFilter(displayName, probe)) || !probe) {
        RunGraph();
        return false;
    }
    probe.Reset();
    TearDownGraph();
    SelectDevice(index);
    if (StartPreview(m_config))
        return true;
    TearDownGraph();
    SelectDevice(old);
    StartPreview(m_config);
    return false;
}

bool CDShowCapture::SetRollAngle(int degrees)
{
    ComPtr<IAMCameraControl> camera;
    ComPtr<IBaseFilter> cap = FindFilter(m_pGraph.Get(), L"Video Capture");
    return cap && SUCCEEDED(fw::TraceHr(L"IAMCameraControl", cap.As(&camera))) &&
           fw::TraceHr(L"IAMCameraControl::Set(Roll)",
                       camera->Set(CameraControl_Roll, degrees, CameraControl_Flags_Manual)) == S_OK;
}

// ---- still capture ----------------------------------------------------------

bool CDShowCapture::CaptureStill(std::vector<uint8_t>& image)
{
    // Take what the capture needs while the main thread cannot swap it.
    ComPtr<IGraphBuilder> graph;
    bool stillMode = false, running = false;
    {
        auto guard = m_lock.Acquire();
        graph = m_pGraph;
        running = m_bRunning;
        if (m_nCurDev >= 0 && m_nCurDev < static_cast<int>(m_devList.size()))
            stillMode = m_devList[m_nCurDev].bUseStillPin;
    }
    // The engine's own record of the state, not a query of the graph: under
    // Wine a state query from this thread while the window thread changes
    // the graph's state can deadlock inside the filter graph.
    if (!graph || !running)
        return false;

    SGrabSlot& slot = GrabSlot();
    slot.doneEvent.Reset();
    slot.bDone.store(false, std::memory_order_relaxed);
    slot.bArmed.store(true, std::memory_order_release);

    if (stillMode) {
        ComPtr<IBaseFilter> cap = FindFilter(graph.Get(), L"Video Capture");
        ComPtr<IPin> still;
        ComPtr<IAMVideoControl> control;
        if (!cap || FAILED(FindPinByName(cap.Get(), PINDIR_OUTPUT, "Still", still)) ||
            FAILED(fw::TraceHr(L"IAMVideoControl", cap.As(&control))) ||
            FAILED(fw::TraceHr(L"IAMVideoControl::SetMode(Trigger)",
                               control->SetMode(still.Get(), VideoControlFlag_Trigger)))) {
            slot.bArmed.store(false, std::memory_order_release);
            slot.bDone.store(true, std::memory_order_release);
            return false;
        }
    }
    // Not held while waiting: a graph torn down meanwhile is then released
    // for the last time on the thread that tears it down, never here.
    graph.Reset();

    // A camera that never delivers must not hold the snapshot worker for ever.
    if (!slot.doneEvent.Wait(kStillWaitMs) && !slot.bDone.load(std::memory_order_acquire)) {
        slot.bArmed.store(false, std::memory_order_release);
        ::OutputDebugStringW(L"No frame for the still capture\n");
        return false;
    }

    // The image is made from the slot's own buffer, under its lock, and the
    // buffer stays with the slot, emptied, for the next frame of this graph:
    // a large frame is then copied into memory that is already mapped (a
    // fresh buffer of 10 MB costs more in page faults than the copy itself).
    // No callback writes meanwhile: nothing is armed.
    auto guard = slot.frameLock.Acquire();
    struct Consumed {
        std::vector<uint8_t>& frame;
        ~Consumed() { frame.clear(); }
    } consumed{slot.frame};
    if (slot.frame.empty())
        return false;
    try {
        if (BuildStillImage(slot.desc, slot.frame.data(), slot.frame.size(), image))
            return true;
        fw::DebugTrace(L"No still image from a %d x %d frame of %u bytes\n", slot.desc.width,
                       slot.desc.height, static_cast<unsigned>(slot.frame.size()));
        return false;
    } catch (const std::bad_alloc&) {
        ::OutputDebugStringW(L"Out of memory\n");
        return false;
    }
}

// ---- device changes ---------------------------------------------------------

bool CDShowCapture::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    switch (msg) {
    case UM_GRAPH_EVENT: HandleGraphEvents(); return true;
    case UM_DEVICE_LOST: OnDeviceLost(); return true;
    case UM_DEVICE_RESCAN: OnDeviceRescan(); return true;
    case UM_DEVICE_REMOVED: OnDeviceCountChanged(wp, lp, false); return true;
    case UM_DEVICE_ARRIVED: OnDeviceCountChanged(wp, lp, true); return true;
    case UM_RESTART_PREVIEW:
        // A streaming error: one rebuild on the same camera.
        TearDownGraph();
        PostToWindow(UM_START_PREVIEW);
        return true;
    case WM_DEVICECHANGE:
        if (wp == DBT_DEVNODES_CHANGED)
            OnDeviceNodesChanged();
        result = TRUE;
        return true;
    default: return false;
    }
}

void CDShowCapture::HandleGraphEvents()
{
    ComPtr<IMediaEventEx> events;
    if (!m_pGraph || !m_hNotifyWnd || FAILED(m_pGraph.As(&events)))
        return;
    long code;
    LONG_PTR p1, p2;
    while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 0))) {
        fw::TraceHr(L"IMediaEventEx::FreeEventParams", events->FreeEventParams(code, p1, p2));
        fw::DebugTrace(L"Graph event 0x%lx\n", code);
        if (code == EC_DEVICE_LOST) {
            PostToWindow(UM_DEVICE_LOST);
        } else if (code == EC_ERRORABORT) {
            ::OutputDebugStringW(L"EC_ERRORABORT\n");
            PostToWindow(UM_RESTART_PREVIEW);
        }
    }
}

void CDShowCapture::OnDeviceNodesChanged()
{
    int present = 0;
    if (FAILED(EnumVideoDevices(nullptr, nullptr, &present)))
        present = 0;
    const int known = m_host ? m_host->KnownCameraCount() : DevCount();
    if (present > known)
        OnVideoDeviceArrival();
    else if (present < known)
        OnVideoDeviceRemoval();
}

void CDShowCapture::RebuildKeepingSelection(bool firstWhenNoneBefore)
{
    std::string selected;
    bool hadDevices = false;
    {
        auto guard = m_lock.Acquire();
        hadDevices = !m_devList.empty();
        if (m_nCurDev >= 0 && m_nCurDev < static_cast<int>(m_devList.size()))
            selected = m_devList[m_nCurDev].szDisplayName;
    }
    BuildDeviceList();
    auto guard = m_lock.Acquire();
    const int count = static_cast<int>(m_devList.size());
    if (!hadDevices && firstWhenNoneBefore && count != 0)
        m_nCurDev = 0;
    for (int i = 0; i < count; ++i) {
        if (!selected.empty() && m_devList[i].szDisplayName == selected) {
            m_nCurDev = i;
            break;
        }
    }
    // A selected camera that is gone leaves the selection on the first one.
    if (count == 0)
        m_nCurDev = -1;
    else if (m_nCurDev < 0 || m_nCurDev >= count)
        m_nCurDev = 0;
}

int CDShowCapture::RebuildSelectingFirst()
{
    TearDownGraph();
    FreeDeviceList();
    const int count = BuildDeviceList();
    auto guard = m_lock.Acquire();
    m_nCurDev = count > 0 ? 0 : -1;
    return count;
}

void CDShowCapture::OnVideoDeviceArrival()
{
    if (m_bArrivalBusy)
        return;
    m_bArrivalBusy = true;
    RebuildKeepingSelection(true);
    PostToWindow(UM_DEVICE_ARRIVED, static_cast<WPARAM>(DevCount()), CurrentDevice());
}

void CDShowCapture::OnVideoDeviceRemoval()
{
    if (m_bRemovalBusy)
        return;
    m_bRemovalBusy = true;
    const std::vector<SCamDevInfo> list = Devices();
    int gone = static_cast<int>(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        ComPtr<IBaseFilter> probe;
        if (FAILED(BindDeviceFilter(list[i].szDisplayName, probe))) {
            gone = static_cast<int>(i);
            break;
        }
    }
    if (gone == CurrentDevice()) {
        if (m_pGraph && GetGraphState() != kGraphUnknown) {
            m_bRemovalBusy = false; // the graph reports the loss itself
            return;
        }
        PostToWindow(UM_DEVICE_RESCAN);
        return;
    }
    RebuildKeepingSelection(false);
    PostToWindow(UM_DEVICE_REMOVED, static_cast<WPARAM>(DevCount()), CurrentDevice());
}

void CDShowCapture::OnDeviceCountChanged(WPARAM count, LPARAM current, bool arrival)
{
    if (arrival)
        m_bArrivalBusy = false;
    else
        m_bRemovalBusy = false;
    if (m_host)
        m_host->OnCamerasChanged(static_cast<int>(count), static_cast<int>(current), true);
    // The arrived camera (or the one kept) shows at once while the window is open.
    if (arrival && m_host && m_host->IsOpen())
        PostToWindow(UM_START_PREVIEW);
}

void CDShowCapture::OnDeviceLost()
{
    const int count = RebuildSelectingFirst();
    if (count == 0) {
        if (m_host) {
            m_host->OnCamerasChanged(0, -1, false);
            m_host->OnNoCamera(true);
        }
        return;
    }
    // The lost camera's place goes to the first one there is.
    if (m_host)
        m_host->OnCamerasChanged(count, 0, true);
    PostToWindow(UM_START_PREVIEW);
}

void CDShowCapture::OnDeviceRescan()
{
    const int count = RebuildSelectingFirst();
    if (m_host) {
        m_host->OnCamerasChanged(count, count > 0 ? 0 : -1, false);
        if (count == 0)
            m_host->OnNoCamera(m_host->IsOpen());
    }
    m_bRemovalBusy = false;
}

} // namespace tamsel
