#include "capture/DShowCapture.h"

#include "capture/FrameRules.h"
#include "framework/Debug.h"
#include "shell/Messages.h"

namespace tamsel {

using Microsoft::WRL::ComPtr;

namespace {

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& l) : m_l(l) { ::AcquireSRWLockShared(&m_l); }
    ~SharedLock() { ::ReleaseSRWLockShared(&m_l); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_l;
};

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& l) : m_l(l) { ::AcquireSRWLockExclusive(&m_l); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&m_l); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_l;
};

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

struct CoTaskString {
    wchar_t* p = nullptr;
    ~CoTaskString() { ::CoTaskMemFree(p); }
};

HRESULT VideoInputEnumerator(ComPtr<IEnumMoniker>& monikers)
{
    ComPtr<ICreateDevEnum> devEnum;
    HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&devEnum));
    if (FAILED(hr)) {
        ::OutputDebugStringW(L"ERROR: Fail to create System Device Enumerator!\n");
        return hr;
    }
    hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    if (hr != S_OK || !monikers)
        return E_FAIL; // S_FALSE: the category is empty
    return S_OK;
}

std::string MonikerDisplayName(IMoniker* moniker, HRESULT* result = nullptr)
{
    ComPtr<IBindCtx> ctx;
    HRESULT hr = ::CreateBindCtx(0, &ctx);
    CoTaskString name;
    if (SUCCEEDED(hr))
        hr = moniker->GetDisplayName(ctx.Get(), nullptr, &name.p);
    if (result)
        *result = hr;
    return SUCCEEDED(hr) && name.p ? ToAnsi(name.p, 254) : std::string();
}

} // namespace

CDShowCapture::~CDShowCapture()
{
    TearDownGraph();
    FreeDeviceList();
    m_hVideoOwner = nullptr;
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
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) {
            std::string friendly;
            if (friendlyNames) {
                VARIANT v;
                ::VariantInit(&v);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR)
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
        m_hVideoOwner = nullptr;
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
    ExclusiveLock lock(m_lock);
    m_devList.swap(list);
    return n;
}

void CDShowCapture::FreeDeviceList()
{
    std::vector<SCamDevInfo> old;
    ExclusiveLock lock(m_lock);
    m_devList.swap(old);
}

void CDShowCapture::ClampSelection()
{
    if (m_devList.empty())
        m_nCurDev = -1;
    else if (m_nCurDev < 0 || m_nCurDev >= DevCount())
        m_nCurDev = 0;
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
            if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter)))) {
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
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter));
    if (FAILED(hr))
        return hr;
    hr = graph->AddFilter(filter.Get(), name);
    if (FAILED(hr))
        filter.Reset();
    return hr;
}

HRESULT FindPinByName(IBaseFilter* filter, PIN_DIRECTION dir, const char* name, ComPtr<IPin>& pin)
{
    pin.Reset();
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins)))
        return E_FAIL;
    ComPtr<IPin> p;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(p->QueryPinInfo(&info))) {
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

namespace {

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
        pin.As(&config);
    return config;
}

bool StateQueryOk(HRESULT hr)
{
    return hr == S_OK; // VFW_S_STATE_INTERMEDIATE, VFW_S_CANT_CUE and failures do not count
}

} // namespace

void CDShowCapture::SetGraph(ComPtr<IGraphBuilder> graph, ComPtr<IBaseFilter> cap)
{
    ExclusiveLock lock(m_lock);
    m_pGraph = std::move(graph);
    m_pCapFilter = std::move(cap);
}

bool CDShowCapture::StartPreview()
{
    return DevCount() != 0 && BuildGraph() && ConnectGraph() && RunGraph();
}

bool CDShowCapture::BuildGraph()
{
    TearDownGraph();
    if (m_nCurDev < 0 || m_nCurDev >= DevCount())
        return false;
    ComPtr<IGraphBuilder> graph;
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)))) {
        ::OutputDebugStringW(L"ERROR: Fail to create Filter Graph Manager, System initialization failed!!\n");
        return false;
    }
    ComPtr<IBaseFilter> cap;
    if (FAILED(BindDeviceFilter(m_devList[m_nCurDev].szDisplayName, cap)) || !cap)
        return false;
    graph->AddFilter(cap.Get(), L"Video Capture");
    SetGraph(graph, cap);
    if (!SelectCaptureFormat() || !AddRenderer()) {
        TearDownGraph();
        return false;
    }
    if (m_hNotifyWnd) {
        ComPtr<IMediaEventEx> events;
        if (SUCCEEDED(m_pGraph.As(&events)))
            events->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hNotifyWnd), UM_GRAPH_EVENT, 0);
    }
    return true;
}

bool CDShowCapture::AddRenderer()
{
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    ::GetVersionExW(&v);
    ComPtr<IBaseFilter> renderer;
    if (v.dwMajorVersion >= 6) {
        if (SUCCEEDED(AddFilterByClsid(m_pGraph.Get(), CLSID_VideoMixingRenderer9, L"Video Render", renderer))) {
            ComPtr<IVMRFilterConfig9> config;
            if (m_hVideoOwner && SUCCEEDED(renderer.As(&config))) {
                config->SetNumberOfStreams(1);
                config->SetRenderingMode(VMR9Mode_Windowed);
            }
            return true;
        }
    } else if (SUCCEEDED(AddFilterByClsid(m_pGraph.Get(), CLSID_VideoMixingRenderer, L"Video Render", renderer))) {
        ComPtr<IVMRFilterConfig> config;
        if (m_hVideoOwner && SUCCEEDED(renderer.As(&config)))
            config->SetRenderingMode(VMRMode_Windowed);
        return true;
    }
    return SUCCEEDED(AddFilterByClsid(m_pGraph.Get(), CLSID_VideoRenderer, L"Video Render", renderer));
}

bool CDShowCapture::QueryMaxResolution(int& width, int& height)
{
    ComPtr<IAMStreamConfig> config = CapturePinConfig(m_pGraph.Get());
    int count = 0, size = 0;
    if (!config || FAILED(config->GetNumberOfCapabilities(&count, &size)) ||
        size != sizeof(VIDEO_STREAM_CONFIG_CAPS))
        return false;
    width = height = 0;
    for (int i = 0; i < count; ++i) {
        MediaTypePtr mt;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (FAILED(config->GetStreamCaps(i, mt.put(), reinterpret_cast<BYTE*>(&caps))) || !mt)
            continue;
        if (mt->formattype == FORMAT_VideoInfo && mt->pbFormat && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const BITMAPINFOHEADER& bih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
            if (bih.biWidth > width)
                width = bih.biWidth;
            if (bih.biHeight > height)
                height = bih.biHeight;
        }
    }
    return true;
}

bool CDShowCapture::SelectCaptureFormat()
{
    if (!m_pGraph)
        return false;
    int maxW = 0, maxH = 0;
    // Without the capabilities there is no native size to choose.
    if (m_nResMode == 4 && !QueryMaxResolution(maxW, maxH))
        return false;
    const CaptureFormatChoice choice = ChooseCaptureFormat(m_nResMode, maxW, maxH);
    {
        ExclusiveLock lock(m_lock);
        m_devList[m_nCurDev].bUseStillPin = choice.useStillPin;
    }

    ComPtr<IAMStreamConfig> config = CapturePinConfig(m_pGraph.Get());
    int count = 0, size = 0;
    if (!config || FAILED(config->GetNumberOfCapabilities(&count, &size)) ||
        size != sizeof(VIDEO_STREAM_CONFIG_CAPS))
        return false;
    bool applied = false;
    for (int i = 0; i < count; ++i) {
        MediaTypePtr mt;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (FAILED(config->GetStreamCaps(i, mt.put(), reinterpret_cast<BYTE*>(&caps))) || !mt)
            continue;
        if (mt->majortype != MEDIATYPE_Video || mt->subtype != MEDIASUBTYPE_YUY2 ||
            mt->formattype != FORMAT_VideoInfo || !mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER))
            continue;
        BITMAPINFOHEADER& bih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
        bih.biWidth = choice.width;
        bih.biHeight = choice.height;
        bih.biSizeImage = Yuy2ImageSize(choice.width, choice.height);
        mt->lSampleSize = bih.biSizeImage;
        if (SUCCEEDED(config->SetFormat(mt.get())))
            applied = true;
        else
            ::OutputDebugStringW(L"[Set property error] Set format error\n");
    }
    return applied;
}

bool CDShowCapture::Connect(IPin* out, IPin* in, int attempts)
{
    for (int i = 0; i < attempts; ++i)
        if (SUCCEEDED(m_pGraph->Connect(out, in)))
            return true;
    return false;
}

bool CDShowCapture::AddSampleGrabber()
{
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    if (FAILED(AddFilterByClsid(m_pGraph.Get(), kClsidSampleGrabber, L"SampleGrabber", grabberFilter)) ||
        FAILED(grabberFilter.As(&grabber)))
        return false;
    if (!m_pGrabberCB)
        m_pGrabberCB = std::make_unique<CSampleGrabberCB>();
    grabber->SetOneShot(FALSE);
    grabber->SetBufferSamples(FALSE);
    grabber->SetCallback(m_pGrabberCB.get(), 1);
    return true;
}

bool CDShowCapture::ConnectGraph()
{
    if (!m_pGraph)
        return false;
    auto fail = [this] {
        TearDownGraph();
        return false;
    };
    const bool stillMode = m_devList[m_nCurDev].bUseStillPin;
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
    MediaTypePtr feedType;
    if (FAILED(feed.As(&feedConfig))) {
        ::OutputDebugStringW(L"Error: Create IAMStreamConfig failed\n");
        return fail();
    }
    if (FAILED(feedConfig->GetFormat(feedType.put())) || !feedType) {
        ::OutputDebugStringW(L"Error: IAMStreamConfig::GetFormat failed\n");
        return fail();
    }
    if (!AddSampleGrabber())
        return fail();
    ComPtr<IBaseFilter> grabberFilter = FindFilter(m_pGraph.Get(), L"SampleGrabber");
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IPin> grabIn, grabOut, sinkIn;
    if (!grabberFilter || FAILED(grabberFilter.As(&grabber)) ||
        FAILED(grabber->SetMediaType(feedType.get())) ||
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
    AM_MEDIA_TYPE connected{};
    if (SUCCEEDED(grabber->GetConnectedMediaType(&connected))) {
        m_pGrabberCB->SetFormat(connected);
        FreeMediaTypeContents(connected);
    }
    return true;
}

bool CDShowCapture::ConfigureVideoWindow()
{
    ComPtr<IVideoWindow> video;
    if (FAILED(m_pGraph.As(&video)))
        return false;
    RECT client{};
    ::GetClientRect(m_hVideoOwner, &client);
    video->put_Owner(reinterpret_cast<OAHWND>(m_hVideoOwner));
    video->put_WindowStyle(WS_CHILD);
    video->SetWindowPosition(0, 0, client.right, client.bottom);
    video->put_Visible(OATRUE);
    return true;
}

void CDShowCapture::FitVideoWindow()
{
    ComPtr<IVideoWindow> video;
    if (!m_pGraph || !m_hVideoOwner || FAILED(m_pGraph.As(&video)))
        return;
    RECT client{};
    ::GetClientRect(m_hVideoOwner, &client);
    video->SetWindowPosition(0, 0, client.right, client.bottom);
}

bool CDShowCapture::SetRunning(bool run)
{
    ComPtr<IMediaControl> control;
    OAFilterState state;
    if (!m_pGraph || FAILED(m_pGraph.As(&control)) || !StateQueryOk(control->GetState(1000, &state)))
        return false;
    if (run && state != State_Running)
        control->Run();
    else if (!run && state != State_Stopped)
        control->Stop();
    ComPtr<IVideoWindow> video;
    if (SUCCEEDED(m_pGraph.As(&video)))
        video->put_Visible(run ? OATRUE : OAFALSE);
    return true;
}

bool CDShowCapture::RunGraph() { return SetRunning(true); }

bool CDShowCapture::StopGraph() { return SetRunning(false); }

int CDShowCapture::GetGraphState()
{
    ComPtr<IGraphBuilder> graph;
    {
        SharedLock lock(m_lock);
        graph = m_pGraph;
    }
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
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> cap;
    {
        ExclusiveLock lock(m_lock);
        graph.Swap(m_pGraph);
        cap.Swap(m_pCapFilter);
    }
    if (!graph)
        return;
    ComPtr<IMediaEventEx> events;
    if (SUCCEEDED(graph.As(&events)))
        events->SetNotifyWindow(0, 0, 0);
    ComPtr<IMediaControl> control;
    OAFilterState state;
    if (SUCCEEDED(graph.As(&control)) && StateQueryOk(control->GetState(1000, &state)) &&
        state != State_Stopped)
        control->Stop();
    ComPtr<IVideoWindow> video;
    if (SUCCEEDED(graph.As(&video))) {
        video->put_Visible(OAFALSE);
        video->put_Owner(0);
    }
    // The grabber must not call back into an object about to go.
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IBaseFilter> grabberFilter = FindFilter(graph.Get(), L"SampleGrabber");
    if (grabberFilter && SUCCEEDED(grabberFilter.As(&grabber)))
        grabber->SetCallback(nullptr, 1);

    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(&filters))) {
        ::OutputDebugStringW(L"pIGraphBuilder->EnumFilters error\n");
    } else {
        std::vector<ComPtr<IBaseFilter>> all;
        ComPtr<IBaseFilter> f;
        while (filters->Next(1, &f, nullptr) == S_OK) {
            all.push_back(f);
            f.Reset();
        }
        for (auto& filter : all) {
            ComPtr<IEnumPins> pins;
            if (SUCCEEDED(filter->EnumPins(&pins))) {
                ComPtr<IPin> pin;
                while (pins->Next(1, &pin, nullptr) == S_OK) {
                    graph->Disconnect(pin.Get());
                    pin.Reset();
                }
            }
            graph->RemoveFilter(filter.Get());
        }
    }
    m_pGrabberCB.reset();
}

bool CDShowCapture::SwitchDevice(int index)
{
    if (!m_pGraph || index < 0 || index >= DevCount() || index == m_nCurDev)
        return false;
    StopGraph();
    ComPtr<IBaseFilter> probe;
    if (FAILED(BindDeviceFilter(m_devList[index].szDisplayName, probe)) || !probe) {
        RunGraph();
        return false;
    }
    probe.Reset();
    TearDownGraph();
    const int old = m_nCurDev;
    m_nCurDev = index;
    if (StartPreview())
        return true;
    TearDownGraph();
    m_nCurDev = old;
    StartPreview();
    return false;
}

bool CDShowCapture::SetRollAngle(int degrees)
{
    ComPtr<IAMCameraControl> camera;
    ComPtr<IBaseFilter> cap = FindFilter(m_pGraph.Get(), L"Video Capture");
    return cap && SUCCEEDED(cap.As(&camera)) &&
           camera->Set(CameraControl_Roll, degrees, CameraControl_Flags_Manual) == S_OK;
}

// ---- still capture ----------------------------------------------------------

bool CDShowCapture::CaptureStill(std::vector<uint8_t>& image)
{
    // Take what the capture needs while the main thread cannot swap it.
    ComPtr<IGraphBuilder> graph;
    bool stillMode = false;
    {
        SharedLock lock(m_lock);
        graph = m_pGraph;
        if (m_nCurDev >= 0 && m_nCurDev < DevCount())
            stillMode = m_devList[m_nCurDev].bUseStillPin;
    }
    if (!graph || GetGraphState() != kGraphRunning)
        return false;

    SGrabSlot& slot = GrabSlot();
    ::ResetEvent(slot.doneEvent.get());
    slot.bDone.store(false, std::memory_order_relaxed);
    slot.bArmed.store(true, std::memory_order_release);

    if (stillMode) {
        ComPtr<IBaseFilter> cap = FindFilter(graph.Get(), L"Video Capture");
        ComPtr<IPin> still;
        ComPtr<IAMVideoControl> control;
        if (!cap || FAILED(FindPinByName(cap.Get(), PINDIR_OUTPUT, "Still", still)) ||
            FAILED(cap.As(&control)) || FAILED(control->SetMode(still.Get(), VideoControlFlag_Trigger))) {
            slot.bArmed.store(false, std::memory_order_release);
            slot.bDone.store(true, std::memory_order_release);
            return false;
        }
    }

    // A camera that never delivers must not hold the snapshot worker for ever.
    if (::WaitForSingleObject(slot.doneEvent.get(), kStillWaitMs) != WAIT_OBJECT_0 &&
        !slot.bDone.load(std::memory_order_acquire)) {
        slot.bArmed.store(false, std::memory_order_release);
        ::OutputDebugStringW(L"No frame for the still capture\n");
        return false;
    }

    std::vector<uint8_t> frame;
    FrameDesc desc;
    ::AcquireSRWLockExclusive(&slot.frameLock);
    frame.swap(slot.frame);
    desc = slot.desc;
    ::ReleaseSRWLockExclusive(&slot.frameLock);
    if (frame.empty())
        return false;
    try {
        return BuildStillImage(desc, frame.data(), frame.size(), image);
    } catch (const std::bad_alloc&) {
        ::OutputDebugStringW(L"Out of memory\n");
        return false;
    }
}

// ---- device changes ---------------------------------------------------------

void CDShowCapture::HandleGraphEvents()
{
    ComPtr<IMediaEventEx> events;
    if (!m_pGraph || !m_hNotifyWnd || FAILED(m_pGraph.As(&events)))
        return;
    long code;
    LONG_PTR p1, p2;
    while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 0))) {
        events->FreeEventParams(code, p1, p2);
        fw::DebugTrace(L"Graph event 0x%lx\n", code);
        if (code == EC_DEVICE_LOST) {
            ::PostMessageW(m_hNotifyWnd, UM_DEVICE_LOST, 0, 0);
        } else if (code == EC_ERRORABORT) {
            ::OutputDebugStringW(L"EC_ERRORABORT\n");
            ::PostMessageW(m_hNotifyWnd, UM_RESTART_PREVIEW, 0, 0);
        }
    }
}

void CDShowCapture::RebuildKeepingSelection(bool firstWhenNoneBefore)
{
    const bool hadDevices = DevCount() != 0;
    const std::string selected =
        m_nCurDev >= 0 && m_nCurDev < DevCount() ? m_devList[m_nCurDev].szDisplayName : std::string();
    BuildDeviceList();
    if (!hadDevices && firstWhenNoneBefore && DevCount() != 0)
        m_nCurDev = 0;
    for (int i = 0; i < DevCount(); ++i) {
        if (!selected.empty() && m_devList[i].szDisplayName == selected) {
            m_nCurDev = i;
            break;
        }
    }
    ClampSelection();
}

void CDShowCapture::OnVideoDeviceArrival()
{
    if (m_bArrivalBusy)
        return;
    m_bArrivalBusy = true;
    RebuildKeepingSelection(true);
    ::PostMessageW(m_hNotifyWnd, UM_DEVICE_ARRIVED, DevCount(), m_nCurDev);
}

void CDShowCapture::OnVideoDeviceRemoval()
{
    if (m_bRemovalBusy)
        return;
    m_bRemovalBusy = true;
    int gone = DevCount();
    for (int i = 0; i < DevCount(); ++i) {
        ComPtr<IBaseFilter> probe;
        if (FAILED(BindDeviceFilter(m_devList[i].szDisplayName, probe))) {
            gone = i;
            break;
        }
    }
    if (gone == m_nCurDev) {
        if (m_pGraph && GetGraphState() != kGraphUnknown) {
            m_bRemovalBusy = false; // the graph reports the loss itself
            return;
        }
        ::PostMessageW(m_hNotifyWnd, UM_DEVICE_RESCAN, 0, 0);
        return;
    }
    RebuildKeepingSelection(false);
    ::PostMessageW(m_hNotifyWnd, UM_DEVICE_REMOVED, DevCount(), m_nCurDev);
}

} // namespace tamsel
