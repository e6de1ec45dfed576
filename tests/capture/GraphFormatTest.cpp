// The capture graph: formats per resolution mode, still-pin layout, running,
// switching cameras and rolling the picture.
#include "CaptureFixture.h"


namespace captest {
namespace {

using Microsoft::WRL::ComPtr;
using GraphTest = CaptureTest;

TEST_F(GraphTest, ResolutionModesGiveTheirFormatAtTheGrabber)
{
    struct Case {
        const char* what;
        std::vector<vcam::Format> formats;
        int mode;
        int width, height;
        bool stillPin;
    };
    const std::vector<vcam::Format> three = {Yuy2(640, 480), Yuy2(800, 600), Yuy2(1024, 768)};
    const Case cases[] = {
        {"VGA", three, 1, 640, 480, false},
        {"SVGA", three, 2, 800, 600, false},
        {"XVGA", three, 3, 1024, 768, false},
        {"native 1600x1200", {Yuy2(640, 480), Yuy2(1600, 1200)}, 4, 1600, 1200, false},
        // Large native sizes preview at VGA; the grabber sits on the still
        // pin, which gives its largest format.
        {"native 2592x1944", {Yuy2(640, 480), Yuy2(2592, 1944)}, 4, 2592, 1944, true},
        {"width and height from different capabilities",
         {Yuy2(640, 480), Yuy2(2592, 1080), Yuy2(1280, 1944)}, 4, 2592, 1080, true},
        {"MJPG beside YUY2", {Mjpg(1280, 720), Yuy2(640, 480), Yuy2(800, 600), Mjpg(800, 600)}, 2, 800,
         600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseCameras({Camera(L"Camera", c.formats)});
        ASSERT_TRUE(StartPreviewOn(0, c.mode));
        EXPECT_TRUE(WaitRunning());
        GUID subtype{};
        int w = 0, h = 0;
        ASSERT_TRUE(GrabberFormat(subtype, w, h));
        EXPECT_TRUE(subtype == MEDIASUBTYPE_YUY2);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(GrabberSourcePin(), c.stillPin ? "Still" : "Capture");
        EXPECT_EQ(HasFilter(L"Null Render"), c.stillPin);
        EXPECT_TRUE(HasFilter(L"Video Render"));
        EXPECT_EQ(m_engine->Devices()[0].bUseStillPin, c.stillPin);
        m_engine->TearDownGraph();
        EXPECT_EQ(m_engine->Graph(), nullptr);
    }
}

TEST_F(GraphTest, CameraWithoutYuy2CannotPreview)
{
    UseCameras({Camera(L"Jpeg only", {Mjpg(640, 480)})});
    EXPECT_FALSE(StartPreviewOn(0, 1));
    EXPECT_EQ(m_engine->Graph(), nullptr) << "a failed build leaves no graph";
    EXPECT_EQ(m_engine->GetGraphState(), tamsel::kGraphUnknown);
}

TEST_F(GraphTest, NoSelectionBuildsNoGraph)
{
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    ASSERT_EQ(m_engine->BuildDeviceList(), 1);
    m_engine->m_nCurDev = -1;
    EXPECT_FALSE(m_engine->BuildGraph());
    EXPECT_EQ(m_engine->Graph(), nullptr);
}

TEST_F(GraphTest, FramesReachTheGrabberAtTheCameraRate)
{
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    ASSERT_TRUE(StartPreviewOn(0, 1));
    ASSERT_TRUE(WaitRunning());
    ComPtr<IBaseFilter> f;
    ComPtr<ISampleGrabber> grabber;
    ASSERT_HRESULT_SUCCEEDED(m_engine->Graph()->FindFilterByName(L"SampleGrabber", &f));
    ASSERT_HRESULT_SUCCEEDED(f.As(&grabber));
    ForwardingCallback counter(m_engine->GrabberCallback());
    grabber->SetCallback(&counter, 1);
    ::Sleep(2000);
    grabber->SetCallback(m_engine->GrabberCallback(), 1);
    const int frames = counter.frames.load();
    // 30 frames a second for two seconds; a busy machine (the other tests run
    // beside this one) may drop some, but far fewer than a slower rate would.
    EXPECT_GE(frames, 36);
    EXPECT_LE(frames, 62);
    std::printf("%d frames in 2 s at 30 fps\n", frames);
}

TEST_F(GraphTest, VideoWindowFillsItsOwner)
{
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 360, 272, nullptr,
                                   nullptr, nullptr, nullptr);
    m_engine->m_hVideoOwner = owner;
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    ASSERT_TRUE(StartPreviewOn(0, 1));
    ComPtr<IVideoWindow> video;
    ASSERT_HRESULT_SUCCEEDED(m_engine->Graph()->QueryInterface(IID_PPV_ARGS(&video)));
    OAHWND got = 0;
    long x = -1, y = -1, w = 0, h = 0;
    video->get_Owner(&got);
    video->GetWindowPosition(&x, &y, &w, &h);
    EXPECT_EQ(reinterpret_cast<HWND>(got), owner);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 360);
    EXPECT_EQ(h, 272);
    m_engine->TearDownGraph();
    ::DestroyWindow(owner);
}

TEST_F(GraphTest, SwitchingCamerasKeepsAPreviewRunning)
{
    UseCameras({Camera(L"One", {Yuy2(640, 480)}), Camera(L"Two", {Yuy2(800, 600)})});
    ASSERT_TRUE(StartPreviewOn(0, 4));
    EXPECT_FALSE(m_engine->SwitchDevice(0)) << "already selected";
    EXPECT_FALSE(m_engine->SwitchDevice(-1));
    EXPECT_FALSE(m_engine->SwitchDevice(2));
    ASSERT_TRUE(m_engine->SwitchDevice(1));
    EXPECT_EQ(m_engine->m_nCurDev, 1);
    EXPECT_TRUE(WaitRunning());
    GUID subtype{};
    int w = 0, h = 0;
    ASSERT_TRUE(GrabberFormat(subtype, w, h));
    EXPECT_EQ(w, 800);

    // A camera that is gone is not switched to; the old one runs on.
    ASSERT_EQ(vcam::SetUnplugged(0, true), S_OK);
    EXPECT_FALSE(m_engine->SwitchDevice(0));
    EXPECT_EQ(m_engine->m_nCurDev, 1);
    EXPECT_TRUE(WaitRunning());
}

TEST_F(GraphTest, RollIsSetOnTheCamera)
{
    vcam::DeviceConfig rolling = Camera(L"Rolling", {Yuy2(640, 480)});
    vcam::DeviceConfig fixed = Camera(L"Fixed", {Yuy2(640, 480)});
    fixed.roll = false;
    UseCameras({rolling, fixed});
    ASSERT_TRUE(StartPreviewOn(0, 1));
    ASSERT_TRUE(m_engine->SetRollAngle(90));
    ComPtr<IBaseFilter> cap;
    ComPtr<IAMCameraControl> control;
    ASSERT_HRESULT_SUCCEEDED(m_engine->Graph()->FindFilterByName(L"Video Capture", &cap));
    ASSERT_HRESULT_SUCCEEDED(cap.As(&control));
    long value = 0, flags = 0;
    ASSERT_HRESULT_SUCCEEDED(control->Get(CameraControl_Roll, &value, &flags));
    EXPECT_EQ(value, 90);
    ASSERT_TRUE(m_engine->SwitchDevice(1));
    EXPECT_FALSE(m_engine->SetRollAngle(180));
}

} // namespace
} // namespace captest
