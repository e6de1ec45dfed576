#include "EmptyCallback.h"

#include <atomic>
#include <vector>

#include "framework/Handles.h"

namespace benchwin {
namespace {

class EmptyGrabberCB : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_ISampleGrabberCB || riid == IID_IUnknown) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double, BYTE*, long) override;
};

__attribute__((aligned(64))) STDMETHODIMP EmptyGrabberCB::BufferCB(double, BYTE*, long) { return S_OK; }

// The flag is constant-initialised at namespace scope, so testing it needs
// no first-use guard; everything else of the slot is reached only when armed.
std::atomic<bool> modelArmed{false};

struct ModelSlot {
    ModelSlot() { done.Create(fw::Event::kAutoReset); }
    fw::Lock lock;
    std::vector<BYTE> frame;
    fw::Event done;
};

class SplitGrabberCB : public EmptyGrabberCB {
public:
    STDMETHODIMP BufferCB(double, BYTE* buffer, long length) override;

private:
    __attribute__((noinline)) HRESULT Take(BYTE* buffer, long length);
};

__attribute__((aligned(64))) STDMETHODIMP SplitGrabberCB::BufferCB(double, BYTE* buffer, long length)
{
    if (!modelArmed.load(std::memory_order_acquire))
        return S_OK;
    return Take(buffer, length);
}

HRESULT SplitGrabberCB::Take(BYTE* buffer, long length)
{
    static ModelSlot slot;
    if (!modelArmed.exchange(false, std::memory_order_acq_rel))
        return S_OK;
    {
        auto guard = slot.lock.Acquire();
        if (buffer && length > 0)
            slot.frame.assign(buffer, buffer + length);
    }
    slot.done.Set();
    return S_OK;
}

} // namespace

ISampleGrabberCB* EmptyCallback()
{
    static EmptyGrabberCB callback;
    return &callback;
}

ISampleGrabberCB* SplitCallbackModel()
{
    static SplitGrabberCB callback;
    return &callback;
}

} // namespace benchwin
