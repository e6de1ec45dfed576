#include "VcamFilter.h"

#include "Enumerators.h"

#include <cwchar>

using Microsoft::WRL::ComPtr;

namespace vcam {

namespace {

// Roll in whole quarter turns; the test page shows each of them.
constexpr LONG kRollMin = -90;
constexpr LONG kRollMax = 180;
constexpr LONG kRollStep = 90;

} // namespace

VcamFilter::VcamFilter()
{
    ++g_serverRefs;
}

VcamFilter::~VcamFilter()
{
    m_pins.clear();
    --g_serverRefs;
}

// ---- IUnknown -------------------------------------------------------------

STDMETHODIMP VcamFilter::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter)
        *ppv = static_cast<IBaseFilter*>(this);
    else if (riid == IID_IPersistPropertyBag)
        *ppv = static_cast<IPersistPropertyBag*>(this);
    else if (riid == IID_IAMVideoControl)
        *ppv = static_cast<IAMVideoControl*>(this);
    else if (riid == IID_IAMCameraControl)
        *ppv = static_cast<IAMCameraControl*>(this);
    else if (riid == IID_IAMFilterMiscFlags)
        *ppv = static_cast<IAMFilterMiscFlags*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) VcamFilter::AddRef()
{
    return ++m_refs;
}

STDMETHODIMP_(ULONG) VcamFilter::Release()
{
    ULONG n = --m_refs;
    if (n == 0)
        delete this;
    return n;
}

STDMETHODIMP VcamFilter::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_TamselVcam;
    return S_OK;
}

// ---- state ----------------------------------------------------------------

FILTER_STATE VcamFilter::state() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state;
}

STDMETHODIMP VcamFilter::Stop()
{
    return Guarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> transition(m_stateLock);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_state = State_Stopped;
        }
        // Decommit and join here, never in Pause: a paused renderer keeps
        // the streaming thread inside Receive until it is stopped as well.
        for (auto& pin : m_pins)
            pin->Deactivate();
        m_lost.store(false, std::memory_order_release);
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::Pause()
{
    return Guarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> transition(m_stateLock);
        FILTER_STATE old = state();
        HRESULT result = S_OK;
        if (old == State_Stopped) {
            for (auto& pin : m_pins) {
                HRESULT hr = pin->Activate();
                if (FAILED(hr))
                    result = hr;
            }
        } else if (old == State_Running) {
            for (auto& pin : m_pins)
                pin->Pause();
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_state = State_Paused;
        return result;
    });
}

STDMETHODIMP VcamFilter::Run(REFERENCE_TIME start)
{
    return Guarded([&]() -> HRESULT {
        // A slow driver's start, on the caller's thread: the graph's Run
        // returns only after it.
        if (const DWORD delay = RunDelay()) {
            Trace(L"device %d run delayed by %lu ms", m_device, delay);
            ::Sleep(delay);
            Trace(L"device %d run delay over", m_device);
        }
        std::lock_guard<std::mutex> transition(m_stateLock);
        ComPtr<IReferenceClock> clock;
        FILTER_STATE old;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            old = m_state;
            clock = m_clock;
        }
        HRESULT result = S_OK;
        if (old == State_Stopped) {
            for (auto& pin : m_pins) {
                HRESULT hr = pin->Activate();
                if (FAILED(hr))
                    result = hr;
            }
        }
        for (auto& pin : m_pins) {
            HRESULT hr = pin->Run(start, clock.Get());
            if (FAILED(hr))
                result = hr;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_state = State_Running;
        return result;
    });
}

STDMETHODIMP VcamFilter::GetState(DWORD, FILTER_STATE* state)
{
    return Guarded([&]() -> HRESULT {
        if (!state)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *state = m_state;
        // A live source produces nothing while paused, so it cannot cue.
        return m_state == State_Paused ? VFW_S_CANT_CUE : S_OK;
    });
}

STDMETHODIMP VcamFilter::SetSyncSource(IReferenceClock* clock)
{
    return Guarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(m_lock);
        m_clock = clock;
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::GetSyncSource(IReferenceClock** clock)
{
    return Guarded([&]() -> HRESULT {
        if (!clock)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *clock = m_clock.Get();
        if (*clock)
            (*clock)->AddRef();
        return S_OK;
    });
}

// ---- IBaseFilter ----------------------------------------------------------

HRESULT VcamFilter::EnsurePinsLocked()
{
    if (!m_pins.empty())
        return S_OK;
    if (m_device < 0) {
        // Made without a moniker: be the first configured camera.
        std::vector<int> devices = ListDevices();
        if (!devices.empty()) {
            m_device = devices.front();
            ReadDevice(m_device, &m_config);
            ::RegOpenKeyExW(HKEY_CURRENT_USER, DeviceKeyPath(m_device).c_str(), 0,
                            KEY_QUERY_VALUE, m_deviceKey.put());
        }
    }
    m_pins.push_back(std::make_unique<VcamPin>(*this, VcamPin::Kind::Capture, m_config));
    if (m_config.stillPin)
        m_pins.push_back(std::make_unique<VcamPin>(*this, VcamPin::Kind::Still, m_config));
    return S_OK;
}

VcamPin* VcamFilter::PinOf(IPin* pin)
{
    try {
        std::lock_guard<std::mutex> lock(m_lock);
        if (FAILED(EnsurePinsLocked()))
            return nullptr;
        for (auto& p : m_pins)
            if (static_cast<IPin*>(p.get()) == pin)
                return p.get();
    } catch (...) {
    }
    return nullptr;
}

STDMETHODIMP VcamFilter::EnumPins(IEnumPins** ppEnum)
{
    return Guarded([&]() -> HRESULT {
        if (!ppEnum)
            return E_POINTER;
        std::vector<ComPtr<IPin>> pins;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            HRESULT hr = EnsurePinsLocked();
            if (FAILED(hr))
                return hr;
            for (auto& p : m_pins)
                pins.emplace_back(static_cast<IPin*>(p.get()));
        }
        *ppEnum = new PinEnum(std::move(pins));
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::FindPin(LPCWSTR id, IPin** pin)
{
    return Guarded([&]() -> HRESULT {
        if (!id || !pin)
            return E_POINTER;
        *pin = nullptr;
        std::lock_guard<std::mutex> lock(m_lock);
        HRESULT hr = EnsurePinsLocked();
        if (FAILED(hr))
            return hr;
        for (auto& p : m_pins) {
            if (p->name() == id) {
                *pin = static_cast<IPin*>(p.get());
                (*pin)->AddRef();
                return S_OK;
            }
        }
        return VFW_E_NOT_FOUND;
    });
}

STDMETHODIMP VcamFilter::QueryFilterInfo(FILTER_INFO* info)
{
    return Guarded([&]() -> HRESULT {
        if (!info)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        wcsncpy(info->achName, m_name.c_str(), MAX_FILTER_NAME - 1);
        info->achName[MAX_FILTER_NAME - 1] = L'\0';
        info->pGraph = m_graph;
        if (info->pGraph)
            info->pGraph->AddRef();
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    return Guarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> lock(m_lock);
        m_graph = graph;
        m_name = name ? name : L"";
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

// ---- IPersistPropertyBag --------------------------------------------------

STDMETHODIMP VcamFilter::InitNew()
{
    return S_OK;
}

STDMETHODIMP VcamFilter::Load(IPropertyBag* bag, IErrorLog*)
{
    return Guarded([&]() -> HRESULT {
        if (!bag)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_pins.empty())
            return E_UNEXPECTED; // already a device

        int number = -1;
        Variant value;
        if (SUCCEEDED(bag->Read(kBagDeviceValue, value.put(), nullptr)) &&
            SUCCEEDED(::VariantChangeType(value.ptr(), value.ptr(), 0, VT_I4)))
            number = value.get().lVal;
        if (number < 0) {
            // An entry written by another tool: match its friendly name.
            Variant name;
            if (SUCCEEDED(bag->Read(L"FriendlyName", name.put(), nullptr)) &&
                name.get().vt == VT_BSTR) {
                for (int n : ListDevices()) {
                    DeviceConfig c;
                    if (ReadDevice(n, &c) == S_OK && c.friendlyName == name.get().bstrVal) {
                        number = n;
                        break;
                    }
                }
            }
        }
        if (number < 0 || number > kMaxDevice)
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        DeviceConfig config;
        HRESULT hr = ReadDevice(number, &config);
        if (FAILED(hr))
            return hr;
        if (hr == S_FALSE || config.unplugged)
            return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
        LONG rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, DeviceKeyPath(number).c_str(), 0,
                                  KEY_QUERY_VALUE, m_deviceKey.put());
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
        m_device = number;
        m_config = std::move(config);
        return EnsurePinsLocked();
    });
}

STDMETHODIMP VcamFilter::Save(IPropertyBag*, BOOL, BOOL)
{
    return E_NOTIMPL;
}

// ---- IAMVideoControl ------------------------------------------------------

STDMETHODIMP VcamFilter::GetCaps(IPin* pin, LONG* flags)
{
    return Guarded([&]() -> HRESULT {
        if (!pin || !flags)
            return E_POINTER;
        VcamPin* p = PinOf(pin);
        if (!p)
            return E_INVALIDARG;
        *flags = p->kind() == VcamPin::Kind::Still ? VideoControlFlag_Trigger : 0;
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::SetMode(IPin* pin, LONG mode)
{
    return Guarded([&]() -> HRESULT {
        if (!pin)
            return E_POINTER;
        VcamPin* p = PinOf(pin);
        if (!p)
            return E_INVALIDARG;
        const LONG supported = p->kind() == VcamPin::Kind::Still ? VideoControlFlag_Trigger : 0;
        if (mode & ~supported)
            return E_INVALIDARG;
        if (mode & VideoControlFlag_Trigger)
            p->Trigger();
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::GetMode(IPin* pin, LONG* mode)
{
    return Guarded([&]() -> HRESULT {
        if (!pin || !mode)
            return E_POINTER;
        if (!PinOf(pin))
            return E_INVALIDARG;
        *mode = 0; // the trigger is a one-shot, never a lasting mode
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::GetCurrentActualFrameRate(IPin* pin, LONGLONG* rate)
{
    return Guarded([&]() -> HRESULT {
        if (!pin || !rate)
            return E_POINTER;
        VcamPin* p = PinOf(pin);
        if (!p)
            return E_INVALIDARG;
        *rate = p->period();
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::GetMaxAvailableFrameRate(IPin* pin, LONG index, SIZE dimensions,
                                                  LONGLONG* rate)
{
    return Guarded([&]() -> HRESULT {
        if (!pin || !rate)
            return E_POINTER;
        VcamPin* p = PinOf(pin);
        if (!p)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        if (index < 0 || static_cast<size_t>(index) >= m_config.formats.size())
            return E_INVALIDARG;
        const Format& f = m_config.formats[index];
        if (f.width != dimensions.cx || f.height != dimensions.cy)
            return E_INVALIDARG;
        *rate = p->period();
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::GetFrameRateList(IPin* pin, LONG index, SIZE dimensions, LONG* count,
                                          LONGLONG** rates)
{
    return Guarded([&]() -> HRESULT {
        if (!pin || !count)
            return E_POINTER;
        LONGLONG rate = 0;
        HRESULT hr = GetMaxAvailableFrameRate(pin, index, dimensions, &rate);
        if (FAILED(hr))
            return hr;
        *count = 1;
        if (rates) {
            *rates = static_cast<LONGLONG*>(::CoTaskMemAlloc(sizeof(LONGLONG)));
            if (!*rates)
                return E_OUTOFMEMORY;
            **rates = rate;
        }
        return S_OK;
    });
}

// ---- IAMCameraControl -----------------------------------------------------

STDMETHODIMP VcamFilter::GetRange(LONG property, LONG* min, LONG* max, LONG* step, LONG* def,
                                  LONG* flags)
{
    return Guarded([&]() -> HRESULT {
        if (!min || !max || !step || !def || !flags)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        if (property != CameraControl_Roll || !m_config.roll)
            return E_PROP_ID_UNSUPPORTED;
        *min = kRollMin;
        *max = kRollMax;
        *step = kRollStep;
        *def = 0;
        *flags = CameraControl_Flags_Manual;
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::Set(LONG property, LONG value, LONG flags)
{
    return Guarded([&]() -> HRESULT {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (property != CameraControl_Roll || !m_config.roll)
                return E_PROP_ID_UNSUPPORTED;
        }
        if (flags & CameraControl_Flags_Auto)
            return E_INVALIDARG; // roll has no automatic mode
        if (value < kRollMin || value > kRollMax || value % kRollStep != 0)
            return E_INVALIDARG;
        m_roll.store(value, std::memory_order_release);
        return S_OK;
    });
}

STDMETHODIMP VcamFilter::Get(LONG property, LONG* value, LONG* flags)
{
    return Guarded([&]() -> HRESULT {
        if (!value || !flags)
            return E_POINTER;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (property != CameraControl_Roll || !m_config.roll)
                return E_PROP_ID_UNSUPPORTED;
        }
        *value = m_roll.load(std::memory_order_acquire);
        *flags = CameraControl_Flags_Manual;
        return S_OK;
    });
}

// ---- IAMFilterMiscFlags ---------------------------------------------------

STDMETHODIMP_(ULONG) VcamFilter::GetMiscFlags()
{
    return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

// ---- for the pins ---------------------------------------------------------

std::wstring VcamFilter::friendlyName() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_config.friendlyName;
}

DWORD VcamFilter::RunDelay()
{
    HKEY key;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        key = m_deviceKey.get();
    }
    DWORD type = 0, value = 0, size = sizeof value;
    if (!key || ::RegQueryValueExW(key, L"RunDelayMs", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                   &size) != ERROR_SUCCESS || type != REG_DWORD)
        return 0;
    return value < kMaxRunDelayMs ? value : kMaxRunDelayMs;
}

bool VcamFilter::CheckUnplugged()
{
    if (m_lost.load(std::memory_order_acquire))
        return true;
    HKEY key;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        key = m_deviceKey.get();
    }
    if (!key)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    LONG rc = ::RegQueryValueExW(key, L"Unplugged", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&value), &size);
    // Deleting the device's record while it streams unplugs it as well.
    const bool gone =
        (rc == ERROR_SUCCESS && type == REG_DWORD && value != 0) || rc == ERROR_KEY_DELETED;
    if (!gone)
        return false;
    if (!m_lost.exchange(true, std::memory_order_acq_rel)) {
        Trace(L"device %d unplugged", m_device);
        NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)),
                    0);
    }
    return true;
}

void VcamFilter::NotifyEvent(long code, LONG_PTR p1, LONG_PTR p2)
{
    ComPtr<IMediaEventSink> sink;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_graph)
            m_graph->QueryInterface(IID_PPV_ARGS(&sink));
    }
    if (sink)
        sink->Notify(code, p1, p2);
}

HRESULT VcamFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt)
{
    ComPtr<IFilterGraph2> graph2;
    ComPtr<IFilterGraph> graph;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_graph)
            return VFW_E_NOT_IN_GRAPH;
        graph = m_graph;
        m_graph->QueryInterface(IID_PPV_ARGS(&graph2));
    }
    if (graph2)
        return graph2->ReconnectEx(pin, mt);
    return graph->Reconnect(pin);
}

} // namespace vcam
