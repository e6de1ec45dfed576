#include "VcamFilter.h"

#include "Enumerators.h"
#include "TestPage.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using Microsoft::WRL::ComPtr;

namespace vcam {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
// How often an idle streaming thread looks at the unplugged switch.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
// Bound on waiting for a streaming thread that is held downstream.
constexpr DWORD kThreadStopTimeoutMs = 5000;

DWORD FourccOf(Subtype s)
{
    return s == Subtype::MJPG ? MAKEFOURCC('M', 'J', 'P', 'G') : MAKEFOURCC('Y', 'U', 'Y', '2');
}

const GUID& SubtypeGuid(Subtype s)
{
    return s == Subtype::MJPG ? MEDIASUBTYPE_MJPG : MEDIASUBTYPE_YUY2;
}

// A partially specified type (GUID_NULL fields, no format) matches any type
// that agrees with the fields it does give.
bool MatchesPartial(const AM_MEDIA_TYPE& full, const AM_MEDIA_TYPE& partial)
{
    if (partial.majortype != GUID_NULL && partial.majortype != full.majortype)
        return false;
    if (partial.subtype != GUID_NULL && partial.subtype != full.subtype)
        return false;
    if (partial.formattype != GUID_NULL && partial.formattype != full.formattype)
        return false;
    return true;
}

bool IsComplete(const AM_MEDIA_TYPE& mt)
{
    return mt.majortype != GUID_NULL && mt.subtype != GUID_NULL &&
           mt.formattype != GUID_NULL && mt.pbFormat && mt.cbFormat;
}

} // namespace

struct VcamPin::Stream {
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    Format format;
    std::wstring title;
    TestPage page;
    uint64_t runCount = ~0ull;   // the run this thread has started its clock for
    uint64_t blockedRun = ~0ull; // downstream refused samples in this run
    REFERENCE_TIME due = 0;      // stream time of the next capture frame
    REFERENCE_TIME start = 0, stop = 0;
    bool running = false;
    bool discontinuity = true;
};

VcamPin::VcamPin(VcamFilter& filter, Kind kind, const DeviceConfig& config)
    : m_filter(filter),
      m_kind(kind),
      m_name(kind == Kind::Capture ? config.capturePinName : config.stillPinName),
      m_formats(config.formats),
      m_period(kUnitsPerSecond / std::max<DWORD>(1, config.frameRate)),
      m_ignoreTrigger(config.ignoreTrigger)
{
    // The capture pin starts in the first listed format; the still pin in the
    // largest, as cameras give stills at full resolution.
    Format initial = m_formats.front();
    if (kind == Kind::Still) {
        for (const Format& f : m_formats)
            if (static_cast<long long>(f.width) * f.height >
                static_cast<long long>(initial.width) * initial.height)
                initial = f;
    }
    m_format = TypeFor(initial);
}

VcamPin::~VcamPin()
{
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_exit = true;
        m_running = false;
    }
    m_wake.notify_all();
    // The streaming thread holds a reference on the filter, so by now it is
    // leaving; it may even be the thread running this destructor.
    if (m_thread && ::GetThreadId(m_thread.get()) != ::GetCurrentThreadId())
        ::WaitForSingleObject(m_thread.get(), kThreadStopTimeoutMs);
}

// ---- IUnknown -------------------------------------------------------------

STDMETHODIMP VcamPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin)
        *ppv = static_cast<IPin*>(this);
    else if (riid == IID_IAMStreamConfig)
        *ppv = static_cast<IAMStreamConfig*>(this);
    else if (riid == IID_IKsPropertySet)
        *ppv = static_cast<IKsPropertySet*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) VcamPin::AddRef()
{
    return m_filter.AddRef();
}

STDMETHODIMP_(ULONG) VcamPin::Release()
{
    return m_filter.Release();
}

// ---- media types ----------------------------------------------------------

MediaType VcamPin::TypeFor(const Format& f) const
{
    VIDEOINFOHEADER vih = {};
    vih.AvgTimePerFrame = m_period;
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    // The header announces what the format says; the buffers fit the frames really sent.
    bmi.biWidth = f.HeaderWidth();
    bmi.biHeight = f.HeaderHeight();
    bmi.biPlanes = 1;
    bmi.biBitCount = static_cast<WORD>(f.HeaderBits());
    bmi.biCompression = FourccOf(f.subtype);
    bmi.biSizeImage = TestPage::MaxFrameBytes(f);
    vih.dwBitRate = static_cast<DWORD>(std::min<ULONGLONG>(
        0xFFFFFFFFull, 8ull * bmi.biSizeImage * kUnitsPerSecond / m_period));

    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = SubtypeGuid(f.subtype);
    mt.bFixedSizeSamples = f.subtype == Subtype::YUY2;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = bmi.biSizeImage;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof vih;
    mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
    return MediaType(mt);
}

bool VcamPin::FormatOf(const AM_MEDIA_TYPE& mt, Format* out) const
{
    if (mt.majortype != MEDIATYPE_Video || mt.formattype != FORMAT_VideoInfo || !mt.pbFormat ||
        mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    Subtype subtype;
    if (mt.subtype == MEDIASUBTYPE_YUY2)
        subtype = Subtype::YUY2;
    else if (mt.subtype == MEDIASUBTYPE_MJPG)
        subtype = Subtype::MJPG;
    else
        return false;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    const BITMAPINFOHEADER& bmi = vih->bmiHeader;
    if (bmi.biCompression != FourccOf(subtype))
        return false;
    // A listed format by what its header announces; the bit count only
    // counts where it was announced on purpose.
    auto listed = std::find_if(m_formats.begin(), m_formats.end(), [&](const Format& f) {
        return f.subtype == subtype && f.HeaderWidth() == bmi.biWidth && f.HeaderHeight() == bmi.biHeight &&
               (!f.announcedBits || f.announcedBits == bmi.biBitCount);
    });
    if (listed == m_formats.end())
        return false;
    const Format& f = *listed;
    // One frame rate for every size; 0 means "the device's own".
    const REFERENCE_TIME avg = vih->AvgTimePerFrame;
    if (avg != 0 && (avg < m_period - m_period / 100 || avg > m_period + m_period / 100))
        return false;
    *out = f;
    return true;
}

bool VcamPin::Acceptable(const AM_MEDIA_TYPE& mt) const
{
    Format f;
    return FormatOf(mt, &f);
}

std::vector<MediaType> VcamPin::PreferredTypes() const
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<MediaType> types;
    types.push_back(m_format);
    if (m_formatSet)
        return types; // after SetFormat the pin offers that format only
    Format current;
    FormatOf(m_format.get(), &current);
    for (const Format& f : m_formats)
        if (f != current)
            types.push_back(TypeFor(f));
    return types;
}

// ---- IPin -----------------------------------------------------------------

STDMETHODIMP VcamPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt)
{
    return Guarded([&]() -> HRESULT {
        if (!receivePin)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (m_connected)
            return VFW_E_ALREADY_CONNECTED;
        if (m_filter.state() != State_Stopped)
            return VFW_E_NOT_STOPPED;

        std::vector<MediaType> candidates;
        if (pmt && IsComplete(*pmt)) {
            if (!Acceptable(*pmt))
                return VFW_E_TYPE_NOT_ACCEPTED;
            Format f;
            FormatOf(*pmt, &f);
            candidates.push_back(TypeFor(f));
        } else {
            for (MediaType& mt : PreferredTypes())
                if (!pmt || MatchesPartial(mt.get(), *pmt))
                    candidates.push_back(std::move(mt));
        }
        HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
        for (const MediaType& mt : candidates) {
            HRESULT hr = TryConnect(receivePin, mt);
            if (SUCCEEDED(hr))
                return S_OK;
            if (hr != VFW_E_TYPE_NOT_ACCEPTED && hr != E_FAIL)
                last = hr;
        }
        return last;
    });
}

HRESULT VcamPin::TryConnect(IPin* receivePin, const MediaType& mt)
{
    HRESULT hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), &mt.get());
    if (FAILED(hr))
        return hr;
    ComPtr<IMemInputPin> input;
    ComPtr<IMemAllocator> allocator;
    hr = receivePin->QueryInterface(IID_PPV_ARGS(&input));
    if (SUCCEEDED(hr))
        hr = DecideAllocator(input.Get(), mt, &allocator);
    if (FAILED(hr)) {
        receivePin->Disconnect();
        return hr;
    }
    m_connected = receivePin;
    m_input = input;
    m_allocator = allocator;
    m_connectedType = mt;
    m_format = mt;
    return S_OK;
}

HRESULT VcamPin::DecideAllocator(IMemInputPin* input, const MediaType& mt,
                                 ComPtr<IMemAllocator>* out)
{
    const long needed = static_cast<long>(mt.get().lSampleSize);
    ALLOCATOR_PROPERTIES wanted = {};
    input->GetAllocatorRequirements(&wanted); // optional; zeros when not given
    wanted.cBuffers = std::max<long>(wanted.cBuffers, m_kind == Kind::Capture ? 3 : 2);
    wanted.cbBuffer = std::max<long>(wanted.cbBuffer, needed);
    wanted.cbAlign = std::max<long>(wanted.cbAlign, 1);

    auto tryAllocator = [&](IMemAllocator* allocator) -> HRESULT {
        ALLOCATOR_PROPERTIES actual = {};
        HRESULT hr = allocator->SetProperties(&wanted, &actual);
        if (FAILED(hr))
            return hr;
        if (actual.cbBuffer < needed || actual.cBuffers < 1)
            return E_FAIL;
        return input->NotifyAllocator(allocator, FALSE);
    };

    // The downstream pin's allocator when it offers one...
    ComPtr<IMemAllocator> allocator;
    if (SUCCEEDED(input->GetAllocator(&allocator)) && allocator &&
        SUCCEEDED(tryAllocator(allocator.Get()))) {
        *out = allocator;
        return S_OK;
    }
    // ...else one of our own (the Sample Grabber offers none).
    allocator.Reset();
    HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&allocator));
    if (SUCCEEDED(hr))
        hr = tryAllocator(allocator.Get());
    if (FAILED(hr))
        return hr;
    *out = allocator;
    return S_OK;
}

STDMETHODIMP VcamPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*)
{
    return E_UNEXPECTED; // an output pin only connects outward
}

STDMETHODIMP VcamPin::Disconnect()
{
    return Guarded([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (!m_connected)
            return S_FALSE;
        if (m_filter.state() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        m_connected.Reset();
        m_input.Reset();
        m_allocator.Reset();
        m_connectedType = MediaType();
        return S_OK;
    });
}

STDMETHODIMP VcamPin::ConnectedTo(IPin** pin)
{
    return Guarded([&]() -> HRESULT {
        if (!pin)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        *pin = m_connected.Get();
        if (!*pin)
            return VFW_E_NOT_CONNECTED;
        (*pin)->AddRef();
        return S_OK;
    });
}

STDMETHODIMP VcamPin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    return Guarded([&]() -> HRESULT {
        if (!pmt)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (!m_connected) {
            ZeroMemory(pmt, sizeof *pmt);
            return VFW_E_NOT_CONNECTED;
        }
        return CopyMediaType(pmt, m_connectedType.get());
    });
}

STDMETHODIMP VcamPin::QueryPinInfo(PIN_INFO* info)
{
    return Guarded([&]() -> HRESULT {
        if (!info)
            return E_POINTER;
        info->pFilter = static_cast<IBaseFilter*>(&m_filter);
        info->pFilter->AddRef();
        info->dir = PINDIR_OUTPUT;
        wcsncpy(info->achName, m_name.c_str(), MAX_PIN_NAME - 1);
        info->achName[MAX_PIN_NAME - 1] = L'\0';
        return S_OK;
    });
}

STDMETHODIMP VcamPin::QueryDirection(PIN_DIRECTION* dir)
{
    if (!dir)
        return E_POINTER;
    *dir = PINDIR_OUTPUT;
    return S_OK;
}

STDMETHODIMP VcamPin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    memcpy(*id, m_name.c_str(), bytes);
    return S_OK;
}

STDMETHODIMP VcamPin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    return Acceptable(*pmt) ? S_OK : S_FALSE;
}

STDMETHODIMP VcamPin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    return Guarded([&]() -> HRESULT {
        if (!ppEnum)
            return E_POINTER;
        *ppEnum = new MediaTypeEnum(PreferredTypes());
        return S_OK;
    });
}

STDMETHODIMP VcamPin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP VcamPin::EndOfStream()
{
    return E_UNEXPECTED;
}

STDMETHODIMP VcamPin::BeginFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP VcamPin::EndFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP VcamPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

// ---- IAMStreamConfig ------------------------------------------------------

STDMETHODIMP VcamPin::SetFormat(AM_MEDIA_TYPE* pmt)
{
    return Guarded([&]() -> HRESULT {
        if (!pmt)
            return E_POINTER;
        Format f;
        if (!FormatOf(*pmt, &f))
            return VFW_E_INVALIDMEDIATYPE;
        if (m_filter.state() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        MediaType mt = TypeFor(f);
        if (!m_connected) {
            m_format = std::move(mt);
            m_formatSet = true;
            return S_OK;
        }
        Format connected;
        if (FormatOf(m_connectedType.get(), &connected) && connected == f) {
            m_formatSet = true;
            return S_OK;
        }
        if (m_connected->QueryAccept(&mt.get()) != S_OK)
            return VFW_E_INVALIDMEDIATYPE;
        MediaType previous = m_format;
        bool previousSet = m_formatSet;
        m_format = mt;
        m_formatSet = true;
        HRESULT hr = m_filter.ReconnectPin(static_cast<IPin*>(this), &mt.get());
        if (FAILED(hr)) {
            m_format = std::move(previous);
            m_formatSet = previousSet;
        }
        return hr;
    });
}

STDMETHODIMP VcamPin::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    return Guarded([&]() -> HRESULT {
        if (!ppmt)
            return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        return m_format.CopyToNew(ppmt);
    });
}

STDMETHODIMP VcamPin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = static_cast<int>(m_formats.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP VcamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** ppmt, BYTE* scc)
{
    return Guarded([&]() -> HRESULT {
        if (!ppmt || !scc)
            return E_POINTER;
        *ppmt = nullptr;
        if (index < 0)
            return E_INVALIDARG;
        if (static_cast<size_t>(index) >= m_formats.size())
            return S_FALSE;
        const Format& f = m_formats[index];
        MediaType mt = TypeFor(f);
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        caps.guid = FORMAT_VideoInfo;
        caps.VideoStandard = 0; // AnalogVideo_None
        caps.InputSize = {static_cast<LONG>(f.HeaderWidth()), static_cast<LONG>(f.HeaderHeight())};
        caps.MinCroppingSize = caps.InputSize;
        caps.MaxCroppingSize = caps.InputSize;
        caps.CropGranularityX = 1;
        caps.CropGranularityY = 1;
        caps.CropAlignX = 1;
        caps.CropAlignY = 1;
        caps.MinOutputSize = caps.InputSize;
        caps.MaxOutputSize = caps.InputSize;
        caps.OutputGranularityX = 0;
        caps.OutputGranularityY = 0;
        caps.MinFrameInterval = m_period;
        caps.MaxFrameInterval = m_period;
        const LONG bits = static_cast<LONG>(std::min<ULONGLONG>(
            0x7FFFFFFFull, 8ull * TestPage::MaxFrameBytes(f) * kUnitsPerSecond / m_period));
        caps.MinBitsPerSecond = bits;
        caps.MaxBitsPerSecond = bits;
        memcpy(scc, &caps, sizeof caps);
        return mt.CopyToNew(ppmt);
    });
}

// ---- IKsPropertySet -------------------------------------------------------

STDMETHODIMP VcamPin::Set(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID, DWORD)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    (void)id;
    return E_PROP_ID_UNSUPPORTED; // the category is read-only
}

STDMETHODIMP VcamPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD cbData,
                          DWORD* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!data) {
        if (!returned)
            return E_POINTER;
        *returned = sizeof(GUID);
        return S_OK;
    }
    if (cbData < sizeof(GUID))
        return E_UNEXPECTED;
    *static_cast<GUID*>(data) = m_kind == Kind::Capture ? PIN_CATEGORY_CAPTURE : PIN_CATEGORY_STILL;
    if (returned)
        *returned = sizeof(GUID);
    return S_OK;
}

STDMETHODIMP VcamPin::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

// ---- state changes (called by the filter, one at a time) ------------------

HRESULT VcamPin::Activate()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_allocator)
        return S_OK;
    return m_allocator->Commit();
}

HRESULT VcamPin::Run(REFERENCE_TIME start, IReferenceClock* clock)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (!m_connected)
            return S_OK;
    }
    if (m_thread && ::WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT) {
        bool exiting;
        {
            std::lock_guard<std::mutex> lock(m_streamLock);
            exiting = m_exit;
        }
        // A thread that Stop could not wait for must be gone before a new one starts.
        if (exiting && ::WaitForSingleObject(m_thread.get(), kThreadStopTimeoutMs) != WAIT_OBJECT_0)
            return VFW_E_WRONG_STATE;
    }
    if (m_thread && ::WaitForSingleObject(m_thread.get(), 0) != WAIT_TIMEOUT)
        m_thread.reset();

    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_tStart = start;
        m_clock = clock;
        m_qpcAtRun = now.QuadPart;
        m_running = true;
        m_exit = false;
        ++m_runCount;
    }
    m_wake.notify_all();
    if (m_thread)
        return S_OK; // resumed after a pause

    // The thread keeps the filter and this module loaded until it has returned.
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&VcamPin::ThreadMain), &self))
        return HRESULT_FROM_WIN32(::GetLastError());
    m_filter.AddRef();
    m_thread.reset(::CreateThread(nullptr, 0, &VcamPin::ThreadMain, this, 0, nullptr));
    if (!m_thread) {
        HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        m_filter.Release();
        ::FreeLibrary(self);
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_running = false;
        return hr;
    }
    return S_OK;
}

void VcamPin::Pause()
{
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_running = false;
    }
    m_wake.notify_all();
}

void VcamPin::Deactivate()
{
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        m_running = false;
        m_exit = true;
        m_pendingTriggers = 0;
        m_clock.Reset();
    }
    m_wake.notify_all();
    ComPtr<IMemAllocator> allocator;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        allocator = m_allocator;
    }
    // Wakes a thread that waits for a free buffer.
    if (allocator)
        allocator->Decommit();
    if (m_thread) {
        if (::WaitForSingleObject(m_thread.get(), kThreadStopTimeoutMs) == WAIT_OBJECT_0)
            m_thread.reset();
        else
            Trace(L"pin %ls: streaming thread still held downstream after stop", m_name.c_str());
    }
}

void VcamPin::Trigger()
{
    if (m_kind != Kind::Still || m_ignoreTrigger)
        return;
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        if (!m_running)
            return; // a stopped or paused camera takes no picture
        ++m_pendingTriggers;
    }
    m_wake.notify_all();
}

// ---- streaming ------------------------------------------------------------

DWORD WINAPI VcamPin::ThreadMain(void* param)
{
    auto* pin = static_cast<VcamPin*>(param);
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&VcamPin::ThreadMain), &self);
    try {
        ComScope com(COINIT_MULTITHREADED);
        pin->StreamLoop();
    } catch (...) {
        Trace(L"streaming thread ended by an exception");
    }
    pin->m_filter.Release(); // may destroy the filter and this pin
    ::FreeLibraryAndExitThread(self, 0);
    return 0;
}

REFERENCE_TIME VcamPin::StreamTimeLocked()
{
    if (m_clock) {
        REFERENCE_TIME now = 0;
        if (SUCCEEDED(m_clock->GetTime(&now)))
            return now - m_tStart;
    }
    LARGE_INTEGER now, freq;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&freq);
    const LONGLONG ticks = now.QuadPart - m_qpcAtRun;
    return ticks / freq.QuadPart * kUnitsPerSecond +
           ticks % freq.QuadPart * kUnitsPerSecond / freq.QuadPart;
}

void VcamPin::StreamLoop()
{
    Stream s;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        s.input = m_input;
        s.allocator = m_allocator;
        if (!FormatOf(m_connectedType.get(), &s.format))
            return;
    }
    s.title = m_filter.friendlyName();
    for (;;) {
        bool deliver = false;
        if (!WaitForWork(s, &deliver))
            break;
        if (s.running && m_filter.CheckUnplugged())
            continue; // gone: nothing more until the graph stops us
        if (deliver)
            DeliverOne(s);
    }
}

bool VcamPin::WaitForWork(Stream& s, bool* deliver)
{
    *deliver = false;
    std::unique_lock<std::mutex> lock(m_streamLock);
    if (m_exit)
        return false;
    s.running = m_running;
    if (!m_running || m_filter.lost() || s.blockedRun == m_runCount) {
        m_wake.wait_for(lock, kPollInterval);
        return !m_exit;
    }
    const REFERENCE_TIME now = StreamTimeLocked();
    if (s.runCount != m_runCount) {
        // A new run: the clock restarts from the moment of Run.
        s.runCount = m_runCount;
        s.due = std::max<REFERENCE_TIME>(0, now);
        s.discontinuity = true;
    }
    if (m_kind == Kind::Still) {
        if (m_pendingTriggers > 0) {
            --m_pendingTriggers;
            s.start = std::max<REFERENCE_TIME>(0, now);
            s.stop = s.start + m_period;
            *deliver = true;
            return true;
        }
        m_wake.wait_for(lock, kPollInterval);
        return !m_exit;
    }
    if (now >= s.due) {
        // Frames missed while we were late are skipped; times stay on the grid.
        if (now - s.due >= m_period)
            s.due += (now - s.due) / m_period * m_period;
        s.start = s.due;
        s.stop = s.due + m_period;
        s.due += m_period;
        *deliver = true;
        return true;
    }
    const auto wait = std::chrono::milliseconds((s.due - now + 9999) / 10000);
    m_wake.wait_for(lock, std::min<std::chrono::milliseconds>(wait, kPollInterval));
    return !m_exit;
}

void VcamPin::DeliverOne(Stream& s)
{
    ComPtr<IMediaSample> sample;
    HRESULT hr = s.allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr) || !sample) {
        // Decommitted: the filter is stopping.
        std::unique_lock<std::mutex> lock(m_streamLock);
        if (!m_exit)
            m_wake.wait_for(lock, std::chrono::milliseconds(20));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        if (!m_running || m_exit || s.runCount != m_runCount)
            return; // paused while we waited for the buffer
    }
    const int roll = m_filter.roll();
    if (!s.page.Matches(s.format, roll)) {
        hr = s.page.Build(s.format, roll, s.title, m_name);
        if (FAILED(hr)) {
            Trace(L"pin %ls: test page failed: 0x%08lx", m_name.c_str(), hr);
            s.blockedRun = s.runCount;
            return;
        }
    }
    BYTE* data = nullptr;
    hr = sample->GetPointer(&data);
    if (FAILED(hr) || !data)
        return;
    DWORD written = 0;
    const uint64_t number = m_frames + 1;
    hr = s.page.Render(number, data, static_cast<DWORD>(sample->GetSize()), &written, FlashShowsInFrames());
    if (FAILED(hr)) {
        Trace(L"pin %ls: frame %llu not drawn: 0x%08lx", m_name.c_str(),
              static_cast<unsigned long long>(number), hr);
        return;
    }
    REFERENCE_TIME mediaStart = static_cast<REFERENCE_TIME>(m_frames);
    REFERENCE_TIME mediaStop = mediaStart + 1;
    sample->SetActualDataLength(static_cast<long>(written));
    sample->SetTime(&s.start, &s.stop);
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetSyncPoint(TRUE);
    sample->SetPreroll(FALSE);
    sample->SetDiscontinuity(s.discontinuity ? TRUE : FALSE);
    s.discontinuity = false;
    m_frames = number;

    hr = s.input->Receive(sample.Get());
    sample.Reset();
    if (hr == S_OK)
        return;
    bool stillRunning;
    {
        std::lock_guard<std::mutex> lock(m_streamLock);
        stillRunning = m_running && !m_exit && s.runCount == m_runCount;
    }
    if (!stillRunning)
        return; // refused because the graph is stopping
    // Downstream wants no more samples in this run.
    s.blockedRun = s.runCount;
    Trace(L"pin %ls: downstream refused a sample: 0x%08lx", m_name.c_str(), hr);
    if (FAILED(hr))
        m_filter.NotifyEvent(EC_ERRORABORT, hr, 0);
}

} // namespace vcam
