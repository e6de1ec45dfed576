#include "GraphHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwchar>

namespace vcamtest {

using vcam::DeviceConfig;
using vcam::Format;
using vcam::Subtype;

const std::vector<TestDevice>& StandardDevices()
{
    static const std::vector<TestDevice> devices = [] {
        std::vector<TestDevice> d;
        DeviceConfig alpha;
        alpha.friendlyName = L"Vcam Test Alpha";
        alpha.formats = {{Subtype::YUY2, 640, 480},
                         {Subtype::YUY2, 320, 240},
                         {Subtype::MJPG, 640, 480}};
        d.push_back({1, alpha});

        DeviceConfig beta;
        beta.friendlyName = L"Vcam Test Beta";
        beta.formats = {{Subtype::YUY2, 160, 120}};
        beta.capturePinName = L"Preview";
        beta.stillPin = false;
        beta.roll = false;
        d.push_back({2, beta});

        DeviceConfig gamma;
        gamma.friendlyName = L"Vcam Test Gamma";
        gamma.formats = {{Subtype::YUY2, 320, 240}};
        gamma.stillPinName = L"Snapshot";
        gamma.ignoreTrigger = true;
        d.push_back({3, gamma});

        DeviceConfig delta;
        delta.friendlyName = L"Vcam Test Delta";
        delta.formats = {{Subtype::YUY2, 160, 120}};
        delta.frameRate = 15;
        d.push_back({4, delta});
        return d;
    }();
    return devices;
}

const TestDevice& Device(int number)
{
    for (const TestDevice& d : StandardDevices())
        if (d.number == number)
            return d;
    throw std::out_of_range("no such test device");
}

void ResetDevices()
{
    ASSERT_HRESULT_SUCCEEDED(vcam::DeleteAllDevices());
    for (const TestDevice& d : StandardDevices())
        ASSERT_HRESULT_SUCCEEDED(vcam::WriteDevice(d.number, d.config));
    ASSERT_HRESULT_SUCCEEDED(vcam::RegisterDevices());
}

std::wstring CameraDllPath()
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"tamsel_vcam.dll";
}

std::wstring ExpectedDisplayName(int number)
{
    wchar_t text[128];
    swprintf(text, 128, L"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\TamselVcam%04d",
             number);
    return text;
}

std::vector<Listed> ListVideoInputs()
{
    std::vector<Listed> result;
    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&devEnum))))
        return result;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
        return result;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        Listed item;
        ComPtr<IBindCtx> ctx;
        LPOLESTR name = nullptr;
        if (SUCCEEDED(::CreateBindCtx(0, &ctx)) &&
            SUCCEEDED(moniker->GetDisplayName(ctx.Get(), nullptr, &name)) && name) {
            item.displayName = name;
            ::CoTaskMemFree(name);
        }
        ComPtr<IPropertyBag> bag;
        vcam::Variant friendly;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) &&
            SUCCEEDED(bag->Read(L"FriendlyName", friendly.put(), nullptr)) &&
            friendly.get().vt == VT_BSTR)
            item.friendlyName = friendly.get().bstrVal;
        result.push_back(item);
    }
    return result;
}

HRESULT BindDevice(const std::wstring& displayName, ComPtr<IBaseFilter>* filter)
{
    ComPtr<ICreateDevEnum> devEnum;
    HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&devEnum));
    if (FAILED(hr))
        return hr;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
        return E_FAIL;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        ComPtr<IBindCtx> ctx;
        LPOLESTR name = nullptr;
        if (FAILED(::CreateBindCtx(0, &ctx)) ||
            FAILED(moniker->GetDisplayName(ctx.Get(), nullptr, &name)) || !name)
            continue;
        bool match = displayName == name;
        ::CoTaskMemFree(name);
        if (match)
            return moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(filter->ReleaseAndGetAddressOf()));
    }
    return E_FAIL;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const std::wstring& name)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info = {};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (name == info.achName)
                return pin;
        }
    }
    return nullptr;
}

std::vector<std::wstring> PinNames(IBaseFilter* filter)
{
    std::vector<std::wstring> names;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return names;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info = {};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            names.push_back(info.achName);
        }
    }
    return names;
}

vcam::MediaType CapType(IAMStreamConfig* config, int index)
{
    AM_MEDIA_TYPE* raw = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    vcam::MediaType result;
    if (config->GetStreamCaps(index, &raw, reinterpret_cast<BYTE*>(&caps)) == S_OK && raw) {
        result = vcam::MediaType(*raw);
        vcam::DeleteMediaType(raw);
    }
    return result;
}

void SetVideoSize(vcam::MediaType* mt, const GUID& subtype, int width, int height)
{
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->get().pbFormat);
    mt->get().subtype = subtype;
    vih->bmiHeader.biCompression = subtype == MEDIASUBTYPE_MJPG
                                       ? MAKEFOURCC('M', 'J', 'P', 'G')
                                       : MAKEFOURCC('Y', 'U', 'Y', '2');
    vih->bmiHeader.biBitCount = subtype == MEDIASUBTYPE_MJPG ? 24 : 16;
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    // What a program computes for YUY2: rows rounded up to four pixels.
    vih->bmiHeader.biSizeImage = ((width + 3) & ~3) * height * 2;
    mt->get().lSampleSize = vih->bmiHeader.biSizeImage;
}

bool DescribeType(const AM_MEDIA_TYPE& mt, GUID* subtype, int* width, int* height)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(VIDEOINFOHEADER) ||
        !mt.pbFormat)
        return false;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    *subtype = mt.subtype;
    *width = vih->bmiHeader.biWidth;
    *height = vih->bmiHeader.biHeight;
    return true;
}

// ---- FrameCatcher ---------------------------------------------------------

STDMETHODIMP FrameCatcher::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
        *ppv = static_cast<ISampleGrabberCB*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FrameCatcher::Release()
{
    ULONG n = --m_refs;
    if (n == 0)
        delete this;
    return n;
}

STDMETHODIMP FrameCatcher::SampleCB(double, IMediaSample* sample)
{
    try {
        BYTE* data = nullptr;
        if (!sample || FAILED(sample->GetPointer(&data)))
            return S_OK;
        const long length = sample->GetActualDataLength();
        REFERENCE_TIME start = -1, stop = -1;
        sample->GetTime(&start, &stop);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_last.assign(data, data + std::max(0L, length));
            if (m_starts.size() < 4096)
                m_starts.push_back(start);
            ++m_count;
        }
        m_arrived.notify_all();
    } catch (...) {
    }
    return S_OK;
}

size_t FrameCatcher::count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_count;
}

bool FrameCatcher::WaitFor(size_t n, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_count >= n; });
}

std::vector<BYTE> FrameCatcher::last() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_last;
}

std::vector<REFERENCE_TIME> FrameCatcher::startTimes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_starts;
}

// ---- CaptureGraph ---------------------------------------------------------

CaptureGraph::~CaptureGraph()
{
    if (control)
        control->Stop();
}

HRESULT CaptureGraph::Create(const std::wstring& displayName)
{
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&graph));
    if (FAILED(hr))
        return hr;
    graph.As(&control);
    // control.h declares no __uuidof for IMediaEventEx.
    graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf()));
    if (!control || !events)
        return E_NOINTERFACE;
    hr = BindDevice(displayName, &camera);
    if (FAILED(hr))
        return hr;
    return graph->AddFilter(camera.Get(), L"Video Capture");
}

HRESULT CaptureGraph::AddBranch(const std::wstring& pinName, const GUID& subtype, Branch** out)
{
    auto branch = std::make_unique<Branch>();
    HRESULT hr = ::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&branch->grabberFilter));
    if (FAILED(hr))
        return hr;
    hr = ::CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(&branch->renderer));
    if (FAILED(hr))
        return hr;
    const std::wstring grabberName = L"Grabber " + pinName;
    const std::wstring rendererName = L"Null " + pinName;
    hr = graph->AddFilter(branch->grabberFilter.Get(), grabberName.c_str());
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(branch->renderer.Get(), rendererName.c_str());
    if (FAILED(hr))
        return hr;
    hr = branch->grabberFilter.As(&branch->grabber);
    if (FAILED(hr))
        return hr;
    AM_MEDIA_TYPE accept = {};
    accept.majortype = MEDIATYPE_Video;
    accept.subtype = subtype;
    hr = branch->grabber->SetMediaType(&accept);
    if (FAILED(hr))
        return hr;
    branch->catcher.Attach(new FrameCatcher());
    branch->grabber->SetOneShot(FALSE);
    branch->grabber->SetBufferSamples(FALSE);
    hr = branch->grabber->SetCallback(branch->catcher.Get(), 0);
    if (FAILED(hr))
        return hr;

    ComPtr<IPin> out1 = FindPin(camera.Get(), pinName);
    ComPtr<IPin> in1 = FindPin(branch->grabberFilter.Get(), L"Input");
    ComPtr<IPin> out2 = FindPin(branch->grabberFilter.Get(), L"Output");
    ComPtr<IEnumPins> rendererPins;
    ComPtr<IPin> in2;
    if (SUCCEEDED(branch->renderer->EnumPins(&rendererPins)))
        rendererPins->Next(1, &in2, nullptr);
    if (!out1 || !in1 || !out2 || !in2)
        return VFW_E_NOT_FOUND;
    // Directly: nothing may come between the camera and the grabber.
    hr = graph->ConnectDirect(out1.Get(), in1.Get(), nullptr);
    if (SUCCEEDED(hr))
        hr = graph->ConnectDirect(out2.Get(), in2.Get(), nullptr);
    if (FAILED(hr))
        return hr;
    *out = branch.get();
    m_branches.push_back(std::move(branch));
    return S_OK;
}

HRESULT CaptureGraph::Run()
{
    const HRESULT hr = control->Run();
    if (SUCCEEDED(hr))
        m_clock.Hold(graph.Get());
    return hr;
}

bool CaptureGraph::WaitState(OAFilterState wanted, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        OAFilterState state = -1;
        HRESULT hr = control->GetState(100, &state);
        if (hr == S_OK && state == wanted)
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(10);
    }
}

bool CaptureGraph::WaitEvent(long code, LONG_PTR* p1, LONG_PTR* p2, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        long got = 0;
        LONG_PTR a = 0, b = 0;
        if (SUCCEEDED(events->GetEvent(&got, &a, &b, 100))) {
            events->FreeEventParams(got, a, b);
            if (got == code) {
                *p1 = a;
                *p2 = b;
                return true;
            }
        }
        if (::GetTickCount() - start > timeoutMs)
            return false;
    }
}

// ---- pixels ---------------------------------------------------------------

const char* ColourName(Colour c)
{
    switch (c) {
    case Colour::White: return "white";
    case Colour::Black: return "black";
    case Colour::Red: return "red";
    case Colour::Green: return "green";
    case Colour::Blue: return "blue";
    default: return "other";
    }
}

Colour Classify(int r, int g, int b)
{
    if (r > 200 && g > 200 && b > 200)
        return Colour::White;
    if (r < 50 && g < 50 && b < 50)
        return Colour::Black;
    if (r > 170 && g < 80 && b < 80)
        return Colour::Red;
    if (g > 100 && r < 80 && b < 80)
        return Colour::Green;
    if (b > 170 && r < 80 && g < 80)
        return Colour::Blue;
    return Colour::Other;
}

void Yuy2Pixel(const std::vector<BYTE>& frame, int width, int x, int y, int* r, int* g, int* b)
{
    const size_t pair = (static_cast<size_t>(y) * width + (x & ~1)) * 2;
    const double luma = 1.164 * (frame[pair + ((x & 1) ? 2 : 0)] - 16);
    const double u = frame[pair + 1] - 128.0;
    const double v = frame[pair + 3] - 128.0;
    auto clamp = [](double c) { return static_cast<int>(std::min(255.0, std::max(0.0, c))); };
    *r = clamp(luma + 1.596 * v);
    *g = clamp(luma - 0.391 * u - 0.813 * v);
    *b = clamp(luma + 2.018 * u);
}

Corners MarkCentres(int width, int height)
{
    const int u = std::min(width, height);
    const int m = std::max(2, u / 32);
    const int s = std::max(6, u / 8);
    const int nearX = m + s / 2, farX = width - m - s + s / 2;
    const int nearY = m + s / 2, farY = height - m - s + s / 2;
    return {{nearX, nearY}, {farX, nearY}, {nearX, farY}, {farX, farY}};
}

} // namespace vcamtest
