// The virtual camera: a DirectShow capture source filter with a capture pin
// and, when configured, a still pin. Written directly against the COM
// interfaces; no base class library.
#pragma once

#include "VcamCommon.h"
#include "VcamConfig.h"

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcam {

class VcamFilter;

// Number of live objects and server locks; DllCanUnloadNow reads it.
extern std::atomic<long> g_serverRefs;

class VcamPin final : public IPin, public IAMStreamConfig, public IKsPropertySet {
public:
    enum class Kind { Capture, Still };

    VcamPin(VcamFilter& filter, Kind kind, const DeviceConfig& config);
    ~VcamPin();
    VcamPin(const VcamPin&) = delete;
    VcamPin& operator=(const VcamPin&) = delete;

    // IUnknown: the pin lives as long as its filter and shares its count.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* dir) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** ppmt, BYTE* scc) override;

    // IKsPropertySet
    STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD cbInstance, LPVOID data,
                     DWORD cbData) override;
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD cbInstance, LPVOID data,
                     DWORD cbData, DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // Called by the filter, which serialises them.
    Kind kind() const noexcept { return m_kind; }
    const std::wstring& name() const noexcept { return m_name; }
    HRESULT Activate();                                  // stopped -> paused
    HRESULT Run(REFERENCE_TIME start, IReferenceClock* clock); // -> running
    void Pause();                                        // running -> paused
    void Deactivate();                                   // -> stopped
    void Trigger();                                      // still frame request
    REFERENCE_TIME period() const noexcept { return m_period; }

private:
    struct Stream; // what the streaming thread works with

    static DWORD WINAPI ThreadMain(void* param);
    void StreamLoop();
    bool WaitForWork(Stream& s, bool* deliver);
    void DeliverOne(Stream& s);
    REFERENCE_TIME StreamTimeLocked();

    MediaType TypeFor(const Format& f) const;
    bool FormatOf(const AM_MEDIA_TYPE& mt, Format* f) const;
    bool Acceptable(const AM_MEDIA_TYPE& mt) const;
    std::vector<MediaType> PreferredTypes() const;
    HRESULT TryConnect(IPin* receivePin, const MediaType& mt);
    HRESULT DecideAllocator(IMemInputPin* input, const MediaType& mt,
                            Microsoft::WRL::ComPtr<IMemAllocator>* allocator);

    VcamFilter& m_filter;
    const Kind m_kind;
    const std::wstring m_name;
    const std::vector<Format> m_formats;
    const REFERENCE_TIME m_period;
    const bool m_ignoreTrigger;

    // Connection and format; m_lock guards them. They change only while the
    // filter is stopped, which is when no streaming thread reads them.
    mutable std::recursive_mutex m_lock; // the peer may call back while connecting
    MediaType m_format;
    bool m_formatSet = false;
    Microsoft::WRL::ComPtr<IPin> m_connected;
    Microsoft::WRL::ComPtr<IMemInputPin> m_input;
    Microsoft::WRL::ComPtr<IMemAllocator> m_allocator;
    MediaType m_connectedType;

    // Streaming state; m_streamLock guards it and m_wake announces changes.
    std::mutex m_streamLock;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_exit = false;
    uint64_t m_runCount = 0;
    REFERENCE_TIME m_tStart = 0;
    LONGLONG m_qpcAtRun = 0;
    Microsoft::WRL::ComPtr<IReferenceClock> m_clock;
    int m_pendingTriggers = 0;
    Handle m_thread;
    uint64_t m_frames = 0; // written by the streaming thread only
};

class VcamFilter final : public IBaseFilter,
                         public IPersistPropertyBag,
                         public IAMVideoControl,
                         public IAMCameraControl,
                         public IAMFilterMiscFlags {
public:
    VcamFilter();
    ~VcamFilter();
    VcamFilter(const VcamFilter&) = delete;
    VcamFilter& operator=(const VcamFilter&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;

    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    // IPersistPropertyBag
    STDMETHODIMP InitNew() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // IAMVideoControl
    STDMETHODIMP GetCaps(IPin* pin, LONG* flags) override;
    STDMETHODIMP SetMode(IPin* pin, LONG mode) override;
    STDMETHODIMP GetMode(IPin* pin, LONG* mode) override;
    STDMETHODIMP GetCurrentActualFrameRate(IPin* pin, LONGLONG* rate) override;
    STDMETHODIMP GetMaxAvailableFrameRate(IPin* pin, LONG index, SIZE dimensions,
                                          LONGLONG* rate) override;
    STDMETHODIMP GetFrameRateList(IPin* pin, LONG index, SIZE dimensions, LONG* count,
                                  LONGLONG** rates) override;

    // IAMCameraControl
    STDMETHODIMP GetRange(LONG property, LONG* min, LONG* max, LONG* step, LONG* def,
                          LONG* flags) override;
    STDMETHODIMP Set(LONG property, LONG value, LONG flags) override;
    STDMETHODIMP Get(LONG property, LONG* value, LONG* flags) override;

    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override;

    // For the pins.
    int roll() const noexcept { return m_roll.load(std::memory_order_acquire); }
    std::wstring friendlyName() const;
    // True once the device is gone; the first caller reports EC_DEVICE_LOST.
    bool CheckUnplugged();
    // The injected delay of a Run (RunDelayMs), read now; 0 without one.
    DWORD RunDelay();
    bool lost() const noexcept { return m_lost.load(std::memory_order_acquire); }
    FILTER_STATE state() const;
    // Failures a streaming thread cannot return to anyone go to the graph.
    void NotifyEvent(long code, LONG_PTR p1, LONG_PTR p2);
    // Has the graph reconnect a pin in a new format (IAMStreamConfig::SetFormat).
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt);

private:
    HRESULT EnsurePinsLocked();
    VcamPin* PinOf(IPin* pin);

    std::atomic<ULONG> m_refs{1};

    // Serialises state changes; held while pins stop their threads, so the
    // streaming threads never take it.
    std::mutex m_stateLock;
    // Guards the fields below; held only briefly.
    mutable std::mutex m_lock;
    FILTER_STATE m_state = State_Stopped;
    Microsoft::WRL::ComPtr<IReferenceClock> m_clock;
    IFilterGraph* m_graph = nullptr; // not owned: the graph holds the filter
    std::wstring m_name;
    int m_device = -1;
    DeviceConfig m_config;
    RegKey m_deviceKey; // polled for the unplugged switch
    std::vector<std::unique_ptr<VcamPin>> m_pins;

    std::atomic<int> m_roll{0};
    std::atomic<bool> m_lost{false};
};

} // namespace vcam
