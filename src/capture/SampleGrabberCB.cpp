#include "capture/SampleGrabberCB.h"

#include <new>

namespace tamsel {

namespace {
// Built before main, so the callback's idle path needs no first-use guard.
SGrabSlot g_slot;
} // namespace

SGrabSlot& GrabSlot()
{
    return g_slot;
}

CSampleGrabberCB::~CSampleGrabberCB()
{
    // A frame still waiting for its requester goes with the graph.
    SGrabSlot& slot = GrabSlot();
    ::AcquireSRWLockExclusive(&slot.frameLock);
    std::vector<uint8_t>().swap(slot.frame);
    ::ReleaseSRWLockExclusive(&slot.frameLock);
}

STDMETHODIMP CSampleGrabberCB::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_ISampleGrabberCB || riid == IID_IUnknown) {
        *ppv = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

void CSampleGrabberCB::SetFormat(const AM_MEDIA_TYPE& mt)
{
    if (mt.formattype != FORMAT_VideoInfo || !mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return;
    const BITMAPINFOHEADER& bih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
    m_desc.width = bih.biWidth;
    m_desc.height = bih.biHeight;
    m_desc.compressed = bih.biCompression != BI_RGB && bih.biCompression != BI_BITFIELDS;
    m_desc.bytesPerPixel = bih.biBitCount / 8;
    m_desc.mjpg = mt.subtype == MEDIASUBTYPE_MJPG;
}

STDMETHODIMP CSampleGrabberCB::BufferCB(double, BYTE* buffer, long length)
{
    // Every preview frame passes here; only an armed request does any work.
    if (!g_slot.bArmed.load(std::memory_order_acquire))
        return S_OK;
    return TakeFrame(buffer, length);
}

HRESULT CSampleGrabberCB::TakeFrame(BYTE* buffer, long length)
{
    SGrabSlot& slot = g_slot;
    if (!slot.bArmed.exchange(false, std::memory_order_acq_rel))
        return S_OK;

    HRESULT hr = S_OK;
    ::AcquireSRWLockExclusive(&slot.frameLock);
    slot.frame.clear();
    if (length <= 0) {
        ::OutputDebugStringW(L"lBufferSize <= 0\n");
    } else if (!buffer) {
        hr = E_POINTER;
    } else {
        try {
            slot.frame.assign(buffer, buffer + length);
            slot.desc = m_desc;
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
    }
    ::ReleaseSRWLockExclusive(&slot.frameLock);
    // The request ends here with or without a frame, so the requester never
    // waits for a frame that will not come.
    slot.bDone.store(true, std::memory_order_release);
    ::SetEvent(slot.doneEvent.get());
    return hr;
}

} // namespace tamsel
