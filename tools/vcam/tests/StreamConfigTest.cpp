// IAMStreamConfig and IAMCameraControl of a bound device, without streaming.
#include "GraphHelpers.h"

#include <gtest/gtest.h>

namespace vcamtest {
namespace {

using vcam::Format;
using vcam::Subtype;

class StreamConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDevices();
        ASSERT_HRESULT_SUCCEEDED(BindDevice(ExpectedDisplayName(1), &filter));
        ComPtr<IPin> pin = FindPin(filter.Get(), L"Capture");
        ASSERT_TRUE(pin);
        ASSERT_HRESULT_SUCCEEDED(pin.As(&config));
    }

    Format Current()
    {
        AM_MEDIA_TYPE* mt = nullptr;
        Format f;
        if (SUCCEEDED(config->GetFormat(&mt)) && mt) {
            GUID subtype;
            DescribeType(*mt, &subtype, &f.width, &f.height);
            f.subtype = subtype == MEDIASUBTYPE_MJPG ? Subtype::MJPG : Subtype::YUY2;
            vcam::DeleteMediaType(mt);
        }
        return f;
    }

    ComPtr<IBaseFilter> filter;
    ComPtr<IAMStreamConfig> config;
};

GUID GuidOf(Subtype s)
{
    return s == Subtype::MJPG ? MEDIASUBTYPE_MJPG : MEDIASUBTYPE_YUY2;
}

TEST_F(StreamConfig, CapabilitiesAreTheConfiguredFormats)
{
    const std::vector<Format>& formats = Device(1).config.formats;
    int count = 0, size = 0;
    ASSERT_HRESULT_SUCCEEDED(config->GetNumberOfCapabilities(&count, &size));
    ASSERT_EQ(count, static_cast<int>(formats.size()));
    EXPECT_EQ(size, 128);

    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        AM_MEDIA_TYPE* mt = nullptr;
        BYTE capsBytes[128] = {};
        ASSERT_EQ(config->GetStreamCaps(i, &mt, capsBytes), S_OK);
        ASSERT_NE(mt, nullptr);
        vcam::MediaType owned(*mt);
        vcam::DeleteMediaType(mt);
        const auto* caps = reinterpret_cast<const VIDEO_STREAM_CONFIG_CAPS*>(capsBytes);

        EXPECT_TRUE(owned.get().majortype == MEDIATYPE_Video);
        EXPECT_TRUE(owned.get().formattype == FORMAT_VideoInfo);
        ASSERT_GE(owned.get().cbFormat, 88u);
        GUID subtype;
        int w = 0, h = 0;
        ASSERT_TRUE(DescribeType(owned.get(), &subtype, &w, &h));
        EXPECT_TRUE(subtype == GuidOf(formats[i].subtype));
        EXPECT_EQ(w, formats[i].width);
        EXPECT_EQ(h, formats[i].height);
        EXPECT_EQ(owned.vih()->AvgTimePerFrame, kPeriod30);
        if (formats[i].subtype == Subtype::YUY2) {
            EXPECT_EQ(owned.vih()->bmiHeader.biSizeImage, static_cast<DWORD>(w * h * 2));
        }

        EXPECT_TRUE(caps->guid == FORMAT_VideoInfo);
        EXPECT_EQ(caps->MaxOutputSize.cx, formats[i].width);
        EXPECT_EQ(caps->MaxOutputSize.cy, formats[i].height);
        EXPECT_EQ(caps->MinFrameInterval, kPeriod30);
        EXPECT_EQ(caps->MaxFrameInterval, kPeriod30);
    }
    AM_MEDIA_TYPE* beyond = nullptr;
    BYTE capsBytes[128];
    EXPECT_EQ(config->GetStreamCaps(count, &beyond, capsBytes), S_FALSE);
}

TEST_F(StreamConfig, SetFormatTakesOnlyListedFormats)
{
    struct Case {
        const char* what;
        GUID subtype;
        int width, height;
        REFERENCE_TIME interval; // 0: keep the capability's
        bool accepted;
    };
    const Case cases[] = {
        {"listed YUY2", MEDIASUBTYPE_YUY2, 320, 240, 0, true},
        {"listed MJPG", MEDIASUBTYPE_MJPG, 640, 480, 0, true},
        {"first again", MEDIASUBTYPE_YUY2, 640, 480, 0, true},
        {"size not listed", MEDIASUBTYPE_YUY2, 800, 600, 0, false},
        {"size listed for YUY2 only", MEDIASUBTYPE_MJPG, 320, 240, 0, false},
        {"swapped size", MEDIASUBTYPE_YUY2, 480, 640, 0, false},
        {"other frame rate", MEDIASUBTYPE_YUY2, 320, 240, 10000000 / 15, false},
    };
    // The pin starts in its first listed format; a refused format keeps the last one.
    Format previous = Current();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vcam::MediaType mt = CapType(config.Get(), 0);
        ASSERT_FALSE(mt.empty());
        SetVideoSize(&mt, c.subtype, c.width, c.height);
        if (c.interval)
            reinterpret_cast<VIDEOINFOHEADER*>(mt.get().pbFormat)->AvgTimePerFrame = c.interval;
        HRESULT hr = config->SetFormat(&mt.get());
        EXPECT_EQ(SUCCEEDED(hr), c.accepted) << std::hex << hr;

        const Format now = Current();
        if (c.accepted) {
            EXPECT_EQ(now.width, c.width);
            EXPECT_EQ(now.height, c.height);
            EXPECT_TRUE(GuidOf(now.subtype) == c.subtype);
            // From now on the pin offers that format only.
            ComPtr<IPin> pin;
            ASSERT_HRESULT_SUCCEEDED(config.As(&pin));
            ComPtr<IEnumMediaTypes> types;
            ASSERT_HRESULT_SUCCEEDED(pin->EnumMediaTypes(&types));
            AM_MEDIA_TYPE* offered[4] = {};
            ULONG fetched = 0;
            types->Next(4, offered, &fetched);
            ASSERT_EQ(fetched, 1u);
            GUID subtype;
            int w = 0, h = 0;
            EXPECT_TRUE(DescribeType(*offered[0], &subtype, &w, &h));
            EXPECT_EQ(w, c.width);
            EXPECT_EQ(h, c.height);
            vcam::DeleteMediaType(offered[0]);
            previous = now;
        } else {
            EXPECT_TRUE(now == previous);
        }
    }
}

TEST_F(StreamConfig, RollOnlyWhereSupported)
{
    ComPtr<IAMCameraControl> camera;
    ASSERT_HRESULT_SUCCEEDED(filter.As(&camera));
    LONG min = 0, max = 0, step = 0, def = -1, flags = 0;
    ASSERT_HRESULT_SUCCEEDED(camera->GetRange(CameraControl_Roll, &min, &max, &step, &def, &flags));
    EXPECT_EQ(min, -90);
    EXPECT_EQ(max, 180);
    EXPECT_EQ(step, 90);
    EXPECT_EQ(def, 0);
    EXPECT_EQ(flags, CameraControl_Flags_Manual);

    struct Case {
        LONG value;
        bool accepted;
    };
    const Case cases[] = {{90, true}, {180, true}, {-90, true}, {45, false},
                          {270, false}, {-180, false}, {0, true}};
    LONG expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        HRESULT hr = camera->Set(CameraControl_Roll, c.value, CameraControl_Flags_Manual);
        EXPECT_EQ(SUCCEEDED(hr), c.accepted);
        if (c.accepted)
            expected = c.value;
        LONG value = 12345, got = 0;
        ASSERT_HRESULT_SUCCEEDED(camera->Get(CameraControl_Roll, &value, &got));
        EXPECT_EQ(value, expected);
    }
    EXPECT_EQ(camera->Set(CameraControl_Pan, 0, CameraControl_Flags_Manual), E_PROP_ID_UNSUPPORTED);

    // A device without roll.
    ComPtr<IBaseFilter> plain;
    ASSERT_HRESULT_SUCCEEDED(BindDevice(ExpectedDisplayName(2), &plain));
    ComPtr<IAMCameraControl> plainCamera;
    ASSERT_HRESULT_SUCCEEDED(plain.As(&plainCamera));
    LONG value = 0;
    EXPECT_EQ(plainCamera->GetRange(CameraControl_Roll, &min, &max, &step, &def, &flags),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(plainCamera->Set(CameraControl_Roll, 90, CameraControl_Flags_Manual),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(plainCamera->Get(CameraControl_Roll, &value, &flags), E_PROP_ID_UNSUPPORTED);
}

} // namespace
} // namespace vcamtest
