// The frame grabber's callback and the hand-over of one frame to a still
// capture.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "capture/DShow.h"
#include "capture/FrameRules.h"
#include "framework/Handles.h"

namespace tamsel {

// The one frame request in flight: armed by CaptureStill, filled by the
// grabber callback on the streaming thread.
struct SGrabSlot {
    SGrabSlot() { doneEvent.Create(fw::Event::kAutoReset); }

    std::atomic<bool> bArmed{false};
    std::atomic<bool> bDone{false};
    fw::Lock frameLock; // guards the frame and its description
    // Holds a frame only between the callback and the capture that asked for
    // it; its memory is kept for the next frame until the graph goes.
    std::vector<uint8_t> frame;
    FrameDesc desc;
    fw::Event doneEvent;
};

SGrabSlot& GrabSlot();

// The graph that was to send the frame is gone: a request still waiting
// ends without one, and a frame no request took is dropped.
void EndGrabRequest();

// Reference counted: the Sample Grabber holds a reference for as long as it
// may call back, so a callback running while the graph goes finishes on a
// live object.
class CSampleGrabberCB : public ISampleGrabberCB {
public:
    // A new callback object with the one reference `out` holds; false when
    // it cannot be allocated.
    static bool Create(Microsoft::WRL::ComPtr<CSampleGrabberCB>& out);
    CSampleGrabberCB(const CSampleGrabberCB&) = delete;
    CSampleGrabberCB& operator=(const CSampleGrabberCB&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

    // The connected format, from the grabber's connected media type. A size
    // beyond the frame bounds is kept out of the description: such frames are
    // never taken.
    void SetFormat(const AM_MEDIA_TYPE& mt);
    const FrameDesc& Desc() const { return m_desc; }
    bool FormatAllowed() const { return m_formatAllowed; }

    // Callback objects alive in this process (for leak checks).
    static long LiveObjects() noexcept;

private:
    CSampleGrabberCB() noexcept;
    virtual ~CSampleGrabberCB();
    // The armed path, kept out of line so the idle path stays a load and a return.
    __attribute__((noinline)) HRESULT TakeFrame(BYTE* buffer, long length);

    std::atomic<ULONG> m_refs{1};
    FrameDesc m_desc;
    bool m_formatAllowed = false;
};

} // namespace tamsel
