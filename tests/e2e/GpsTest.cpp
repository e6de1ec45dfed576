// Geotagging with the program: a simulated receiver is the program's GPS port.
#include "Fixture.h"
#include "GpsSim.h"

namespace e2e {
namespace {

constexpr int kPort = 61;

class GpsTest : public TamselTest {
protected:
    void SetUp() override
    {
        TamselTest::SetUp();
        ASSERT_TRUE(m_sim.Available()) << "no simulator: run under tools/gpssim/with-gpssim.sh";
        ASSERT_TRUE(m_sim.Add(kPort, "fix"));
        WriteIni(SetupIni(), L"App_Setting", L"Geotagging", L"1");
        WriteIni(SetupIni(), L"App_Setting", L"GPSComport", std::to_wstring(kPort).c_str());
        AddCamera(0);
    }

    // Opens the window and waits until the indicator shows the fix.
    void OpenWithFix()
    {
        StartOpen();
        ASSERT_TRUE(WaitTrace("GPS icon GPS_good.png\n", 20000)) << "the status never reached GPS_FIX";
    }
    // The window handles a message sent now within a second.
    bool Answers()
    {
        DWORD_PTR result = 0;
        return ::SendMessageTimeoutW(Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
    }
    // No reader looks at the port any more: with the receiver gone, nothing
    // tries to open it.
    void ExpectNoReader()
    {
        ASSERT_TRUE(m_sim.Remove(kPort));
        const size_t mark = m_traces.Mark();
        ::Sleep(2500);
        EXPECT_FALSE(m_traces.Contains("Can not open comport\n", mark)) << "a reader still runs";
    }

    gpssim::Client m_sim;
};

TEST_F(GpsTest, AReceiverWithAFixIsShownAsAFix)
{
    OpenWithFix();
    EXPECT_EQ(CountTrace("GPS icon GPS_unknow_1.png\n"), 1) << "searching first";
    EXPECT_EQ(CountTrace("GPS icon GPS_off.png\n"), 0);
}

TEST_F(GpsTest, StopTurnsGeotaggingOffAtOnceAndIsSaved)
{
    OpenWithFix();
    const size_t mark = m_traces.Mark();
    Post(UM_GPS_STOP);
    EXPECT_TRUE(Answers()) << "the window waits for the reader";
    EXPECT_TRUE(m_traces.WaitFor("GPS icon GPS_off.png\n", mark, 3000));
    EXPECT_FALSE(m_traces.Contains("wait for gps thread out\n", mark));
    Post(UM_SAVE_SETTINGS);
    EXPECT_TRUE(tdrv::WaitUntil([] { return IniValue(SetupIni(), "Geotagging") == "0"; }, 3000));
    ExpectNoReader();
}

TEST_F(GpsTest, APortChosenInTheDialogIsSaved)
{
    OpenWithFix();
    Post(UM_GPS_PORT, 7);
    EXPECT_TRUE(tdrv::WaitUntil([] { return IniValue(SetupIni(), "GPSComport") == "7"; }, 3000));
}

TEST_F(GpsTest, HidingStopsTheReaderAndKeepsGeotaggingOn)
{
    OpenWithFix();
    const size_t mark = m_traces.Mark();
    Post(WM_CLOSE);
    ASSERT_TRUE(WaitVisible(false));
    EXPECT_TRUE(Answers());
    EXPECT_FALSE(m_traces.Contains("wait for gps thread out\n", mark));
    EXPECT_TRUE(tdrv::WaitUntil([] { return IniValue(SetupIni(), "Geotagging") == "1"; }, 3000));
    ExpectNoReader();

    // Reopened, the reader searches again and finds the receiver.
    ASSERT_TRUE(m_sim.Add(kPort, "fix"));
    const size_t reopened = m_traces.Mark();
    Post(UM_EXTERN_CLICK);
    ASSERT_TRUE(WaitVisible(true));
    EXPECT_TRUE(m_traces.WaitFor("GPS icon GPS_unknow_1.png\n", reopened, 5000));
    EXPECT_TRUE(m_traces.WaitFor("GPS icon GPS_good.png\n", reopened, 20000));
}

} // namespace
} // namespace e2e
