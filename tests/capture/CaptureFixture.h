// A capture engine in this process, with virtual cameras configured per test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "Driver.h"
#include "VcamConfig.h"
#include "capture/DShowCapture.h"

namespace captest {

vcam::DeviceConfig Camera(const wchar_t* name, std::vector<vcam::Format> formats);
vcam::Format Yuy2(int w, int h);
vcam::Format Mjpg(int w, int h);

using tdrv::Picture;
using tdrv::IsRed;
using tdrv::IsGreen;
using tdrv::IsBlue;
using tdrv::IsBlack;

// Put between the grabber and the engine's callback: counts the frames that
// reach the grabber and keeps the bytes of the one an armed capture takes.
class ForwardingCallback : public ISampleGrabberCB {
public:
    explicit ForwardingCallback(ISampleGrabberCB* next) : m_next(next) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double time, BYTE* buffer, long length) override;
    std::vector<uint8_t> Taken();
    std::atomic<int> frames{0};

private:
    ISampleGrabberCB* m_next;
    std::mutex m_lock;
    std::vector<uint8_t> m_taken;
};

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces every virtual camera by these and lists them.
    void UseCameras(const std::vector<vcam::DeviceConfig>& cameras);
    // Builds the list, selects `index`, and starts the preview in `mode`.
    bool StartPreviewOn(int index, int resMode);
    bool WaitRunning(DWORD ms = 5000);
    // The Sample Grabber's connected media type.
    bool GrabberFormat(GUID& subtype, int& width, int& height);
    // Name of the capture-filter pin that feeds the grabber.
    std::string GrabberSourcePin();
    bool HasFilter(const wchar_t* name);

    HWND m_notify = nullptr; // receives the engine's messages
    std::unique_ptr<tamsel::CDShowCapture> m_engine;
};

} // namespace captest
