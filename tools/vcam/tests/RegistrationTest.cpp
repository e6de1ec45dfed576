// Device records, their listing in the video input category, and what a
// bound device looks like from outside.
#include "GraphHelpers.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <set>

namespace vcamtest {
namespace {

using vcam::DeviceConfig;
using vcam::Format;
using vcam::Subtype;

class Registration : public ::testing::Test {
protected:
    void SetUp() override { ResetDevices(); }
    void TearDown() override { ResetDevices(); }
};

const Listed* FindListed(const std::vector<Listed>& list, const std::wstring& displayName)
{
    for (const Listed& l : list)
        if (l.displayName == displayName)
            return &l;
    return nullptr;
}

TEST(Config, ParsesCapabilityStrings)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        Format expected;
    };
    const Case cases[] = {
        {L"YUY2 640x480", true, {Subtype::YUY2, 640, 480}},
        {L"mjpg 2592x1944", true, {Subtype::MJPG, 2592, 1944}},
        {L"  YUY2   320x240 ", true, {Subtype::YUY2, 320, 240}},
        {L"YUY2 641x480", false, {}},   // YUY2 packs pixel pairs
        {L"RGB3 640x480", false, {}},   // unknown subtype
        {L"YUY2 640", false, {}},       // no height
        {L"YUY2 0x480", false, {}},     // too small
        {L"YUY2 9000x480", false, {}},  // too large
        {L"YUY2 640x480 x", false, {}}, // trailing text
        // Announcements beyond anything the camera sends.
        {L"YUY2 2592x1944 as 20000x20000", true, {Subtype::YUY2, 2592, 1944, 20000, 20000, 0}},
        {L"YUY2 320x240 as 16385x2", true, {Subtype::YUY2, 320, 240, 16385, 2, 0}},
        {L"YUY2 640x480 as 640x480x64", true, {Subtype::YUY2, 640, 480, 0, 0, 64}},
        {L"MJPG 640x480 as 640x-480", true, {Subtype::MJPG, 640, 480, 640, -480, 0}},
        {L"YUY2 640x480 as 0x480", false, {}},
        {L"YUY2 640x480 as 640x480x0", false, {}},
        {L"YUY2 640x480 as 640x480x70000", false, {}},
        {L"YUY2 640x480 as 640", false, {}},
        {L"YUY2 640x480 is 800x600", false, {}},
        {L"YUY2 640x480 as 800x600 !", false, {}},
    };
    for (const Case& c : cases) {
        Format f;
        EXPECT_EQ(vcam::ParseFormat(c.text, &f), c.ok) << testing::PrintToString(std::wstring(c.text));
        if (c.ok) {
            EXPECT_TRUE(f == c.expected) << testing::PrintToString(std::wstring(c.text));
            // And back: the text a record is written with reads as the same format.
            Format again;
            EXPECT_TRUE(vcam::ParseFormat(vcam::FormatToString(f), &again)) << testing::PrintToString(vcam::FormatToString(f));
            EXPECT_TRUE(again == f) << testing::PrintToString(vcam::FormatToString(f));
        }
    }
}

TEST(Config, RecordsReadBackAsWritten)
{
    DeviceConfig written;
    written.friendlyName = L"Round Trip \u00c5";
    written.formats = {{Subtype::MJPG, 1920, 1080}, {Subtype::YUY2, 2592, 1944}};
    written.frameRate = 12;
    written.stillPin = false;
    written.capturePinName = L"Vid";
    written.stillPinName = L"Pic";
    written.roll = false;
    written.ignoreTrigger = true;
    written.unplugged = true;
    ASSERT_HRESULT_SUCCEEDED(vcam::WriteDevice(77, written));

    DeviceConfig read;
    ASSERT_EQ(vcam::ReadDevice(77, &read), S_OK);
    EXPECT_EQ(read.friendlyName, written.friendlyName);
    ASSERT_EQ(read.formats.size(), 2u);
    EXPECT_TRUE(read.formats[0] == written.formats[0]);
    EXPECT_TRUE(read.formats[1] == written.formats[1]);
    EXPECT_EQ(read.frameRate, 12u);
    EXPECT_FALSE(read.stillPin);
    EXPECT_EQ(read.capturePinName, L"Vid");
    EXPECT_EQ(read.stillPinName, L"Pic");
    EXPECT_FALSE(read.roll);
    EXPECT_TRUE(read.ignoreTrigger);
    EXPECT_TRUE(read.unplugged);

    ASSERT_HRESULT_SUCCEEDED(vcam::DeleteDevice(77));
    EXPECT_EQ(vcam::ReadDevice(77, &read), S_FALSE);
    EXPECT_EQ(read.friendlyName, DeviceConfig().friendlyName);
}

TEST_F(Registration, ListsEveryDeviceUnderItsOwnName)
{
    const std::vector<Listed> listed = ListVideoInputs();
    ASSERT_EQ(listed.size(), StandardDevices().size());
    std::set<std::wstring> names;
    for (const TestDevice& d : StandardDevices()) {
        const Listed* l = FindListed(listed, ExpectedDisplayName(d.number));
        ASSERT_NE(l, nullptr) << d.number;
        EXPECT_EQ(l->friendlyName, d.config.friendlyName);
        // The helper that other tests use names the same moniker.
        EXPECT_EQ(vcam::DisplayName(d.number), l->displayName);
        names.insert(l->displayName);
    }
    EXPECT_EQ(names.size(), listed.size());
}

TEST_F(Registration, ListFollowsTheRecords)
{
    // Removed, renamed, unplugged and plugged in again.
    ASSERT_HRESULT_SUCCEEDED(vcam::DeleteDevice(2));
    DeviceConfig renamed = Device(3).config;
    renamed.friendlyName = L"Renamed Gamma";
    ASSERT_HRESULT_SUCCEEDED(vcam::WriteDevice(3, renamed));
    ASSERT_HRESULT_SUCCEEDED(vcam::RegisterDevices());
    std::vector<Listed> listed = ListVideoInputs();
    EXPECT_EQ(listed.size(), StandardDevices().size() - 1);
    EXPECT_EQ(FindListed(listed, ExpectedDisplayName(2)), nullptr);
    const Listed* gamma = FindListed(listed, ExpectedDisplayName(3));
    ASSERT_NE(gamma, nullptr);
    EXPECT_EQ(gamma->friendlyName, L"Renamed Gamma");

    ASSERT_HRESULT_SUCCEEDED(vcam::SetUnplugged(4, true));
    listed = ListVideoInputs();
    EXPECT_EQ(FindListed(listed, ExpectedDisplayName(4)), nullptr);
    EXPECT_EQ(listed.size(), StandardDevices().size() - 2);

    ASSERT_HRESULT_SUCCEEDED(vcam::SetUnplugged(4, false));
    listed = ListVideoInputs();
    EXPECT_NE(FindListed(listed, ExpectedDisplayName(4)), nullptr);
    EXPECT_EQ(listed.size(), StandardDevices().size() - 1);
}

TEST_F(Registration, UnregisteringRemovesClassAndDevices)
{
    ASSERT_HRESULT_SUCCEEDED(vcam::UnregisterServer(CameraDllPath()));
    EXPECT_TRUE(ListVideoInputs().empty());
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(::CoCreateInstance(vcam::CLSID_TamselVcam, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(&filter)),
              REGDB_E_CLASSNOTREG);

    ASSERT_HRESULT_SUCCEEDED(vcam::RegisterServer(CameraDllPath()));
    EXPECT_EQ(ListVideoInputs().size(), StandardDevices().size());
}

TEST_F(Registration, BoundDeviceHasItsConfiguredPins)
{
    struct Case {
        int device;
        std::vector<std::wstring> pins;
        LONG stillCaps; // IAMVideoControl::GetCaps of the second pin
    };
    const Case cases[] = {
        {1, {L"Capture", L"Still"}, VideoControlFlag_Trigger},
        {2, {L"Preview"}, 0},
        {3, {L"Capture", L"Snapshot"}, VideoControlFlag_Trigger},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        ComPtr<IBaseFilter> filter;
        ASSERT_HRESULT_SUCCEEDED(BindDevice(ExpectedDisplayName(c.device), &filter));
        EXPECT_EQ(PinNames(filter.Get()), c.pins);

        ComPtr<IAMVideoControl> video;
        ASSERT_HRESULT_SUCCEEDED(filter.As(&video));
        for (size_t i = 0; i < c.pins.size(); ++i) {
            ComPtr<IPin> pin = FindPin(filter.Get(), c.pins[i]);
            ASSERT_TRUE(pin);
            PIN_DIRECTION dir;
            ASSERT_HRESULT_SUCCEEDED(pin->QueryDirection(&dir));
            EXPECT_EQ(dir, PINDIR_OUTPUT);

            ComPtr<IKsPropertySet> props;
            ASSERT_HRESULT_SUCCEEDED(pin.As(&props));
            GUID category = GUID_NULL;
            DWORD returned = 0;
            ASSERT_HRESULT_SUCCEEDED(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY,
                                                nullptr, 0, &category, sizeof category,
                                                &returned));
            EXPECT_EQ(returned, sizeof(GUID));
            EXPECT_TRUE(category == (i == 0 ? PIN_CATEGORY_CAPTURE : PIN_CATEGORY_STILL));

            LONG caps = -1;
            ASSERT_HRESULT_SUCCEEDED(video->GetCaps(pin.Get(), &caps));
            EXPECT_EQ(caps, i == 0 ? 0 : c.stillCaps);
        }
    }
}

// A property bag holding just the value that names the device record.
class DeviceBag final : public IPropertyBag {
public:
    explicit DeviceBag(int device) : m_device(device) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
            *ppv = static_cast<IPropertyBag*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; } // lives on the stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        if (wcscmp(name, vcam::kBagDeviceValue) != 0)
            return E_INVALIDARG;
        value->vt = VT_I4;
        value->lVal = m_device;
        return S_OK;
    }
    STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    int m_device;
};

TEST_F(Registration, LoadTakesOnlyPresentDevices)
{
    // A program may bind a moniker it listed before the device went away.
    ASSERT_HRESULT_SUCCEEDED(vcam::SetUnplugged(2, true));
    ASSERT_HRESULT_SUCCEEDED(vcam::DeleteDevice(3));
    struct Case {
        int device;
        bool loads;
        std::vector<std::wstring> pins;
    };
    const Case cases[] = {
        {1, true, {L"Capture", L"Still"}},
        {2, false, {}}, // unplugged
        {3, false, {}}, // no record
        {4, true, {L"Capture", L"Still"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        ComPtr<IPersistPropertyBag> persist;
        ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(vcam::CLSID_TamselVcam, nullptr,
                                                    CLSCTX_INPROC_SERVER,
                                                    IID_PPV_ARGS(&persist)));
        DeviceBag bag(c.device);
        HRESULT hr = persist->Load(&bag, nullptr);
        EXPECT_EQ(SUCCEEDED(hr), c.loads) << std::hex << hr;
        if (c.loads) {
            ComPtr<IBaseFilter> filter;
            ASSERT_HRESULT_SUCCEEDED(persist.As(&filter));
            EXPECT_EQ(PinNames(filter.Get()), c.pins);
        }
    }
}

UINT g_deviceChanges = 0;

LRESULT CALLBACK CountDeviceChanges(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DEVICECHANGE && wp == DBT_DEVNODES_CHANGED)
        ++g_deviceChanges;
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

TEST(Config, DeviceChangeBroadcastReachesTopLevelWindows)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountDeviceChanges;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VcamBroadcastProbe";
    static const ATOM registered = ::RegisterClassW(&wc); // once per process
    ASSERT_NE(registered, 0);
    std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)> wnd(
        ::CreateWindowW(wc.lpszClassName, L"probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                        wc.hInstance, nullptr),
        &::DestroyWindow);
    ASSERT_TRUE(wnd);
    g_deviceChanges = 0;
    vcam::BroadcastDeviceChange();
    EXPECT_EQ(g_deviceChanges, 1u);
}

} // namespace
} // namespace vcamtest
