// The capture graph: formats per resolution mode, still-pin layout, running,
// switching cameras and rolling the picture.
#include "CaptureFixture.h"

#include <cmath>

#include "framework/Messages.h"


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
        // Native sizes the camera only offers compressed are not asked for in YUY2.
        {"native, larger sizes only in MJPG", {Yuy2(640, 480), Yuy2(320, 240), Mjpg(1280, 720), Mjpg(640, 480)},
         4, 640, 480, false},
        {"native, widest and tallest apart", {Yuy2(1280, 720), Yuy2(960, 960)}, 4, 1280, 720, false},
        // A size announced beyond the frame bounds decides nothing.
        {"native beside an announcement beyond the bounds",
         {Yuy2(640, 480), Yuy2(1280, 720), Announced(Yuy2(1280, 720), 20000, 20000)}, 4, 1280, 720, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseCameras({Camera(L"Camera", c.formats)});
        const bool started = StartPreviewOn(0, c.mode);
        EXPECT_TRUE(started);
        if (!started)
            continue;
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
        // And the frames the grabber passes are what it was told.
        std::vector<uint8_t> image;
        ASSERT_TRUE(m_engine->CaptureStill(image));
        EXPECT_EQ(image.size(), 54u + 3u * c.width * c.height);
        m_engine->TearDownGraph();
        EXPECT_EQ(Graph(), nullptr);
    }
}

TEST_F(GraphTest, CameraWithoutYuy2CannotPreview)
{
    UseCameras({Camera(L"Jpeg only", {Mjpg(640, 480)})});
    EXPECT_FALSE(StartPreviewOn(0, 1));
    EXPECT_EQ(Graph(), nullptr) << "a failed build leaves no graph";
    EXPECT_EQ(m_engine->GetGraphState(), tamsel::kGraphUnknown);
}

TEST_F(GraphTest, NoSelectionBuildsNoGraph)
{
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    ASSERT_EQ(m_engine->BuildDeviceList(), 1);
    ASSERT_EQ(m_engine->CurrentDevice(), -1);
    EXPECT_FALSE(m_engine->StartPreview({nullptr, 1}));
    EXPECT_EQ(Graph(), nullptr);
}

TEST_F(GraphTest, FramesReachTheGrabberAtTheCameraRate)
{
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    ASSERT_TRUE(StartPreviewOn(0, 1));
    ASSERT_TRUE(WaitRunning());
    ComPtr<IBaseFilter> f;
    ComPtr<ISampleGrabber> grabber;
    ASSERT_HRESULT_SUCCEEDED(Graph()->FindFilterByName(L"SampleGrabber", &f));
    ASSERT_HRESULT_SUCCEEDED(f.As(&grabber));
    ForwardingCallback counter(GrabberCallback());
    grabber->SetCallback(&counter, 1);
    for (int waited = 0; counter.frames.load() < 30 && waited < 15000; waited += 50)
        ::Sleep(50);
    grabber->SetCallback(GrabberCallback(), 1);
    // The rate is read from the frames' stream times, not from a clock on
    // this side: a busy machine may drop frames, but the camera puts each on
    // its grid of 1/30 s, and the grabber must see that grid (a format of
    // another rate, or frames bunched or repeated, would not fit it).
    const std::vector<double> times = counter.Times();
    ASSERT_GE(times.size(), 30u);
    const double period = 1.0 / 30;
    int single = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        const double steps = (times[i] - times[i - 1]) / period;
        EXPECT_GE(steps, 0.99) << "frame " << i << " came less than a period after the one before";
        EXPECT_NEAR(steps, std::round(steps), 0.03) << "frame " << i << " is off the 30 fps grid";
        single += std::lround(steps) == 1;
    }
    EXPECT_GE(single, static_cast<int>(times.size()) / 2) << "most frames follow their predecessor by one period";
    std::printf("%zu frames, %d of them one period after the one before\n", times.size(), single);
}

TEST_F(GraphTest, VideoWindowFillsItsOwner)
{
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 360, 272, nullptr,
                                   nullptr, nullptr, nullptr);
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    ASSERT_TRUE(StartPreviewOn(0, 1, owner));
    ComPtr<IVideoWindow> video;
    ASSERT_HRESULT_SUCCEEDED(Graph()->QueryInterface(IID_PPV_ARGS(&video)));
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
    EXPECT_EQ(m_engine->CurrentDevice(), 1);
    EXPECT_TRUE(WaitRunning());
    GUID subtype{};
    int w = 0, h = 0;
    ASSERT_TRUE(GrabberFormat(subtype, w, h));
    EXPECT_EQ(w, 800);

    // A camera that is gone is not switched to; the old one runs on.
    ASSERT_EQ(vcam::SetUnplugged(0, true), S_OK);
    EXPECT_FALSE(m_engine->SwitchDevice(0));
    EXPECT_EQ(m_engine->CurrentDevice(), 1);
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
    ASSERT_HRESULT_SUCCEEDED(Graph()->FindFilterByName(L"Video Capture", &cap));
    ASSERT_HRESULT_SUCCEEDED(cap.As(&control));
    long value = 0, flags = 0;
    ASSERT_HRESULT_SUCCEEDED(control->Get(CameraControl_Roll, &value, &flags));
    EXPECT_EQ(value, 90);
    ASSERT_TRUE(m_engine->SwitchDevice(1));
    EXPECT_FALSE(m_engine->SetRollAngle(180));
}

TEST_F(GraphTest, ResolutionModesOutsideOneToFourAreNeitherUsedNorKept)
{
    // Mode 1 gives VGA on both cameras; native would give the second 800 x 600.
    UseCameras({Camera(L"One", {Yuy2(640, 480), Yuy2(800, 600)}), Camera(L"Two", {Yuy2(640, 480), Yuy2(800, 600)})});
    ASSERT_TRUE(StartPreviewOn(0, 1));
    ASSERT_TRUE(WaitRunning());
    for (int mode : {0, 5, -1, 114, 2147483647}) {
        EXPECT_FALSE(m_engine->StartPreview({nullptr, mode})) << mode;
        EXPECT_EQ(m_engine->GetGraphState(), tamsel::kGraphRunning) << "the preview runs on, " << mode;
    }
    // The camera switch restarts with the last mode that was taken.
    ASSERT_TRUE(m_engine->SwitchDevice(1));
    GUID subtype{};
    int w = 0, h = 0;
    ASSERT_TRUE(GrabberFormat(subtype, w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
}

TEST_F(GraphTest, EveryRestartShowsTheVideoInItsOwner)
{
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 360, 272, nullptr,
                                   nullptr, nullptr, nullptr);
    // Three cameras; the third offers no YUY2, so switching to it falls back.
    UseCameras({Camera(L"One", {Yuy2(640, 480)}), Camera(L"Two", {Yuy2(640, 480)}),
                Camera(L"Jpeg only", {Mjpg(640, 480)})});
    ASSERT_TRUE(StartPreviewOn(0, 1, owner));
    EXPECT_EQ(VideoOwner(), owner);

    // A rescan and a streaming error tear the graph down; the window then
    // starts the preview again with its own settings.
    LRESULT result = 0;
    ASSERT_TRUE(m_engine->OnMessage(tamsel::UM_DEVICE_RESCAN, 0, 0, result));
    EXPECT_EQ(Graph(), nullptr);
    ASSERT_TRUE(m_engine->StartPreview({owner, 1}));
    ASSERT_TRUE(m_engine->OnMessage(tamsel::UM_RESTART_PREVIEW, 0, 0, result));
    EXPECT_EQ(Graph(), nullptr);
    ASSERT_TRUE(m_engine->StartPreview({owner, 1}));

    // The restarts the engine makes itself keep the owner it was given.
    struct Step {
        const char* what;
        int index;
        bool switched;
        int selected;
    };
    const Step steps[] = {
        {"switch", 1, true, 1},
        {"switch that falls back", 2, false, 1},
        {"switch back", 0, true, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(m_engine->SwitchDevice(s.index), s.switched);
        EXPECT_EQ(m_engine->CurrentDevice(), s.selected);
        EXPECT_TRUE(WaitRunning());
        EXPECT_EQ(VideoOwner(), owner) << "a renderer without its owner opens a window of its own";
    }
    m_engine->TearDownGraph();
    ::DestroyWindow(owner);
}

} // namespace
} // namespace captest
