// One frame out of the running graph, as a BMP image or the camera's JPEG.
#include "CaptureFixture.h"

#include <psapi.h>


namespace captest {
namespace {

using Microsoft::WRL::ComPtr;
using StillCaptureTest = CaptureTest;

// The test page's corner marks for a frame of w x h: centres of the marks.
void ExpectUprightPage(const Picture& p, int w, int h)
{
    const int u = w < h ? w : h;
    const int m = u / 32 > 2 ? u / 32 : 2;
    const int s = u / 8 > 6 ? u / 8 : 6;
    const int left = m + s / 2, right = w - m - s / 2, top = m + s / 2, bottom = h - m - s / 2;
    EXPECT_TRUE(IsRed(p.Pixel(left, top))) << std::hex << p.Pixel(left, top);
    EXPECT_TRUE(IsGreen(p.Pixel(right, top))) << std::hex << p.Pixel(right, top);
    EXPECT_TRUE(IsBlue(p.Pixel(left, bottom))) << std::hex << p.Pixel(left, bottom);
    EXPECT_TRUE(IsBlack(p.Pixel(right, bottom))) << std::hex << p.Pixel(right, bottom);
}

TEST_F(StillCaptureTest, BothModesGiveTheFrameUprightAsABmp)
{
    struct Case {
        const char* what;
        std::vector<vcam::Format> formats;
        int mode, width, height;
    };
    const Case cases[] = {
        // Normal mode: the next preview frame.
        {"normal", {Yuy2(640, 480)}, 1, 640, 480},
        // Still-pin mode: the still the trigger asks for, at full size.
        {"still pin", {Yuy2(640, 480), Yuy2(2592, 1944)}, 4, 2592, 1944},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseCameras({Camera(L"Camera", c.formats)});
        ASSERT_TRUE(StartPreviewOn(0, c.mode));
        ASSERT_TRUE(WaitRunning());
        std::vector<uint8_t> image;
        ASSERT_TRUE(m_engine->CaptureStill(image));
        EXPECT_EQ(image.size(), 54u + 3u * c.width * c.height); // 640 x 480: 921,654 bytes
        const Picture p(image);
        ASSERT_TRUE(p.Valid());
        EXPECT_EQ(p.Width(), static_cast<unsigned>(c.width));
        EXPECT_EQ(p.Height(), static_cast<unsigned>(c.height));
        ExpectUprightPage(p, c.width, c.height);
        m_engine->TearDownGraph();
    }
}

// A large frame is copied into memory the slot already has: each capture
// still gets a frame of its own, and nothing of it stays behind.
TEST_F(StillCaptureTest, EachCaptureTakesANewFrameIntoTheMemoryOfTheLast)
{
    UseCameras({Camera(L"Camera", {Yuy2(640, 480), Yuy2(2592, 1944)})});
    ASSERT_TRUE(StartPreviewOn(0, 4));
    ASSERT_TRUE(WaitRunning());
    const tamsel::SGrabSlot& slot = tamsel::GrabSlot();
    std::vector<uint8_t> first, second;
    ASSERT_TRUE(m_engine->CaptureStill(first));
    EXPECT_TRUE(slot.frame.empty()) << "a taken frame does not stay in the slot";
    EXPECT_GE(slot.frame.capacity(), 2592u * 1944u * 2u) << "the frame's memory stays for the next one";
    ASSERT_TRUE(m_engine->CaptureStill(second));
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second) << "the second capture returned the first frame again";
    m_engine->TearDownGraph();
    EXPECT_EQ(slot.frame.capacity(), 0u) << "the memory goes with the graph";
}

TEST_F(StillCaptureTest, StillPinJpegIsReturnedAsTheCameraSentIt)
{
    UseCameras({Camera(L"Jpeg stills", {Yuy2(640, 480), Mjpg(2592, 1944)})});
    ASSERT_TRUE(StartPreviewOn(0, 4));
    ASSERT_TRUE(WaitRunning());
    ComPtr<IBaseFilter> f;
    ComPtr<ISampleGrabber> grabber;
    ASSERT_HRESULT_SUCCEEDED(Graph()->FindFilterByName(L"SampleGrabber", &f));
    ASSERT_HRESULT_SUCCEEDED(f.As(&grabber));
    ForwardingCallback recorder(GrabberCallback());
    grabber->SetCallback(&recorder, 1);
    std::vector<uint8_t> image;
    const bool ok = m_engine->CaptureStill(image);
    grabber->SetCallback(GrabberCallback(), 1);
    ASSERT_TRUE(ok);
    EXPECT_EQ(image, recorder.Taken());
    ASSERT_GE(image.size(), 4u);
    EXPECT_EQ(image[0], 0xFF);
    EXPECT_EQ(image[1], 0xD8);
    const Picture p(image);
    ASSERT_TRUE(p.Valid());
    EXPECT_EQ(p.Width(), 2592u);
}

TEST_F(StillCaptureTest, IgnoredTriggerFailsWithinTheBoundAndCapturesGoOn)
{
    vcam::DeviceConfig deaf = Camera(L"Deaf", {Yuy2(640, 480), Yuy2(2592, 1944)});
    deaf.ignoreTrigger = true;
    UseCameras({deaf});
    ASSERT_TRUE(StartPreviewOn(0, 4));
    ASSERT_TRUE(WaitRunning());
    ASSERT_EQ(GrabberSourcePin(), "Still");
    vcam::DeviceConfig readBack;
    ASSERT_EQ(vcam::ReadDevice(0, &readBack), S_OK);
    ASSERT_TRUE(readBack.ignoreTrigger);
    std::vector<uint8_t> image;
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(m_engine->CaptureStill(image));
    const DWORD waited = ::GetTickCount() - start;
    EXPECT_GE(waited, tamsel::CDShowCapture::kStillWaitMs - 100);
    EXPECT_LT(waited, tamsel::CDShowCapture::kStillWaitMs + 3000);
    EXPECT_TRUE(image.empty());
    EXPECT_FALSE(tamsel::GrabSlot().bArmed.load()) << "a failed request does not stay armed";

    deaf.ignoreTrigger = false;
    ASSERT_EQ(vcam::WriteDevice(0, deaf), S_OK);
    ASSERT_TRUE(m_engine->StartPreview({nullptr, 4}));
    ASSERT_TRUE(WaitRunning());
    EXPECT_TRUE(m_engine->CaptureStill(image));
    EXPECT_EQ(Picture(image).Width(), 2592u);
}

TEST_F(StillCaptureTest, StoppedGraphFailsAtOnce)
{
    UseCameras({Camera(L"Camera", {Yuy2(640, 480)})});
    std::vector<uint8_t> image;
    EXPECT_FALSE(m_engine->CaptureStill(image)) << "no graph";
    ASSERT_TRUE(StartPreviewOn(0, 1));
    ASSERT_TRUE(WaitRunning());
    ASSERT_TRUE(m_engine->StopGraph());
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(m_engine->CaptureStill(image));
    EXPECT_LT(::GetTickCount() - start, 1500u);
    EXPECT_FALSE(tamsel::GrabSlot().bArmed.load());
}

// The most memory this process has had committed at any one time.
SIZE_T PeakCommit()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

TEST_F(StillCaptureTest, AnnouncementsBeyondTheFrameBoundsFailTheCapture)
{
    // The still pin sends 2592 x 1944 YUY2 frames (the first of the largest
    // formats) whatever its header says.
    struct Case {
        const char* what;
        long width, height;
        int bits;
        bool taken;
    };
    const Case cases[] = {
        {"20000 x 20000", 20000, 20000, 0, false},
        {"one side 16385", 16385, 2, 0, false},
        {"64 bits a pixel", 2592, 1944, 64, false},
        {"just within: 16384 x 2", 16384, 2, 0, true},
        {"as sent", 2592, 1944, 16, true},
    };
    const SIZE_T before = PeakCommit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseCameras({Camera(L"Liar", {Yuy2(640, 480), Announced(Yuy2(2592, 1944), c.width, c.height, c.bits),
                                     Yuy2(2592, 1944)})});
        ASSERT_TRUE(StartPreviewOn(0, 4));
        ASSERT_TRUE(WaitRunning());
        ASSERT_EQ(GrabberSourcePin(), "Still");
        std::vector<uint8_t> image;
        EXPECT_EQ(m_engine->CaptureStill(image), c.taken);
        if (c.taken) {
            const Picture p(image);
            EXPECT_TRUE(p.Valid());
            EXPECT_EQ(p.Width(), static_cast<unsigned>(c.width));
            EXPECT_EQ(p.Height(), static_cast<unsigned>(c.height));
        } else {
            EXPECT_TRUE(image.empty());
        }
        EXPECT_FALSE(tamsel::GrabSlot().bArmed.load());
        m_engine->TearDownGraph();
    }
    // A 20000 x 20000 image alone would take 1.2 GB; the frames themselves
    // and their 16384 x 2 reading take some tens of megabytes.
    const SIZE_T grown = PeakCommit() - before;
    std::printf("peak commit grew by %lu KB\n", static_cast<unsigned long>(grown / 1024));
    EXPECT_LT(grown, SIZE_T{256} << 20);
}

} // namespace
} // namespace captest
