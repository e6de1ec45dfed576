// Cameras coming and going, and what the engine tells its window about it.
#include "CaptureFixture.h"

#include "shell/Messages.h"

namespace captest {
namespace {

using DeviceEventTest = CaptureTest;

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// Waits for a message posted to the notify window.
bool WaitForPosted(HWND wnd, UINT msg, MSG& out, DWORD ms = 5000)
{
    const DWORD start = ::GetTickCount();
    do {
        if (::PeekMessageW(&out, wnd, msg, msg, PM_REMOVE))
            return true;
        ::Sleep(10);
    } while (::GetTickCount() - start < ms);
    return false;
}

class DeviceEvents : public DeviceEventTest {
protected:
    // Cameras numbered 2 and 5, so a camera numbered between or before them
    // changes the list order.
    void StartOnCameraFive(bool withOther)
    {
        ASSERT_EQ(vcam::DeleteAllDevices(), S_OK);
        ASSERT_EQ(vcam::WriteDevice(5, Camera(L"Five", {Yuy2(640, 480)})), S_OK);
        if (withOther) {
            ASSERT_EQ(vcam::WriteDevice(2, Camera(L"Two", {Yuy2(640, 480)})), S_OK);
        }
        ASSERT_EQ(vcam::RegisterDevices(), S_OK);
        ASSERT_EQ(m_engine->BuildDeviceList(), withOther ? 2 : 1);
        m_engine->m_nCurDev = SelectedIndexOf(5);
        m_engine->m_nResMode = 1;
        ASSERT_TRUE(m_engine->StartPreview());
        ASSERT_TRUE(WaitRunning());
    }
    int SelectedIndexOf(int number)
    {
        const auto& list = m_engine->Devices();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].szDisplayName == Narrow(vcam::DisplayName(number)))
                return static_cast<int>(i);
        return -1;
    }
};

TEST_F(DeviceEvents, ArrivalKeepsTheSelectedCameraByItsDisplayName)
{
    StartOnCameraFive(false);
    ASSERT_EQ(vcam::WriteDevice(1, Camera(L"One", {Yuy2(640, 480)})), S_OK);
    ASSERT_EQ(vcam::RegisterDevices(), S_OK);
    m_engine->OnVideoDeviceArrival();
    MSG msg;
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_DEVICE_ARRIVED, msg));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_EQ(static_cast<int>(msg.lParam), SelectedIndexOf(5));
    EXPECT_EQ(m_engine->m_nCurDev, SelectedIndexOf(5));
    EXPECT_TRUE(m_engine->m_bArrivalBusy) << "until the window has handled the arrival";

    // A second broadcast before that is ignored.
    m_engine->OnVideoDeviceArrival();
    EXPECT_FALSE(WaitForPosted(m_notify, tamsel::UM_DEVICE_ARRIVED, msg, 300));
}

TEST_F(DeviceEvents, ArrivalAfterNoCameraSelectsTheFirst)
{
    UseCameras({});
    ASSERT_EQ(m_engine->BuildDeviceList(), 0);
    UseCameras({Camera(L"New", {Yuy2(640, 480)})});
    m_engine->OnVideoDeviceArrival();
    MSG msg;
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_DEVICE_ARRIVED, msg));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(m_engine->m_nCurDev, 0);
}

TEST_F(DeviceEvents, RemovingAnotherCameraLeavesThePreviewRunning)
{
    StartOnCameraFive(true);
    ASSERT_EQ(vcam::SetUnplugged(2, true), S_OK);
    m_engine->OnVideoDeviceRemoval();
    MSG msg;
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_DEVICE_REMOVED, msg));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(m_engine->Devices()[0].szDisplayName, Narrow(vcam::DisplayName(5)));
    EXPECT_EQ(m_engine->GetGraphState(), tamsel::kGraphRunning);
}

TEST_F(DeviceEvents, UnpluggingTheSelectedCameraIsReportedByTheGraph)
{
    StartOnCameraFive(true);
    ASSERT_EQ(vcam::SetUnplugged(5, true), S_OK);
    m_engine->OnVideoDeviceRemoval();
    EXPECT_FALSE(m_engine->m_bRemovalBusy) << "the live graph reports the loss itself";
    MSG msg;
    EXPECT_FALSE(WaitForPosted(m_notify, tamsel::UM_DEVICE_REMOVED, msg, 200));
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_GRAPH_EVENT, msg));
    m_engine->HandleGraphEvents();
    EXPECT_TRUE(WaitForPosted(m_notify, tamsel::UM_DEVICE_LOST, msg));
}

TEST_F(DeviceEvents, UnpluggingTheSelectedCameraWithoutAGraphAsksForARescan)
{
    StartOnCameraFive(true);
    m_engine->TearDownGraph();
    ASSERT_EQ(vcam::SetUnplugged(5, true), S_OK);
    m_engine->OnVideoDeviceRemoval();
    MSG msg;
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_DEVICE_RESCAN, msg));
    EXPECT_TRUE(m_engine->m_bRemovalBusy) << "the rescan handler clears it";
}

TEST_F(DeviceEvents, StreamingErrorAsksForOneRebuild)
{
    StartOnCameraFive(false);
    Microsoft::WRL::ComPtr<IMediaEventSink> sink;
    ASSERT_HRESULT_SUCCEEDED(m_engine->Graph()->QueryInterface(IID_PPV_ARGS(&sink)));
    ASSERT_HRESULT_SUCCEEDED(sink->Notify(EC_ERRORABORT, E_FAIL, 0));
    MSG msg;
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_GRAPH_EVENT, msg));
    m_engine->HandleGraphEvents();
    EXPECT_TRUE(WaitForPosted(m_notify, tamsel::UM_RESTART_PREVIEW, msg));
    EXPECT_FALSE(WaitForPosted(m_notify, tamsel::UM_RESTART_PREVIEW, msg, 200)) << "one event, one rebuild";
    EXPECT_FALSE(WaitForPosted(m_notify, tamsel::UM_DEVICE_LOST, msg, 0));
}

TEST_F(DeviceEvents, SelectionIsBroughtIntoRangeWhenItsCameraIsGone)
{
    StartOnCameraFive(true);
    m_engine->TearDownGraph();
    // The selected camera vanishes between two rebuilds of the list.
    ASSERT_EQ(vcam::SetUnplugged(5, true), S_OK);
    ASSERT_EQ(vcam::WriteDevice(0, Camera(L"Zero", {Yuy2(640, 480)})), S_OK);
    ASSERT_EQ(vcam::RegisterDevices(), S_OK);
    m_engine->m_nCurDev = 7;
    m_engine->OnVideoDeviceArrival();
    MSG msg;
    ASSERT_TRUE(WaitForPosted(m_notify, tamsel::UM_DEVICE_ARRIVED, msg));
    EXPECT_GE(m_engine->m_nCurDev, 0);
    EXPECT_LT(m_engine->m_nCurDev, m_engine->DevCount());
}

} // namespace
} // namespace captest
