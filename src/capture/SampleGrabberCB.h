// The frame grabber's callback and the hand-over of one frame to a still
// capture.
#pragma once

#include <windows.h>

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
    std::atomic<bool> bArmed{false};
    std::atomic<bool> bDone{false};
    SRWLOCK frameLock = SRWLOCK_INIT; // guards the frame and its description
    std::vector<uint8_t> frame;
    FrameDesc desc;
    fw::Handle doneEvent{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

SGrabSlot& GrabSlot();

class CSampleGrabberCB : public ISampleGrabberCB {
public:
    CSampleGrabberCB() = default;
    virtual ~CSampleGrabberCB();

    // Its lifetime belongs to the capture engine, not to reference counts.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

    // The connected format, from the grabber's connected media type.
    void SetFormat(const AM_MEDIA_TYPE& mt);
    const FrameDesc& Desc() const { return m_desc; }

private:
    // The armed path, kept out of line so the idle path stays a load and a return.
    __attribute__((noinline)) HRESULT TakeFrame(BYTE* buffer, long length);
    FrameDesc m_desc;
};

} // namespace tamsel
