// Start-up: Windows versions, the command line, a missing camera, a second copy.
#include "Fixture.h"
#include "framework/Handles.h"

namespace e2e {
namespace {

using StartupTest = TamselTest;

const std::string kBrightnessFallback = "No brightness control, brightness counts as 0\n";

TEST_F(StartupTest, VisibleStartWithoutCameraShowsOneBoxAndStaysInTheTray)
{
    Start();
    ExpectBox(L"Error", L"No camera devie plug-in");
    ExpectNoBox(1500);
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(tdrv::TrayIconExists(Main(), kTrayIconId));

    // Only a left double-click on the icon acts, and without a camera it refuses.
    Post(UM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDOWN);
    ExpectNoBox(1000);
    Post(UM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
    ExpectBox(L"Error", L"No camera plug-in");
    EXPECT_FALSE(Visible());
}

TEST_F(StartupTest, CommandLineDecidesWhetherTheWindowStartsVisible)
{
    struct Case { const wchar_t* args; bool visiblePath; };
    const Case cases[] = {{L"-h", false}, {L"-H", true}, {L"-h ", true}, {L"-h x", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.args)));
        Start(c.args);
        if (c.visiblePath) {
            ExpectBox(L"Error", L"No camera devie plug-in");
        } else {
            EXPECT_TRUE(WaitTrace("No camera devie plug-in"));
            ExpectNoBox(1500);
        }
        EXPECT_FALSE(Visible());
        EXPECT_TRUE(tdrv::TrayIconExists(Main(), kTrayIconId));
        EXPECT_TRUE(QuitProgram());
    }
}

TEST_F(StartupTest, EachSupportedWindowsVersionStarts)
{
    // XP and Server 2003 use the mixer and never ask for the brightness; later
    // versions ask, and Wine's WMI has no brightness instance to give.
    struct Case { const wchar_t* version; bool asksBrightness; };
    const Case cases[] = {{L"winxp64", false}, {L"vista", true}, {L"win7", true}, {L"win10", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.version)));
        SetWindowsVersion(c.version);
        Start();
        ExpectBox(L"Error", L"No camera devie plug-in");
        EXPECT_EQ(CountTrace(kBrightnessFallback), c.asksBrightness ? 1 : 0);
        EXPECT_TRUE(QuitProgram());
    }
}

TEST_F(StartupTest, Windows2000IsRefusedAndTheSettingsAreWrittenBack)
{
    WriteIni(SetupIni(), L"App_Setting", L"IdleTime", L"6");
    WriteIni(SetupIni(), L"App_Setting", L"Resolution", L"9");
    SetWindowsVersion(L"win2k");
    Start();
    ExpectBox(L"Tamsel", L"Not support OS");
    ExpectBox(L"Tamsel", L"Get OS version error");
    ASSERT_TRUE(m_app.WaitExit(10000)) << "the program must end";
    const std::string setup = ReadFile(SetupIni());
    EXPECT_NE(setup.find("IdleTime=6"), std::string::npos) << setup;
    EXPECT_NE(setup.find("Resolution=4"), std::string::npos) << "corrected value saved: " << setup;
    EXPECT_NE(setup.find("PreviewSize=1"), std::string::npos) << setup;
    EXPECT_NE(ReadFile(ReserveIni()).find("TotalDevNum=0"), std::string::npos);
}

TEST_F(StartupTest, InvalidHardwareKeyIsReportedBeforeTheCameraCheck)
{
    WriteIni(SetupIni(), L"App_Setting", L"SanpHwKey", L"0x41");
    Start();
    ExpectBox(L"Tamsel", L"Invalid HW key code");
    ExpectBox(L"Error", L"No camera devie plug-in");
    EXPECT_TRUE(WaitTrace("HW key code = 0x0\n"));
}

TEST_F(StartupTest, DebugLogStartsWithItsHeaderWhenSwitchedOn)
{
    WriteIni(SetupIni(), L"App_Setting", L"LogFile", L"1");
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("No camera devie plug-in"));
    const std::string log = ReadFile(LogPath());
    EXPECT_EQ(log.rfind("Varnex Application debug file create at ", 0), 0u) << log;
    EXPECT_NE(log.find("WindowSizeMod = 0\r\r\n"), std::string::npos) << log;
}

TEST_F(StartupTest, SecondCopyHandsOverAndEnds)
{
    AddCamera(0);
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("Not find Varnex application\n"));
    ASSERT_TRUE(WaitTrace("HW key code = 0x41\n"));
    HWND first = Main();
    ASSERT_FALSE(Visible());

    // While hidden: the second copy reopens the first one's window.
    const size_t mark = m_traces.Mark();
    tdrv::Process second = tdrv::Process::Launch(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")), L"-h");
    ASSERT_TRUE(second);
    EXPECT_TRUE(second.WaitExit(5000)) << "the second copy ends at once";
    EXPECT_TRUE(m_traces.WaitFor("Find Varnex application\n", mark, 2000));
    EXPECT_TRUE(WaitVisible(true));
    EXPECT_EQ(tdrv::FindMainWindow(), first);
    // Made topmost right after it is shown.
    EXPECT_TRUE(tdrv::WaitUntil([&] { return (::GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }, 3000));

    // While open: raised again, still one window, nothing reloaded.
    const size_t mark2 = m_traces.Mark();
    tdrv::Process third = tdrv::Process::Launch(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")), L"");
    EXPECT_TRUE(third.WaitExit(5000));
    EXPECT_TRUE(m_traces.WaitFor("Extern click\n", mark2, 3000));
    EXPECT_TRUE(Visible());
    for (const std::string& s : m_traces.Since(mark2))
        EXPECT_NE(s.rfind("HW key code", 0), 0u) << "an open window does not reload its settings";
    ExpectNoBox(500);
}

TEST_F(StartupTest, QuitFromAnotherProgramSavesAndRemovesTheIcon)
{
    WriteIni(SetupIni(), L"App_Setting", L"PreviewSize", L"7");
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("No camera devie plug-in"));
    HWND wnd = Main();
    ASSERT_TRUE(tdrv::TrayIconExists(wnd, kTrayIconId));
    ::DeleteFileW(ReserveIni().c_str());
    ASSERT_TRUE(::PostMessageW(wnd, UM_QUIT, 0, 0));
    ASSERT_TRUE(m_app.WaitExit(10000));
    EXPECT_FALSE(tdrv::TrayIconExists(wnd, kTrayIconId));
    EXPECT_NE(ReadFile(SetupIni()).find("PreviewSize=1"), std::string::npos);
    EXPECT_NE(ReadFile(ReserveIni()).find("CurDevIndex=0"), std::string::npos);
}


// Explorer, the Start menu and the uninstall entry show the program file's
// own icon, in the sizes they ask for.
TEST(ProgramFileTest, CarriesItsIconInTheShellsSizes)
{
    const std::wstring exe = tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE"));
    EXPECT_GE(::ExtractIconExW(exe.c_str(), -1, nullptr, nullptr, 0), 1u);
    fw::Module module(::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    for (int side : {16, 32, 48}) {
        fw::IconHandle icon(static_cast<HICON>(
            ::LoadImageW(module.get(), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0)));
        ASSERT_TRUE(icon) << side;
        ICONINFO info = {};
        ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
        fw::Bitmap color(info.hbmColor), mask(info.hbmMask);
        BITMAP bm = {};
        ASSERT_TRUE(::GetObjectW(color.get(), sizeof(bm), &bm));
        EXPECT_EQ(bm.bmWidth, side);
    }
}

} // namespace
} // namespace e2e
