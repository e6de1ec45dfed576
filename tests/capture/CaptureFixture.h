// A capture engine in this process, with virtual cameras configured per test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureAccess.h"
#include "Driver.h"
#include "VcamConfig.h"
#include "capture/DShowCapture.h"

namespace captest {

vcam::DeviceConfig Camera(const wchar_t* name, std::vector<vcam::Format> formats);
vcam::Format Yuy2(int w, int h);
vcam::Format Mjpg(int w, int h);
// A format that sends w x h frames but announces another header.
vcam::Format Announced(vcam::Format real, long width, long height, int bits = 0);

std::string Narrow(const std::wstring& s);

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
    // The sample times (stream time, seconds) of the frames seen so far.
    std::vector<double> Times();
    std::atomic<int> frames{0};

private:
    ISampleGrabberCB* m_next;
    std::mutex m_lock;
    std::vector<uint8_t> m_taken;
    std::vector<double> m_times;
};

// The window side of the engine, as the main window plays it: it believes in
// the camera count it was last told and records everything it is told.
class FakeHost : public tamsel::ICaptureHost {
public:
    struct Change {
        int count, current;
        bool tellSetup;
    };
    bool IsOpen() const override { return open; }
    int KnownCameraCount() const override { return known; }
    void OnCamerasChanged(int count, int current, bool tellSetup) override
    {
        known = count;
        changes.push_back({count, current, tellSetup});
    }
    void OnNoCamera(bool asBox) override { noCamera.push_back(asBox); }

    bool open = true;
    int known = 0;
    std::vector<Change> changes;
    std::vector<bool> noCamera; // asBox of each report
};

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces every virtual camera by these and lists them.
    void UseCameras(const std::vector<vcam::DeviceConfig>& cameras);
    // Builds the list, tells the host its size, selects `index` and starts
    // the preview in `mode`.
    bool StartPreviewOn(int index, int resMode, HWND owner = nullptr);
    bool WaitRunning(DWORD ms = 5000);
    // The Sample Grabber's connected media type.
    bool GrabberFormat(GUID& subtype, int& width, int& height);
    // Name of the capture-filter pin that feeds the grabber.
    std::string GrabberSourcePin();
    bool HasFilter(const wchar_t* name);
    IGraphBuilder* Graph() const { return tamsel::CaptureTestAccess::Graph(*m_engine); }
    ISampleGrabberCB* GrabberCallback() const { return tamsel::CaptureTestAccess::GrabberCallback(*m_engine); }
    // The video window's owner, or null without a graph.
    HWND VideoOwner();

    // The notify window's queue, as the main window's message loop sees it.
    // Takes one posted message of this kind without handling it.
    bool TakePosted(UINT msg, MSG& out, DWORD ms = 5000);
    // Hands every posted message to the engine until `done` holds (checked
    // after each message) or ms have passed; the messages the engine does
    // not handle (UM_START_PREVIEW) are kept in m_unhandled.
    bool DispatchUntil(const std::function<bool()>& done, DWORD ms = 5000);
    // Hands over what is queued now and what comes within ms.
    void DispatchFor(DWORD ms);
    int Unhandled(UINT msg) const;
    // A WM_DEVICECHANGE broadcast of a device-node change, to the engine.
    void DeviceNodesChanged();

    HWND m_notify = nullptr; // receives the engine's messages
    FakeHost m_host;
    std::vector<UINT> m_unhandled;
    std::unique_ptr<tamsel::CDShowCapture> m_engine;
};

} // namespace captest
