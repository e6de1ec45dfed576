// Cameras coming and going: what the engine makes of device-node changes and
// graph events, and what it tells its window.
#include "CaptureFixture.h"

#include "framework/Messages.h"

namespace captest {
namespace {

using tamsel::UM_DEVICE_ARRIVED;
using tamsel::UM_DEVICE_REMOVED;
using tamsel::UM_DEVICE_RESCAN;
using tamsel::UM_DEVICE_LOST;
using tamsel::UM_GRAPH_EVENT;
using tamsel::UM_RESTART_PREVIEW;
using tamsel::UM_START_PREVIEW;

class DeviceEvents : public CaptureTest {
protected:
    // Cameras numbered 2 and 5 (and 7), so a camera numbered between or
    // before them changes the list order.
    void StartOnCameraFive(bool withOthers, bool withSeven = false)
    {
        ASSERT_EQ(vcam::DeleteAllDevices(), S_OK);
        ASSERT_EQ(vcam::WriteDevice(5, Camera(L"Five", {Yuy2(640, 480)})), S_OK);
        if (withOthers) {
            ASSERT_EQ(vcam::WriteDevice(2, Camera(L"Two", {Yuy2(640, 480)})), S_OK);
        }
        if (withSeven) {
            ASSERT_EQ(vcam::WriteDevice(7, Camera(L"Seven", {Yuy2(640, 480)})), S_OK);
        }
        ASSERT_EQ(vcam::RegisterDevices(), S_OK);
        m_host.known = m_engine->BuildDeviceList();
        ASSERT_EQ(m_host.known, 1 + (withOthers ? 1 : 0) + (withSeven ? 1 : 0));
        ASSERT_TRUE(m_engine->SelectDevice(IndexOf(5)));
        ASSERT_TRUE(m_engine->StartPreview({nullptr, 1}));
        ASSERT_TRUE(WaitRunning());
    }
    int IndexOf(int number)
    {
        const std::vector<tamsel::SCamDevInfo> list = m_engine->Devices();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].szDisplayName == Narrow(vcam::DisplayName(number)))
                return static_cast<int>(i);
        return -1;
    }
    void Handle(const MSG& msg)
    {
        LRESULT result = 0;
        EXPECT_TRUE(m_engine->OnMessage(msg.message, msg.wParam, msg.lParam, result));
    }
};

TEST_F(DeviceEvents, ArrivalKeepsTheSelectedCameraByItsDisplayName)
{
    StartOnCameraFive(false);
    ASSERT_EQ(vcam::WriteDevice(1, Camera(L"One", {Yuy2(640, 480)})), S_OK);
    ASSERT_EQ(vcam::RegisterDevices(), S_OK);
    DeviceNodesChanged();
    MSG arrived;
    ASSERT_TRUE(TakePosted(UM_DEVICE_ARRIVED, arrived));
    EXPECT_EQ(arrived.wParam, 2u);
    EXPECT_EQ(static_cast<int>(arrived.lParam), IndexOf(5));
    EXPECT_EQ(m_engine->CurrentDevice(), IndexOf(5));

    // A second broadcast before the window has handled the arrival is ignored.
    DeviceNodesChanged();
    MSG again;
    EXPECT_FALSE(TakePosted(UM_DEVICE_ARRIVED, again, 300));

    Handle(arrived);
    ASSERT_EQ(m_host.changes.size(), 1u);
    EXPECT_EQ(m_host.changes[0].count, 2);
    EXPECT_EQ(m_host.changes[0].current, IndexOf(5));
    EXPECT_TRUE(m_host.changes[0].tellSetup);
    MSG start;
    EXPECT_TRUE(TakePosted(UM_START_PREVIEW, start, 0)) << "the open window shows the camera again";

    // Handled, the next arrival counts again; one that changes nothing does not.
    DeviceNodesChanged();
    EXPECT_FALSE(TakePosted(UM_DEVICE_ARRIVED, again, 200)) << "two cameras, and the window knows it";
    ASSERT_EQ(vcam::WriteDevice(3, Camera(L"Three", {Yuy2(640, 480)})), S_OK);
    ASSERT_EQ(vcam::RegisterDevices(), S_OK);
    DeviceNodesChanged();
    ASSERT_TRUE(TakePosted(UM_DEVICE_ARRIVED, again));
    EXPECT_EQ(again.wParam, 3u);
    EXPECT_EQ(static_cast<int>(again.lParam), IndexOf(5));
}

TEST_F(DeviceEvents, ArrivalAfterNoCameraSelectsTheFirst)
{
    for (bool open : {true, false}) {
        SCOPED_TRACE(open ? "window open" : "window hidden");
        m_host = FakeHost();
        m_host.open = open;
        UseCameras({});
        m_host.known = m_engine->BuildDeviceList();
        ASSERT_EQ(m_host.known, 0);
        UseCameras({Camera(L"New", {Yuy2(640, 480)})});
        DeviceNodesChanged();
        MSG msg;
        ASSERT_TRUE(TakePosted(UM_DEVICE_ARRIVED, msg));
        EXPECT_EQ(msg.wParam, 1u);
        EXPECT_EQ(msg.lParam, 0);
        EXPECT_EQ(m_engine->CurrentDevice(), 0);
        Handle(msg);
        ASSERT_EQ(m_host.changes.size(), 1u);
        EXPECT_EQ(m_host.changes[0].count, 1);
        EXPECT_EQ(m_host.changes[0].current, 0);
        MSG start;
        EXPECT_EQ(TakePosted(UM_START_PREVIEW, start, 0), open) << "only an open window starts the preview";
    }
}

TEST_F(DeviceEvents, RemovingAnotherCameraLeavesThePreviewRunning)
{
    StartOnCameraFive(true);
    ASSERT_EQ(vcam::SetUnplugged(2, true), S_OK);
    DeviceNodesChanged();
    MSG msg;
    ASSERT_TRUE(TakePosted(UM_DEVICE_REMOVED, msg));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(m_engine->Devices()[0].szDisplayName, Narrow(vcam::DisplayName(5)));
    Handle(msg);
    ASSERT_EQ(m_host.changes.size(), 1u);
    EXPECT_EQ(m_host.changes[0].count, 1);
    EXPECT_EQ(m_host.changes[0].current, 0);
    EXPECT_TRUE(m_host.changes[0].tellSetup);
    EXPECT_EQ(m_engine->GetGraphState(), tamsel::kGraphRunning);
    MSG start;
    EXPECT_FALSE(TakePosted(UM_START_PREVIEW, start, 0)) << "the running preview is left alone";
}

TEST_F(DeviceEvents, UnpluggingTheSelectedCameraIsReportedByTheGraph)
{
    StartOnCameraFive(true);
    ASSERT_EQ(vcam::SetUnplugged(5, true), S_OK);
    // The live graph reports the loss itself; the broadcast ends quietly.
    DeviceNodesChanged();
    MSG msg;
    EXPECT_FALSE(TakePosted(UM_DEVICE_REMOVED, msg, 200));
    EXPECT_FALSE(TakePosted(UM_DEVICE_RESCAN, msg, 0));

    // EC_DEVICE_LOST: the list is rebuilt, the first camera selected and the
    // preview restarted on it.
    ASSERT_TRUE(DispatchUntil([&] { return !m_host.changes.empty(); }));
    ASSERT_EQ(m_host.changes.size(), 1u);
    EXPECT_EQ(m_host.changes[0].count, 1);
    EXPECT_EQ(m_host.changes[0].current, 0);
    EXPECT_TRUE(m_host.changes[0].tellSetup);
    EXPECT_EQ(Graph(), nullptr);
    EXPECT_EQ(m_engine->CurrentDevice(), 0);
    EXPECT_EQ(m_engine->Devices()[0].szDisplayName, Narrow(vcam::DisplayName(2)));
    MSG start;
    ASSERT_TRUE(TakePosted(UM_START_PREVIEW, start, 0));
    ASSERT_TRUE(m_engine->StartPreview({nullptr, 1}));
    EXPECT_TRUE(WaitRunning());

    // The removal broadcast was not left pending: losing the last camera is
    // seen the same way, and with none left the window says so in a box.
    ASSERT_EQ(vcam::SetUnplugged(2, true), S_OK);
    DeviceNodesChanged();
    ASSERT_TRUE(DispatchUntil([&] { return !m_host.noCamera.empty(); }));
    EXPECT_EQ(m_host.changes.back().count, 0);
    EXPECT_EQ(m_host.changes.back().current, -1);
    EXPECT_EQ(m_host.noCamera, std::vector<bool>{true});
    EXPECT_EQ(m_engine->CurrentDevice(), -1);
    EXPECT_FALSE(TakePosted(UM_START_PREVIEW, start, 0));
}

TEST_F(DeviceEvents, UnpluggingTheSelectedCameraWithoutAGraphAsksForARescan)
{
    for (bool open : {true, false}) {
        SCOPED_TRACE(open ? "window open" : "window hidden");
        m_host = FakeHost();
        m_host.open = open;
        StartOnCameraFive(true);
        m_engine->TearDownGraph();
        ASSERT_EQ(vcam::SetUnplugged(5, true), S_OK);
        DeviceNodesChanged();
        MSG rescan, again;
        ASSERT_TRUE(TakePosted(UM_DEVICE_RESCAN, rescan));
        DeviceNodesChanged();
        EXPECT_FALSE(TakePosted(UM_DEVICE_RESCAN, again, 200)) << "ignored until the rescan is handled";

        Handle(rescan);
        ASSERT_EQ(m_host.changes.size(), 1u);
        EXPECT_EQ(m_host.changes[0].count, 1);
        EXPECT_EQ(m_host.changes[0].current, 0);
        EXPECT_FALSE(m_host.changes[0].tellSetup);
        EXPECT_TRUE(m_host.noCamera.empty());
        EXPECT_EQ(m_engine->CurrentDevice(), 0);
        MSG start;
        EXPECT_FALSE(TakePosted(UM_START_PREVIEW, start, 0)) << "a rescan starts no preview";

        // Handled, the next removal counts; with none left the window says so,
        // in a box only while it is open.
        ASSERT_EQ(vcam::SetUnplugged(2, true), S_OK);
        DeviceNodesChanged();
        ASSERT_TRUE(TakePosted(UM_DEVICE_RESCAN, rescan));
        Handle(rescan);
        EXPECT_EQ(m_host.changes.back().count, 0);
        EXPECT_EQ(m_host.noCamera, std::vector<bool>{open});
        EXPECT_EQ(m_engine->CurrentDevice(), -1);
    }
}

TEST_F(DeviceEvents, StreamingErrorAsksForOneRebuild)
{
    StartOnCameraFive(false);
    Microsoft::WRL::ComPtr<IMediaEventSink> sink;
    ASSERT_HRESULT_SUCCEEDED(Graph()->QueryInterface(IID_PPV_ARGS(&sink)));
    ASSERT_HRESULT_SUCCEEDED(sink->Notify(EC_ERRORABORT, E_FAIL, 0));
    MSG msg;
    ASSERT_TRUE(TakePosted(UM_GRAPH_EVENT, msg));
    Handle(msg);
    ASSERT_TRUE(TakePosted(UM_RESTART_PREVIEW, msg));
    MSG more;
    EXPECT_FALSE(TakePosted(UM_RESTART_PREVIEW, more, 200)) << "one event, one rebuild";
    EXPECT_FALSE(TakePosted(UM_DEVICE_LOST, more, 0));
    Handle(msg);
    EXPECT_EQ(Graph(), nullptr);
    EXPECT_TRUE(TakePosted(UM_START_PREVIEW, more, 0));
    EXPECT_EQ(m_engine->CurrentDevice(), 0) << "the same camera";
}

TEST_F(DeviceEvents, SelectionIsBroughtIntoRangeWhenItsCameraIsGone)
{
    // Seven is selected (the last of three); it and Two go at once, so the
    // rebuilt list has one camera and no record of the selected one.
    StartOnCameraFive(true, true);
    ASSERT_TRUE(m_engine->SelectDevice(IndexOf(7)));
    ASSERT_EQ(m_engine->CurrentDevice(), 2);
    m_engine->TearDownGraph();
    ASSERT_EQ(vcam::SetUnplugged(2, true), S_OK);
    ASSERT_EQ(vcam::SetUnplugged(7, true), S_OK);
    DeviceNodesChanged();
    MSG msg;
    ASSERT_TRUE(TakePosted(UM_DEVICE_REMOVED, msg));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(m_engine->CurrentDevice(), 0);
    EXPECT_TRUE(m_engine->StartPreview({nullptr, 1}));
}

TEST_F(DeviceEvents, OtherMessagesAreNotTheEngines)
{
    LRESULT result = 12345;
    for (UINT msg : {static_cast<UINT>(UM_START_PREVIEW), static_cast<UINT>(tamsel::UM_SNAPSHOT),
                     static_cast<UINT>(WM_TIMER), static_cast<UINT>(WM_USER + 129),
                     static_cast<UINT>(WM_USER + 137)}) {
        EXPECT_FALSE(m_engine->OnMessage(msg, 0, 0, result)) << msg;
    }
    EXPECT_EQ(result, 12345);
    // Device changes other than a node change are the engine's, and change nothing.
    EXPECT_TRUE(m_engine->OnMessage(WM_DEVICECHANGE, 0x8000 /* DBT_DEVICEARRIVAL */, 0, result));
    EXPECT_EQ(result, TRUE);
    EXPECT_TRUE(m_host.changes.empty());
}

} // namespace
} // namespace captest
