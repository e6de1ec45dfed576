#include "capture/SampleGrabberCB.h"

#include <new>

#include "framework/Debug.h"

namespace tamsel {

namespace {
// Built before main, so the callback's idle path needs no first-use guard.
SGrabSlot g_slot;
std::atomic<long> g_liveCallbacks{0};
} // namespace

SGrabSlot& GrabSlot()
{
    return g_slot;
}

void EndGrabRequest()
{
    // The buffer goes first, so a request that ends here finds no frame.
    std::vector<uint8_t> old;
    {
        auto guard = g_slot.frameLock.Acquire();
        old.swap(g_slot.frame);
    }
    if (g_slot.bArmed.exchange(false, std::memory_order_acq_rel)) {
        g_slot.bDone.store(true, std::memory_order_release);
        g_slot.doneEvent.Set();
    }
}

bool CSampleGrabberCB::Create(Microsoft::WRL::ComPtr<CSampleGrabberCB>& out)
{
    // Not ComPtr::Attach: MinGW's adds a reference where Microsoft's takes one over.
    CSampleGrabberCB* made = new (std::nothrow) CSampleGrabberCB;
    out = made;
    if (made)
        made->Release();
    return made != nullptr;
}

CSampleGrabberCB::CSampleGrabberCB() noexcept
{
    g_liveCallbacks.fetch_add(1, std::memory_order_relaxed);
}

CSampleGrabberCB::~CSampleGrabberCB()
{
    g_liveCallbacks.fetch_sub(1, std::memory_order_relaxed);
}

long CSampleGrabberCB::LiveObjects() noexcept
{
    return g_liveCallbacks.load(std::memory_order_relaxed);
}

STDMETHODIMP CSampleGrabberCB::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_ISampleGrabberCB || riid == IID_IUnknown) {
        *ppv = static_cast<ISampleGrabberCB*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CSampleGrabberCB::AddRef()
{
    return m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

STDMETHODIMP_(ULONG) CSampleGrabberCB::Release()
{
    const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

void CSampleGrabberCB::SetFormat(const AM_MEDIA_TYPE& mt)
{
    m_desc = FrameDesc();
    m_formatAllowed = false;
    if (mt.formattype != FORMAT_VideoInfo || !mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return;
    const BITMAPINFOHEADER& bih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
    // The camera's word, bounded before anything is computed from it.
    if (!FrameSizeAllowed(bih.biWidth, bih.biHeight, bih.biBitCount)) {
        fw::DebugTrace(L"Frame size out of bounds: %ld x %ld, %u bits\n", static_cast<long>(bih.biWidth),
                       static_cast<long>(bih.biHeight), static_cast<unsigned>(bih.biBitCount));
        return;
    }
    m_desc.width = bih.biWidth;
    m_desc.height = bih.biHeight;
    m_desc.compressed = bih.biCompression != BI_RGB && bih.biCompression != BI_BITFIELDS;
    m_desc.bytesPerPixel = bih.biBitCount / 8;
    m_desc.mjpg = mt.subtype == MEDIASUBTYPE_MJPG;
    m_formatAllowed = true;
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
    {
        auto guard = slot.frameLock.Acquire();
        slot.frame.clear();
        if (length <= 0) {
            ::OutputDebugStringW(L"lBufferSize <= 0\n");
        } else if (!buffer) {
            hr = E_POINTER;
        } else if (!m_formatAllowed) {
            ::OutputDebugStringW(L"Frame not taken: its size is out of bounds\n");
        } else {
            try {
                slot.frame.assign(buffer, buffer + length);
                slot.desc = m_desc;
            } catch (const std::bad_alloc&) {
                hr = E_OUTOFMEMORY;
            }
        }
    }
    // The request ends here with or without a frame, so the requester never
    // waits for a frame that will not come.
    slot.bDone.store(true, std::memory_order_release);
    slot.doneEvent.Set();
    return hr;
}

} // namespace tamsel
