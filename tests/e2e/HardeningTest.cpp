// The program against an unfriendly desktop: no sound device, a shell that
// refuses or forgets its icon, stray messages with values no control sends.
#include "Fixture.h"

#include <mmsystem.h>

namespace e2e {
namespace {

using HardeningTest = TamselTest;

TEST_F(HardeningTest, NoAudioDeviceStillStarts)
{
    // Run in an environment without any playback device (XP: no mixer;
    // later versions: no default endpoint); elsewhere there is nothing to show.
    if (::waveOutGetNumDevs() != 0)
        GTEST_SKIP() << "this environment has a playback device";
    AddCamera(0);
    for (const wchar_t* version : {L"winxp64", L"win7"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(version)));
        SetWindowsVersion(version);
        Start();
        ASSERT_TRUE(WaitTrace("No audio device, volume counts as 0\n", 10000));
        ExpectNoBox(1500);
        EXPECT_TRUE(WaitVisible(true)) << "the program runs without a sound device";
        EXPECT_TRUE(QuitProgram());
    }
}

// A stand-in for the shell's taskbar window that refuses every icon.
class RefusingTaskbar {
public:
    RefusingTaskbar()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            return m == WM_COPYDATA ? FALSE : ::DefWindowProcW(w, m, wp, lp);
        };
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        ::RegisterClassW(&wc);
        m_wnd = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    }
    ~RefusingTaskbar()
    {
        ::DestroyWindow(m_wnd);
        ::UnregisterClassW(L"Shell_TrayWnd", ::GetModuleHandleW(nullptr));
    }
    bool Found() const { return ::FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr) == m_wnd; }

private:
    HWND m_wnd = nullptr;
};

TEST_F(HardeningTest, VisibleStartWithoutTrayIconHidesAndCanBeReopened)
{
    AddCamera(0);
    {
        RefusingTaskbar taskbar;
        ASSERT_TRUE(taskbar.Found()) << "the program must meet the stand-in first";
        Start();
        // The stand-in answers the program's request while this thread pumps
        // its messages; the start-up then runs to its end.
        ASSERT_TRUE(tdrv::WaitUntil([&] { return WaitTrace("HW key code = 0x41\n", 0); }, 10000));
        tdrv::WaitUntil([] { return false; }, 3000);
    }
    HWND wnd = Main();
    EXPECT_FALSE(tdrv::TrayIconExists(wnd, kTrayIconId));
    EXPECT_FALSE(Visible()) << "without an icon the window hides";

    // Hidden means closed: a second start or the hardware key opens it again.
    Post(UM_EXTERN_CLICK);
    EXPECT_TRUE(WaitVisible(true)) << "the window must not be hidden but counted as open";
    ExpectNoBox(500);
}

TEST_F(HardeningTest, IconComesBackWhenTheTaskbarIsRecreated)
{
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("No camera devie plug-in"));
    HWND wnd = Main();
    ASSERT_TRUE(tdrv::WaitUntil([&] { return tdrv::TrayIconExists(wnd, kTrayIconId); }, 5000));

    // A restarted shell has forgotten the icon and says so to every window.
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = wnd;
    nid.uID = kTrayIconId;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &nid));
    ASSERT_FALSE(tdrv::TrayIconExists(wnd, kTrayIconId));
    Post(::RegisterWindowMessageW(L"TaskbarCreated"));
    EXPECT_TRUE(tdrv::WaitUntil([&] { return tdrv::TrayIconExists(wnd, kTrayIconId); }, 5000));
}

TEST_F(HardeningTest, SettingMessagesTakeOnlyTheirValues)
{
    AddCamera(0);
    StartOpen();
    // A resolution change dispatches what is queued behind it, so the values
    // of this test are saved only once it has settled.
    Post(UM_SET_RESOLUTION, 1);
    Post(UM_SET_IDLE_TIME, 6);
    auto saved = [](const char* key, const char* value) {
        return tdrv::WaitUntil([&] { return IniValue(SetupIni(), key) == value; }, 100);
    };
    ASSERT_TRUE(tdrv::WaitUntil([&] {
        Post(UM_SAVE_SETTINGS);
        return saved("Resolution", "1") && saved("IdleTime", "6");
    }, 10000));

    // Values no control sends: each is ignored, none is stored.
    ::DeleteFileW(SetupIni().c_str());
    for (WPARAM v : {WPARAM(0), WPARAM(5), static_cast<WPARAM>(-1)})
        Post(UM_SET_RESOLUTION, v);
    for (WPARAM v : {WPARAM(0), WPARAM(5), WPARAM(7), WPARAM(1000)})
        Post(UM_SET_IDLE_TIME, v);
    for (WPARAM v : {WPARAM(2), static_cast<WPARAM>(-1)})
        Post(UM_SET_PREVIEW_SIZE, v);
    Post(UM_SELECT_CAMERA, 1);
    Post(UM_SELECT_CAMERA, static_cast<WPARAM>(-1));
    Post(UM_ROTATE, 9);
    Post(UM_SAVE_SETTINGS);
    // The last key of setup.ini: once it is there, the file is written whole.
    ASSERT_TRUE(tdrv::WaitUntil([] { return !IniValue(SetupIni(), "BrightnessThreashold").empty(); }, 5000));
    ExpectNoBox(1000);
    EXPECT_TRUE(Visible());
    const std::string setup = ReadFile(SetupIni());
    EXPECT_EQ(IniValue(SetupIni(), "Resolution"), "1") << setup;
    EXPECT_EQ(IniValue(SetupIni(), "IdleTime"), "6") << setup;
    EXPECT_EQ(IniValue(SetupIni(), "PreviewSize"), "1") << setup;
    EXPECT_EQ(IniValue(ReserveIni(), "CurDevIndex"), "0");
}

TEST_F(HardeningTest, HiddenWindowIgnoresRequestsThatNeedItOpen)
{
    AddCamera(0);
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("HW key code = 0x41\n"));
    ASSERT_TRUE(tdrv::WaitUntil([] { return tdrv::TrayIconExists(tdrv::FindMainWindow(), kTrayIconId); }, 10000));
    Post(UM_SET_PREVIEW_SIZE, 1);
    Post(UM_ROTATE, 2);
    Post(UM_SET_RESOLUTION, 2);
    Post(UM_START_PREVIEW);
    EXPECT_FALSE(WaitVisible(true, 1500)) << "laying out must not show a hidden window";
    ExpectNoBox(500);
}

TEST_F(HardeningTest, ButtonsActOnClicksOnly)
{
    AddCamera(0);
    StartOpen();
    // The close button's id with another notification (a focus change).
    Post(WM_COMMAND, MAKEWPARAM(1000, BN_SETFOCUS));
    Post(WM_COMMAND, MAKEWPARAM(1000, BN_KILLFOCUS));
    EXPECT_FALSE(WaitVisible(false, 1000));
    Post(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED));
    EXPECT_TRUE(WaitVisible(false));
}

} // namespace
} // namespace e2e
