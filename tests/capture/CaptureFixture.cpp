#include "CaptureFixture.h"

namespace captest {

using Microsoft::WRL::ComPtr;

vcam::Format Yuy2(int w, int h) { return {vcam::Subtype::YUY2, w, h}; }
vcam::Format Mjpg(int w, int h) { return {vcam::Subtype::MJPG, w, h}; }

vcam::DeviceConfig Camera(const wchar_t* name, std::vector<vcam::Format> formats)
{
    vcam::DeviceConfig c;
    c.friendlyName = name;
    c.formats = std::move(formats);
    return c;
}

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
    if (tamsel::GrabSlot().bArmed.load()) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_taken.assign(buffer, buffer + length);
    }
    return m_next->BufferCB(time, buffer, length);
}

std::vector<uint8_t> ForwardingCallback::Taken()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_taken;
}

void CaptureTest::SetUp()
{
    m_notify = ::CreateWindowExW(0, L"STATIC", L"notify", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
    m_engine = std::make_unique<tamsel::CDShowCapture>();
    m_engine->m_hNotifyWnd = m_notify;
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

bool CaptureTest::StartPreviewOn(int index, int resMode)
{
    if (m_engine->BuildDeviceList() <= index)
        return false;
    m_engine->m_nCurDev = index;
    m_engine->m_nResMode = resMode;
    return m_engine->StartPreview();
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
    ComPtr<ISampleGrabber> g = Grabber(m_engine->Graph());
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
    if (!m_engine->Graph() || FAILED(m_engine->Graph()->FindFilterByName(L"SampleGrabber", &f)) ||
        FAILED(tamsel::FindPinByName(f.Get(), PINDIR_INPUT, "Input", in)) ||
        FAILED(in->ConnectedTo(&source)))
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
    return m_engine->Graph() && SUCCEEDED(m_engine->Graph()->FindFilterByName(name, &f));
}

} // namespace captest
