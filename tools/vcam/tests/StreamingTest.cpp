// The camera in running graphs: formats and pixels that reach a Sample
// Grabber, the still trigger, pause and resume, and device loss.
#include "GraphHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// gdiplus.h uses min and max unqualified.
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

namespace vcamtest {
namespace {

using vcam::Subtype;

class Streaming : public ::testing::Test {
protected:
    void SetUp() override { ResetDevices(); }
    void TearDown() override { ResetDevices(); }
};

// Picks a listed format on a pin before it is connected.
void ChooseFormat(IBaseFilter* camera, const std::wstring& pin, const GUID& subtype, int w, int h)
{
    ComPtr<IPin> p = FindPin(camera, pin);
    ASSERT_TRUE(p);
    ComPtr<IAMStreamConfig> config;
    ASSERT_HRESULT_SUCCEEDED(p.As(&config));
    vcam::MediaType mt = CapType(config.Get(), 0);
    ASSERT_FALSE(mt.empty());
    SetVideoSize(&mt, subtype, w, h);
    ASSERT_HRESULT_SUCCEEDED(config->SetFormat(&mt.get()));
}

// A decoded JPEG, read through GDI+.
class DecodedJpeg {
public:
    explicit DecodedJpeg(const std::vector<BYTE>& bytes)
    {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok)
            return;
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (!memory)
            return;
        memcpy(::GlobalLock(memory), bytes.data(), bytes.size());
        ::GlobalUnlock(memory);
        ComPtr<IStream> stream;
        if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
            ::GlobalFree(memory);
            return;
        }
        Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.Get(), &m_bitmap);
    }
    ~DecodedJpeg()
    {
        if (m_bitmap)
            Gdiplus::DllExports::GdipDisposeImage(m_bitmap);
        if (m_token)
            Gdiplus::GdiplusShutdown(m_token);
    }
    bool ok() const { return m_bitmap != nullptr; }
    int width() const
    {
        UINT w = 0;
        Gdiplus::DllExports::GdipGetImageWidth(m_bitmap, &w);
        return static_cast<int>(w);
    }
    int height() const
    {
        UINT h = 0;
        Gdiplus::DllExports::GdipGetImageHeight(m_bitmap, &h);
        return static_cast<int>(h);
    }
    Colour At(POINT p) const
    {
        Gdiplus::ARGB argb = 0;
        Gdiplus::DllExports::GdipBitmapGetPixel(m_bitmap, p.x, p.y, &argb);
        return Classify((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
    }

private:
    ULONG_PTR m_token = 0;
    Gdiplus::GpBitmap* m_bitmap = nullptr;
};

Colour Yuy2At(const std::vector<BYTE>& frame, int width, POINT p)
{
    int r, g, b;
    Yuy2Pixel(frame, width, p.x, p.y, &r, &g, &b);
    return Classify(r, g, b);
}

TEST_F(Streaming, DeliversFramesInTheChosenFormat)
{
    struct Case {
        int device;
        const wchar_t* pin;
        GUID subtype;
        int width, height;
        bool choose; // SetFormat first; otherwise the pin's first format
    };
    const Case cases[] = {
        {1, L"Capture", MEDIASUBTYPE_YUY2, 640, 480, false},
        {1, L"Capture", MEDIASUBTYPE_YUY2, 320, 240, true},
        {1, L"Capture", MEDIASUBTYPE_MJPG, 640, 480, true},
        {2, L"Preview", MEDIASUBTYPE_YUY2, 160, 120, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.device << " " << c.width << "x" << c.height
                                        << (c.subtype == MEDIASUBTYPE_MJPG ? " MJPG" : " YUY2"));
        CaptureGraph g;
        ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(c.device)));
        if (c.choose)
            ChooseFormat(g.camera.Get(), c.pin, c.subtype, c.width, c.height);
        Branch* branch = nullptr;
        // The grabber takes any video, so the format is the camera's choice.
        ASSERT_HRESULT_SUCCEEDED(g.AddBranch(c.pin, GUID_NULL, &branch));
        ASSERT_HRESULT_SUCCEEDED(g.Run());
        ASSERT_TRUE(g.WaitState(State_Running));
        ASSERT_TRUE(branch->catcher->WaitFor(6));

        AM_MEDIA_TYPE connected = {};
        ASSERT_HRESULT_SUCCEEDED(branch->grabber->GetConnectedMediaType(&connected));
        GUID subtype;
        int w = 0, h = 0;
        EXPECT_TRUE(DescribeType(connected, &subtype, &w, &h));
        vcam::FreeMediaTypeFields(connected);
        EXPECT_TRUE(subtype == c.subtype);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);

        const std::vector<BYTE> frame = branch->catcher->last();
        const Corners at = MarkCentres(c.width, c.height);
        if (c.subtype == MEDIASUBTYPE_YUY2) {
            EXPECT_EQ(frame.size(), static_cast<size_t>(c.width * c.height * 2));
        } else {
            ASSERT_GT(frame.size(), 4u);
            EXPECT_EQ(frame[0], 0xFF);
            EXPECT_EQ(frame[1], 0xD8);
            EXPECT_EQ(frame[frame.size() - 2], 0xFF);
            EXPECT_EQ(frame[frame.size() - 1], 0xD9);
            DecodedJpeg jpeg(frame);
            ASSERT_TRUE(jpeg.ok());
            EXPECT_EQ(jpeg.width(), c.width);
            EXPECT_EQ(jpeg.height(), c.height);
            EXPECT_STREQ(ColourName(jpeg.At(at.topLeft)), "red");
            EXPECT_STREQ(ColourName(jpeg.At(at.topRight)), "green");
            EXPECT_STREQ(ColourName(jpeg.At(at.bottomLeft)), "blue");
            EXPECT_STREQ(ColourName(jpeg.At(at.bottomRight)), "black");
        }

        // Sample times lie on the frame grid: later frames are whole periods later.
        const std::vector<REFERENCE_TIME> starts = branch->catcher->startTimes();
        ASSERT_GE(starts.size(), 6u);
        for (size_t i = 1; i < starts.size(); ++i) {
            const REFERENCE_TIME step = starts[i] - starts[i - 1];
            EXPECT_GT(step, 0) << i;
            EXPECT_EQ(step % kPeriod30, 0) << i;
        }
        g.control->Stop();
    }
}

TEST_F(Streaming, CornerMarksFollowTheRoll)
{
    struct Case {
        LONG roll;
        Colour topLeft, topRight, bottomLeft, bottomRight;
    };
    // Roll turns the page clockwise.
    const Case cases[] = {
        {0, Colour::Red, Colour::Green, Colour::Blue, Colour::Black},
        {90, Colour::Blue, Colour::Red, Colour::Black, Colour::Green},
        {180, Colour::Black, Colour::Blue, Colour::Green, Colour::Red},
        {-90, Colour::Green, Colour::Black, Colour::Red, Colour::Blue},
    };
    const int w = 320, h = 240;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.roll);
        CaptureGraph g;
        ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(1)));
        ChooseFormat(g.camera.Get(), L"Capture", MEDIASUBTYPE_YUY2, w, h);
        ComPtr<IAMCameraControl> camera;
        ASSERT_HRESULT_SUCCEEDED(g.camera.As(&camera));
        ASSERT_HRESULT_SUCCEEDED(camera->Set(CameraControl_Roll, c.roll, CameraControl_Flags_Manual));
        Branch* branch = nullptr;
        ASSERT_HRESULT_SUCCEEDED(g.AddBranch(L"Capture", MEDIASUBTYPE_YUY2, &branch));
        ASSERT_HRESULT_SUCCEEDED(g.Run());
        ASSERT_TRUE(branch->catcher->WaitFor(2));
        const std::vector<BYTE> first = branch->catcher->last();
        ASSERT_TRUE(branch->catcher->WaitFor(branch->catcher->count() + 1));
        const std::vector<BYTE> frame = branch->catcher->last();
        ASSERT_EQ(frame.size(), static_cast<size_t>(w * h * 2));

        const Corners at = MarkCentres(w, h);
        EXPECT_STREQ(ColourName(Yuy2At(frame, w, at.topLeft)), ColourName(c.topLeft));
        EXPECT_STREQ(ColourName(Yuy2At(frame, w, at.topRight)), ColourName(c.topRight));
        EXPECT_STREQ(ColourName(Yuy2At(frame, w, at.bottomLeft)), ColourName(c.bottomLeft));
        EXPECT_STREQ(ColourName(Yuy2At(frame, w, at.bottomRight)), ColourName(c.bottomRight));
        // Between the marks the page is white paper.
        EXPECT_STREQ(ColourName(Yuy2At(frame, w, {w / 2, std::max(2, std::min(w, h) / 32) / 2})),
                     "white");
        // The frame counter moves.
        EXPECT_NE(first, frame);
        g.control->Stop();
    }
}

TEST_F(Streaming, StillPinAnswersEachTriggerOnce)
{
    struct Case {
        int device;
        const wchar_t* stillPin;
        int triggers;
        size_t expected;
    };
    const Case cases[] = {
        {1, L"Still", 3, 3},
        {3, L"Snapshot", 2, 0}, // configured to ignore the trigger
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        CaptureGraph g;
        ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(c.device)));
        Branch* preview = nullptr;
        Branch* still = nullptr;
        ASSERT_HRESULT_SUCCEEDED(g.AddBranch(L"Capture", MEDIASUBTYPE_YUY2, &preview));
        ASSERT_HRESULT_SUCCEEDED(g.AddBranch(c.stillPin, GUID_NULL, &still));
        ASSERT_HRESULT_SUCCEEDED(g.Run());
        ASSERT_TRUE(preview->catcher->WaitFor(3));
        EXPECT_EQ(still->catcher->count(), 0u);

        ComPtr<IAMVideoControl> video;
        ASSERT_HRESULT_SUCCEEDED(g.camera.As(&video));
        ComPtr<IPin> pin = FindPin(g.camera.Get(), c.stillPin);
        for (int i = 1; i <= c.triggers; ++i) {
            ASSERT_HRESULT_SUCCEEDED(video->SetMode(pin.Get(), VideoControlFlag_Trigger));
            if (c.expected) {
                ASSERT_TRUE(still->catcher->WaitFor(i));
            }
        }
        // Let the preview run on for a while; no further still frame may come.
        ASSERT_TRUE(preview->catcher->WaitFor(preview->catcher->count() + 10));
        EXPECT_EQ(still->catcher->count(), c.expected);

        if (c.expected) {
            // The still pin gives the largest listed size.
            AM_MEDIA_TYPE connected = {};
            ASSERT_HRESULT_SUCCEEDED(still->grabber->GetConnectedMediaType(&connected));
            GUID subtype;
            int w = 0, h = 0;
            EXPECT_TRUE(DescribeType(connected, &subtype, &w, &h));
            vcam::FreeMediaTypeFields(connected);
            EXPECT_EQ(w, 640);
            EXPECT_EQ(h, 480);
            EXPECT_EQ(still->catcher->last().size(), static_cast<size_t>(w * h * 2));
        }
        g.control->Stop();
    }
}

TEST_F(Streaming, PauseStopsDeliveryAndRunResumesIt)
{
    CaptureGraph g;
    ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(2)));
    Branch* branch = nullptr;
    ASSERT_HRESULT_SUCCEEDED(g.AddBranch(L"Preview", MEDIASUBTYPE_YUY2, &branch));
    ASSERT_HRESULT_SUCCEEDED(g.Run());
    ASSERT_TRUE(branch->catcher->WaitFor(3));

    ASSERT_HRESULT_SUCCEEDED(g.control->Pause());
    OAFilterState state = -1;
    // A live source cannot cue while paused.
    EXPECT_EQ(g.control->GetState(kWaitMs, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);

    ASSERT_HRESULT_SUCCEEDED(g.Run());
    ASSERT_TRUE(g.WaitState(State_Running));
    ASSERT_TRUE(branch->catcher->WaitFor(branch->catcher->count() + 3));
    ASSERT_HRESULT_SUCCEEDED(g.control->Stop());
    EXPECT_TRUE(g.WaitState(State_Stopped));

    // And it starts again from stopped.
    const size_t before = branch->catcher->count();
    ASSERT_HRESULT_SUCCEEDED(g.Run());
    EXPECT_TRUE(branch->catcher->WaitFor(before + 3));
}

TEST_F(Streaming, RunDelayHoldsTheCallerOfRunAndIsReadAtEachRun)
{
    // The fault a test injects to hold a program's thread inside a graph
    // start, as a slow driver does. A lower bound only: the call cannot
    // return before the camera's Sleep has run out.
    CaptureGraph g;
    ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(2)));
    Branch* branch = nullptr;
    ASSERT_HRESULT_SUCCEEDED(g.AddBranch(L"Preview", MEDIASUBTYPE_YUY2, &branch));
    ASSERT_HRESULT_SUCCEEDED(vcam::SetRunDelay(2, 1500));
    DWORD start = ::GetTickCount();
    ASSERT_HRESULT_SUCCEEDED(g.Run());
    const DWORD held = ::GetTickCount() - start;
    EXPECT_GE(held, 1450u) << "Run returned before the delay was over";
    ASSERT_TRUE(branch->catcher->WaitFor(3)) << "the camera streams after the delay";

    // Read again at the next Run: cleared, it holds nothing.
    ASSERT_HRESULT_SUCCEEDED(g.control->Stop());
    ASSERT_TRUE(g.WaitState(State_Stopped));
    ASSERT_HRESULT_SUCCEEDED(vcam::SetRunDelay(2, 0));
    ASSERT_HRESULT_SUCCEEDED(g.Run());
    const size_t before = branch->catcher->count();
    EXPECT_TRUE(branch->catcher->WaitFor(before + 3));
    EXPECT_EQ(vcam::SetRunDelay(9998, 10), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << "no such record";
}

TEST_F(Streaming, AnnouncedHeaderDescribesFramesItDoesNotSend)
{
    struct Case {
        const wchar_t* pin;
        vcam::Format format;
    };
    const Case cases[] = {
        {L"Capture", {Subtype::YUY2, 320, 240, 20000, 20000, 0}},
        {L"Capture", {Subtype::YUY2, 320, 240, 0, 0, 64}},
        // The still pin starts in its largest format by the frames it sends.
        {L"Still", {Subtype::YUY2, 640, 480, 16385, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(vcam::FormatToString(c.format)));
        vcam::DeviceConfig liar;
        liar.friendlyName = L"Vcam Test Liar";
        liar.formats = {c.format, {Subtype::YUY2, 160, 120}};
        ASSERT_HRESULT_SUCCEEDED(vcam::WriteDevice(7, liar));
        ASSERT_HRESULT_SUCCEEDED(vcam::RegisterDevices());

        CaptureGraph g;
        ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(7)));
        ComPtr<IAMStreamConfig> config;
        ASSERT_HRESULT_SUCCEEDED(FindPin(g.camera.Get(), c.pin).As(&config));
        // The capability and a format set from it announce the header's size...
        vcam::MediaType cap = CapType(config.Get(), 0);
        ASSERT_FALSE(cap.empty());
        ASSERT_NE(cap.vih(), nullptr);
        EXPECT_EQ(cap.vih()->bmiHeader.biWidth, c.format.HeaderWidth());
        EXPECT_EQ(cap.vih()->bmiHeader.biHeight, c.format.HeaderHeight());
        EXPECT_EQ(cap.vih()->bmiHeader.biBitCount, c.format.HeaderBits());
        EXPECT_EQ(cap.get().lSampleSize, static_cast<ULONG>(c.format.width * c.format.height * 2));
        if (std::wstring(c.pin) == L"Capture") {
            EXPECT_HRESULT_SUCCEEDED(config->SetFormat(&cap.get()));
        }

        Branch* branch = nullptr;
        ASSERT_HRESULT_SUCCEEDED(g.AddBranch(c.pin, MEDIASUBTYPE_YUY2, &branch));
        AM_MEDIA_TYPE connected = {};
        ASSERT_HRESULT_SUCCEEDED(branch->grabber->GetConnectedMediaType(&connected));
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat);
        EXPECT_EQ(vih->bmiHeader.biWidth, c.format.HeaderWidth());
        EXPECT_EQ(vih->bmiHeader.biHeight, c.format.HeaderHeight());
        vcam::FreeMediaTypeFields(connected);

        // ...while the frames are those of the size really sent.
        ASSERT_HRESULT_SUCCEEDED(g.Run());
        ASSERT_TRUE(g.WaitState(State_Running));
        if (std::wstring(c.pin) == L"Still") {
            ComPtr<IAMVideoControl> control;
            ASSERT_HRESULT_SUCCEEDED(g.camera.As(&control));
            ASSERT_HRESULT_SUCCEEDED(control->SetMode(FindPin(g.camera.Get(), c.pin).Get(), VideoControlFlag_Trigger));
        }
        ASSERT_TRUE(branch->catcher->WaitFor(1));
        const std::vector<BYTE> frame = branch->catcher->last();
        ASSERT_EQ(frame.size(), static_cast<size_t>(c.format.width * c.format.height * 2));
        const Corners at = MarkCentres(c.format.width, c.format.height);
        EXPECT_STREQ(ColourName(Yuy2At(frame, c.format.width, at.topLeft)), "red");
        EXPECT_STREQ(ColourName(Yuy2At(frame, c.format.width, at.bottomRight)), "black");
        g.control->Stop();
    }
}

TEST_F(Streaming, UnpluggedDeviceReportsDeviceLost)
{
    enum class How { Switch, RecordDeleted };
    for (How how : {How::Switch, How::RecordDeleted}) {
        SCOPED_TRACE(how == How::Switch ? "unplugged switch" : "record deleted");
        ResetDevices();
        CaptureGraph g;
        ASSERT_HRESULT_SUCCEEDED(g.Create(ExpectedDisplayName(4)));
        Branch* branch = nullptr;
        ASSERT_HRESULT_SUCCEEDED(g.AddBranch(L"Capture", MEDIASUBTYPE_YUY2, &branch));
        ASSERT_HRESULT_SUCCEEDED(g.Run());
        ASSERT_TRUE(branch->catcher->WaitFor(3));

        if (how == How::Switch) {
            ASSERT_HRESULT_SUCCEEDED(vcam::SetUnplugged(4, true));
        } else {
            ASSERT_HRESULT_SUCCEEDED(vcam::DeleteDevice(4));
            ASSERT_HRESULT_SUCCEEDED(vcam::RegisterDevices());
        }
        LONG_PTR p1 = 0, p2 = -1;
        ASSERT_TRUE(g.WaitEvent(EC_DEVICE_LOST, &p1, &p2));
        ComPtr<IUnknown> cameraUnknown;
        ASSERT_HRESULT_SUCCEEDED(g.camera.As(&cameraUnknown));
        EXPECT_EQ(reinterpret_cast<IUnknown*>(p1), cameraUnknown.Get());
        EXPECT_EQ(p2, 0); // removed, not back

        // The device is gone from the list, and its frames have stopped.
        for (const Listed& l : ListVideoInputs()) {
            EXPECT_NE(l.displayName, ExpectedDisplayName(4));
        }
        const size_t atLoss = branch->catcher->count();
        ::Sleep(400);
        EXPECT_EQ(branch->catcher->count(), atLoss);
        EXPECT_HRESULT_SUCCEEDED(g.control->Stop());
    }
}

} // namespace
} // namespace vcamtest
