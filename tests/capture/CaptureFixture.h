// A capture engine in this process, with virtual cameras configured per test.
#pragma once

#include <gtest/gtest.h>

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
