// The program with virtual cameras: live preview in the viewer, the test
// capture, camera and resolution changes, rotation, cameras coming and going.
#include "Fixture.h"

namespace e2e {
namespace {

using tdrv::IsBlack;
using tdrv::IsBlue;
using tdrv::IsGreen;
using tdrv::IsRed;

vcam::DeviceConfig Camera(const wchar_t* name, std::vector<vcam::Format> formats)
{
    vcam::DeviceConfig c;
    c.friendlyName = name;
    c.formats = std::move(formats);
    return c;
}

vcam::Format Yuy2(int w, int h) { return {vcam::Subtype::YUY2, w, h}; }

class CameraTest : public TamselTest {
protected:
    // Closes the window (which saves) and reads a saved value.
    std::string SavedAfterClose(const std::wstring& file, const std::string& key)
    {
        // An earlier save's value must not pass for this one.
        ::DeleteFileW(file.c_str());
        Post(WM_CLOSE);
        EXPECT_TRUE(WaitVisible(false));
        // Each profile write rewrites the file: keep the value that was read
        // whole rather than read again in the middle of the next write.
        std::string value;
        tdrv::WaitUntil([&] { value = IniValue(file, key); return !value.empty(); }, 3000);
        return value;
    }
};

// Where the corner marks of the camera's page are in a w x h frame.
struct Marks {
    int left, right, top, bottom;
    Marks(int w, int h)
    {
        const int u = w < h ? w : h;
        const int m = u / 32 > 2 ? u / 32 : 2;
        const int s = u / 8 > 6 ? u / 8 : 6;
        left = m + s / 2;
        right = w - m - s / 2;
        top = m + s / 2;
        bottom = h - m - s / 2;
    }
};

TEST_F(CameraTest, VisibleStartRunsThePreviewInTheViewer)
{
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480)}));
    Start();
    ASSERT_TRUE(WaitVisible(true));
    ExpectNoBox(1500);
    HWND viewer = Viewer();
    ASSERT_NE(viewer, nullptr);
    RECT client;
    ::GetClientRect(viewer, &client);
    EXPECT_EQ(client.right, 360);
    EXPECT_EQ(client.bottom, 272);

    // The renderer's video window is a child of the viewer over all of it.
    HWND video = nullptr;
    ASSERT_TRUE(tdrv::WaitUntil(
        [&] { return (video = ::FindWindowExW(viewer, nullptr, nullptr, nullptr)) != nullptr &&
                     ::IsWindowVisible(video); },
        5000));
    RECT vr, cr;
    ::GetWindowRect(video, &vr);
    ::GetClientRect(viewer, &cr);
    ::MapWindowPoints(viewer, nullptr, reinterpret_cast<POINT*>(&cr), 2);
    EXPECT_EQ(vr.left, cr.left);
    EXPECT_EQ(vr.top, cr.top);
    EXPECT_EQ(vr.right, cr.right);
    EXPECT_EQ(vr.bottom, cr.bottom);

    // Frames flow: the test capture takes one out of the running graph.
    const auto bytes = TestCapture();
    const tdrv::Picture picture(bytes);
    ASSERT_TRUE(picture.Valid());
    EXPECT_EQ(bytes.size(), 921654u) << "a 640 x 480 BMP image";
    EXPECT_EQ(picture.Width(), 640u);
    const Marks m(640, 480);
    EXPECT_TRUE(IsRed(picture.Pixel(m.left, m.top)));
    EXPECT_TRUE(IsBlack(picture.Pixel(m.right, m.bottom)));

    // CurDevIndex is the last key a save writes to reserve.ini.
    EXPECT_EQ(SavedAfterClose(ReserveIni(), "CurDevIndex"), "0");
    EXPECT_EQ(IniValue(ReserveIni(), "TotalDevNum"), "1");
}

TEST_F(CameraTest, EachWindowsGenerationPreviewsWithItsRenderer)
{
    // XP and Server 2003 take the VMR-7, later versions the VMR-9.
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480)}));
    for (const wchar_t* version : {L"winxp64", L"win7"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(version)));
        SetWindowsVersion(version);
        Start();
        ASSERT_TRUE(WaitVisible(true));
        EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 640u);
        ExpectNoBox(300);
        EXPECT_TRUE(QuitProgram());
    }
}

TEST_F(CameraTest, CameraWithoutYuy2CannotPreview)
{
    AddCamera(0, Camera(L"Jpeg only", {{vcam::Subtype::MJPG, 640, 480}}));
    Start();
    ExpectBox(L"Tamsel", L"Start preview error");
    EXPECT_TRUE(Visible()) << "the window stays open without a picture";
}

// A control's rectangle in the main window's client coordinates.
RECT ChildRect(HWND parent, HWND child)
{
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(CameraTest, PreviewSizeChangeLaysTheWindowOutAgain)
{
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480)}));
    StartOpen();
    HWND main = Main();
    RECT w;
    ::GetWindowRect(main, &w);
    EXPECT_EQ(w.right - w.left, 600);
    EXPECT_EQ(w.bottom - w.top, 600);
    RECT v = ChildRect(main, Viewer());
    EXPECT_EQ(v.left, 65);
    EXPECT_EQ(v.top, 124);
    EXPECT_EQ(v.right - v.left, 360);
    RECT close = ChildRect(main, ::GetDlgItem(main, 1000));
    EXPECT_EQ(close.left, 485);
    EXPECT_EQ(close.top, 119);
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(main, 1001))) << "the test button stays hidden";

    Post(UM_SET_PREVIEW_SIZE, 1); // the large window
    ASSERT_TRUE(tdrv::WaitUntil([&] { ::GetWindowRect(main, &w); return w.right - w.left == 800; }, 3000));
    EXPECT_TRUE(WaitVisible(true));
    v = ChildRect(main, Viewer());
    EXPECT_EQ(v.left, 87);
    EXPECT_EQ(v.top, 166);
    EXPECT_EQ(v.right - v.left, 480);
    EXPECT_EQ(v.bottom - v.top, 360);
    // The video follows the viewer's new size.
    HWND video = ::FindWindowExW(Viewer(), nullptr, nullptr, nullptr);
    ASSERT_NE(video, nullptr);
    RECT vr{};
    tdrv::WaitUntil([&] { ::GetClientRect(video, &vr); return vr.right == 480; }, 3000);
    EXPECT_EQ(vr.right, 480);
    EXPECT_EQ(vr.bottom, 360);
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 640u) << "the preview runs on";
    EXPECT_EQ(SavedAfterClose(SetupIni(), "PreviewSize"), "2");
}

TEST_F(CameraTest, SmallScreenRefusesTheLargeWindow)
{
    if (::GetSystemMetrics(SM_CYSCREEN) >= 768)
        GTEST_SKIP() << "needs a screen less than 768 pixels high";
    WriteIni(SetupIni(), L"App_Setting", L"PreviewSize", L"2");
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480)}));
    StartOpen();
    RECT w;
    ::GetWindowRect(Main(), &w);
    EXPECT_EQ(w.right - w.left, 600) << "the stored large size does not fit";
    Post(UM_SET_PREVIEW_SIZE, 1);
    ::Sleep(500);
    ::GetWindowRect(Main(), &w);
    EXPECT_EQ(w.right - w.left, 600);
    EXPECT_EQ(SavedAfterClose(SetupIni(), "PreviewSize"), "1");
}

TEST_F(CameraTest, CameraSwitchGoesToAPresentCameraOnly)
{
    AddCamera(0, Camera(L"Small", {Yuy2(640, 480)}));
    AddCamera(1, Camera(L"Large", {Yuy2(800, 600)}));
    StartOpen();
    Post(UM_SELECT_CAMERA, 1);
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 800u);

    ASSERT_EQ(vcam::SetUnplugged(0, true), S_OK);
    Post(UM_SELECT_CAMERA, 0);
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 800u) << "the old camera runs on";
    ExpectNoBox(300);
    EXPECT_EQ(SavedAfterClose(SetupIni(), "CurDevIndex"), "1");
}

TEST_F(CameraTest, RefusedResolutionFallsBackToTheOldOne)
{
    AddCamera(0, Camera(L"Two sizes", {Yuy2(640, 480), Yuy2(800, 600)}));
    StartOpen();
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 800u) << "native: the largest size";
    Post(UM_SET_RESOLUTION, 1);
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 640u);
    Post(UM_SET_RESOLUTION, 3); // 1024 x 768: refused by this camera
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 640u);
    ExpectNoBox(300);
    EXPECT_EQ(SavedAfterClose(SetupIni(), "Resolution"), "1");
}

TEST_F(CameraTest, RotationTurnsThePictureOnTheCamera)
{
    AddCamera(0, Camera(L"Roller", {Yuy2(640, 480)}));
    StartOpen();
    Post(UM_ROTATE, 2); // 90 degrees clockwise
    ASSERT_TRUE(WaitVisible(true));
    // The camera turns its page from the next frame it renders on.
    const Marks m(640, 480);
    std::vector<uint8_t> bytes;
    tdrv::WaitUntil(
        [&] {
            bytes = TestCapture();
            return IsRed(tdrv::Picture(bytes).Pixel(m.right, m.top));
        },
        5000);
    const tdrv::Picture p(bytes);
    ASSERT_TRUE(p.Valid());
    // Clockwise: the red top-left mark is now top right, the blue one top left.
    EXPECT_TRUE(IsRed(p.Pixel(m.right, m.top))) << std::hex << p.Pixel(m.right, m.top);
    EXPECT_TRUE(IsBlue(p.Pixel(m.left, m.top))) << std::hex << p.Pixel(m.left, m.top);
    EXPECT_TRUE(IsGreen(p.Pixel(m.right, m.bottom)));
}

TEST_F(CameraTest, ArrivalAndRemovalOfAnotherCameraKeepTheSelection)
{
    AddCamera(5, Camera(L"Selected", {Yuy2(640, 480)}));
    StartOpen();
    AddCamera(2, Camera(L"Newcomer", {Yuy2(800, 600)}));
    vcam::BroadcastDeviceChange();
    // The list grows; the preview restarts on the same camera.
    ASSERT_TRUE(tdrv::WaitUntil([&] { return tdrv::Picture(TestCapture()).Width() == 640u; }, 8000));
    ASSERT_EQ(vcam::SetUnplugged(2, true), S_OK);
    vcam::BroadcastDeviceChange();
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 640u);
    ExpectNoBox(300);
    // CurDevIndex is the last key a save writes to reserve.ini.
    EXPECT_EQ(SavedAfterClose(ReserveIni(), "CurDevIndex"), "0");
    EXPECT_EQ(IniValue(ReserveIni(), "TotalDevNum"), "1");
}

TEST_F(CameraTest, ArrivalIsCountedBeforeTheSave)
{
    AddCamera(5, Camera(L"Selected", {Yuy2(640, 480)}));
    StartOpen();
    AddCamera(2, Camera(L"Newcomer", {Yuy2(800, 600)}));
    vcam::BroadcastDeviceChange();
    ::Sleep(1000);
    // Camera 2 sorts first, so the selected camera moved to index 1.
    EXPECT_EQ(SavedAfterClose(ReserveIni(), "CurDevIndex"), "1");
    EXPECT_EQ(IniValue(ReserveIni(), "TotalDevNum"), "2");
}

TEST_F(CameraTest, UnpluggingTheSelectedCameraRestartsOnTheFirstOrSaysNoneIsLeft)
{
    AddCamera(0, Camera(L"Stays", {Yuy2(800, 600)}));
    AddCamera(1, Camera(L"Goes", {Yuy2(640, 480)}));
    StartOpen();
    Post(UM_SELECT_CAMERA, 1);
    ASSERT_EQ(tdrv::Picture(TestCapture()).Width(), 640u);
    ASSERT_EQ(vcam::SetUnplugged(1, true), S_OK);
    vcam::BroadcastDeviceChange();
    ASSERT_TRUE(WaitTrace("Graph event 0x1f\n")) << "the graph reports the lost camera";
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 800u) << "the preview restarts on camera 0";
    ExpectNoBox(300);

    ASSERT_EQ(vcam::SetUnplugged(0, true), S_OK);
    vcam::BroadcastDeviceChange();
    ExpectBox(L"Tamsel", L"No camera devie plug-in");
}

TEST_F(CameraTest, SelectedCameraRemovedWhileHiddenIsRescannedQuietly)
{
    AddCamera(0, Camera(L"Stays", {Yuy2(800, 600)}));
    AddCamera(1, Camera(L"Goes", {Yuy2(640, 480)}));
    StartOpen();
    Post(UM_SELECT_CAMERA, 1);
    ASSERT_EQ(tdrv::Picture(TestCapture()).Width(), 640u);
    Post(WM_CLOSE);
    ASSERT_TRUE(WaitVisible(false));
    ASSERT_EQ(vcam::SetUnplugged(1, true), S_OK);
    vcam::BroadcastDeviceChange();
    ExpectNoBox(1500);
    Post(UM_EXTERN_CLICK);
    ASSERT_TRUE(WaitVisible(true));
    EXPECT_EQ(tdrv::Picture(TestCapture()).Width(), 800u) << "camera 0 after the rescan";
    EXPECT_EQ(SavedAfterClose(ReserveIni(), "TotalDevNum"), "1");
}

} // namespace
} // namespace e2e
