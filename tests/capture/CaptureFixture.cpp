#include "CaptureFixture.h"

#include <dbt.h>

#include <algorithm>

namespace captest {

using Microsoft::WRL::ComPtr;

vcam::Format Yuy2(int w, int h) { return {vcam::Subtype::YUY2, w, h}; }
vcam::Format Mjpg(int w, int h) { return {vcam::Subtype::MJPG, w, h}; }

vcam::Format Announced(vcam::Format real, long width, long height, int bits)
{
    real.announcedWidth = width;
    real.announcedHeight = height;
    real.announcedBits = bits;
    return real;
}

vcam::DeviceConfig Camera(const wchar_t* name, std::vector<vcam::Format> formats)
{
    vcam::DeviceConfig c;
    c.friendlyName = name;
    c.formats = std::move(formats);
    return c;
}

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

STDMETHODIMP ForwardingCallback::QueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_ISampleGrabberCB || riid == IID_IUnknown) {
        *ppv = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ForwardingCallback::BufferCB(double time, BYTE* buffer, long length)
{
    ++frames;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_times.push_back(time);
        if (tamsel::GrabSlot().bArmed.load())
            m_taken.assign(buffer, buffer + length);
    }
    return m_next->BufferCB(time, buffer, length);
}

std::vector<uint8_t> ForwardingCallback::Taken()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_taken;
}

std::vector<double> ForwardingCallback::Times()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_times;
}

void CaptureTest::SetUp()
{
    m_notify = ::CreateWindowExW(0, L"STATIC", L"notify", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
    m_engine = std::make_unique<tamsel::CDShowCapture>();
    m_engine->Attach(m_notify, &m_host);
}

void CaptureTest::TearDown()
{
    m_engine.reset();
    ::DestroyWindow(m_notify);
    vcam::DeleteAllDevices();
    vcam::RegisterDevices();
}

void CaptureTest::UseCameras(const std::vector<vcam::DeviceConfig>& cameras)
{
    ASSERT_EQ(vcam::DeleteAllDevices(), S_OK);
    for (size_t i = 0; i < cameras.size(); ++i)
        ASSERT_EQ(vcam::WriteDevice(static_cast<int>(i), cameras[i]), S_OK);
    ASSERT_EQ(vcam::RegisterDevices(), S_OK);
}

bool CaptureTest::StartPreviewOn(int index, int resMode, HWND owner)
{
    m_host.known = m_engine->BuildDeviceList();
    if (!m_engine->SelectDevice(index))
        return false;
    return m_engine->StartPreview({owner, resMode});
}

bool CaptureTest::WaitRunning(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        if (m_engine->GetGraphState() == tamsel::kGraphRunning)
            return true;
        ::Sleep(20);
    }
    return false;
}

namespace {

ComPtr<ISampleGrabber> Grabber(IGraphBuilder* graph)
{
    ComPtr<IBaseFilter> f;
    ComPtr<ISampleGrabber> g;
    if (graph && SUCCEEDED(graph->FindFilterByName(L"SampleGrabber", &f)))
        f.As(&g);
    return g;
}

} // namespace

bool CaptureTest::GrabberFormat(GUID& subtype, int& width, int& height)
{
    ComPtr<ISampleGrabber> g = Grabber(Graph());
    AM_MEDIA_TYPE mt{};
    if (!g || FAILED(g->GetConnectedMediaType(&mt)))
        return false;
    subtype = mt.subtype;
    bool ok = mt.formattype == FORMAT_VideoInfo && mt.pbFormat;
    if (ok) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
        width = vih->bmiHeader.biWidth;
        height = vih->bmiHeader.biHeight;
    }
    tamsel::FreeMediaTypeContents(mt);
    return ok;
}

std::string CaptureTest::GrabberSourcePin()
{
    ComPtr<IBaseFilter> f;
    ComPtr<IPin> in, source;
    if (!Graph() || FAILED(Graph()->FindFilterByName(L"SampleGrabber", &f)) ||
        FAILED(tamsel::FindPinByName(f.Get(), PINDIR_INPUT, "Input", in)) || FAILED(in->ConnectedTo(&source)))
        return {};
    PIN_INFO info{};
    source->QueryPinInfo(&info);
    if (info.pFilter)
        info.pFilter->Release();
    char name[128] = {};
    ::WideCharToMultiByte(CP_ACP, 0, info.achName, -1, name, sizeof name, nullptr, nullptr);
    return name;
}

bool CaptureTest::HasFilter(const wchar_t* name)
{
    ComPtr<IBaseFilter> f;
    return Graph() && SUCCEEDED(Graph()->FindFilterByName(name, &f));
}

HWND CaptureTest::VideoOwner()
{
    ComPtr<IVideoWindow> video;
    OAHWND owner = 0;
    if (!Graph() || FAILED(Graph()->QueryInterface(IID_PPV_ARGS(&video))) || FAILED(video->get_Owner(&owner)))
        return nullptr;
    return reinterpret_cast<HWND>(owner);
}

bool CaptureTest::TakePosted(UINT msg, MSG& out, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    do {
        if (::PeekMessageW(&out, m_notify, msg, msg, PM_REMOVE))
            return true;
        ::Sleep(10);
    } while (::GetTickCount() - start < ms);
    return false;
}

bool CaptureTest::DispatchUntil(const std::function<bool()>& done, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done())
            return true;
        MSG msg;
        if (::PeekMessageW(&msg, m_notify, 0, 0, PM_REMOVE)) {
            LRESULT result = 0;
            if (!m_engine->OnMessage(msg.message, msg.wParam, msg.lParam, result))
                m_unhandled.push_back(msg.message);
            continue;
        }
        if (::GetTickCount() - start >= ms)
            return done();
        ::Sleep(10);
    }
}

void CaptureTest::DispatchFor(DWORD ms)
{
    DispatchUntil([] { return false; }, ms);
}

int CaptureTest::Unhandled(UINT msg) const
{
    return static_cast<int>(std::count(m_unhandled.begin(), m_unhandled.end(), msg));
}

void CaptureTest::DeviceNodesChanged()
{
    LRESULT result = 0;
    ASSERT_TRUE(m_engine->OnMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, result));
    EXPECT_EQ(result, TRUE);
}

} // namespace captest
