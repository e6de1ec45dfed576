// Listing the cameras of the video input category and binding one of them.
#include "CaptureFixture.h"

namespace captest {
namespace {

using DeviceListTest = CaptureTest;

TEST_F(DeviceListTest, CamerasAreListedWithTheirNames)
{
    UseCameras({Camera(L"Desk Camera", {Yuy2(640, 480)}), Camera(L"Book Scanner", {Yuy2(640, 480)})});
    ASSERT_EQ(m_engine->BuildDeviceList(), 2);
    const std::vector<tamsel::SCamDevInfo> list = m_engine->Devices();
    EXPECT_EQ(list[0].szFriendlyName, "Desk Camera");
    EXPECT_EQ(list[1].szFriendlyName, "Book Scanner");
    EXPECT_EQ(list[0].szDisplayName, Narrow(vcam::DisplayName(0)));
    EXPECT_EQ(list[1].szDisplayName, Narrow(vcam::DisplayName(1)));
    EXPECT_NE(list[0].szDisplayName, list[1].szDisplayName);
    EXPECT_FALSE(list[0].bUseStillPin);
    int counted = -1;
    EXPECT_EQ(tamsel::CDShowCapture::EnumVideoDevices(nullptr, nullptr, &counted), S_OK);
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(tamsel::CDShowCapture::EnumVideoDevices(nullptr, nullptr, nullptr), E_FAIL);
}

TEST_F(DeviceListTest, AnEmptyCategoryGivesNoDevices)
{
    UseCameras({});
    EXPECT_EQ(m_engine->BuildDeviceList(), 0);
    EXPECT_TRUE(m_engine->Devices().empty());
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
    EXPECT_EQ(tamsel::CDShowCapture::BindDeviceFilter("", filter), E_FAIL);
    EXPECT_FALSE(filter);
}

TEST_F(DeviceListTest, BindingFindsPresentCamerasByDisplayName)
{
    UseCameras({Camera(L"First", {Yuy2(640, 480)}), Camera(L"Second", {Yuy2(640, 480)})});
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
    EXPECT_EQ(tamsel::CDShowCapture::BindDeviceFilter("", filter), S_OK) << "empty key: first camera";
    EXPECT_TRUE(filter);
    EXPECT_EQ(tamsel::CDShowCapture::BindDeviceFilter(Narrow(vcam::DisplayName(1)), filter), S_OK);
    EXPECT_TRUE(filter);
    ASSERT_EQ(vcam::SetUnplugged(1, true), S_OK);
    EXPECT_EQ(tamsel::CDShowCapture::BindDeviceFilter(Narrow(vcam::DisplayName(1)), filter), E_FAIL);
    EXPECT_FALSE(filter);
}

TEST_F(DeviceListTest, OnlyListedDevicesCanBeSelected)
{
    UseCameras({Camera(L"First", {Yuy2(640, 480)}), Camera(L"Second", {Yuy2(640, 480)})});
    EXPECT_EQ(m_engine->CurrentDevice(), -1) << "nothing is selected before anyone selects";
    EXPECT_FALSE(m_engine->SelectDevice(0)) << "no list yet";
    ASSERT_EQ(m_engine->BuildDeviceList(), 2);
    EXPECT_EQ(m_engine->CurrentDevice(), -1) << "building the list selects nothing";
    for (int index : {-1, 2, 1000, -2147483647 - 1}) {
        EXPECT_FALSE(m_engine->SelectDevice(index)) << index;
        EXPECT_EQ(m_engine->CurrentDevice(), -1) << index;
    }
    EXPECT_TRUE(m_engine->SelectDevice(1));
    EXPECT_EQ(m_engine->CurrentDevice(), 1);
    EXPECT_FALSE(m_engine->SelectDevice(2));
    EXPECT_EQ(m_engine->CurrentDevice(), 1);
}

TEST_F(DeviceListTest, FriendlyNamesKeepAtMost49Bytes)
{
    const std::wstring exact(49, L'x'), longer(60, L'y');
    UseCameras({Camera(exact.c_str(), {Yuy2(640, 480)}), Camera(longer.c_str(), {Yuy2(640, 480)})});
    ASSERT_EQ(m_engine->BuildDeviceList(), 2);
    EXPECT_EQ(m_engine->Devices()[0].szFriendlyName, std::string(49, 'x'));
    EXPECT_EQ(m_engine->Devices()[1].szFriendlyName, std::string(49, 'y'));
}

} // namespace
} // namespace captest
