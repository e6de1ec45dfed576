// Switching geotagging on and off from the window's thread, the indicator,
// and the hide sequence's stop, with a message-only window as the main window.
#include <windows.h>

#include "GpsTestSupport.h"
#include "gps/GpsControl.h"
#include "gps/Nmea.h"
#include "shell/IdleClock.h"
#include "framework/Messages.h"

namespace gpstest {
namespace {

using namespace tamsel;

class GpsControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_GPSSIM(m_sim);
        g_nNoFixCount = 0;
        m_settings.GPS_ON = true;
        m_settings.GPSComport = 51;
        ASSERT_TRUE(m_sim.Add(51, "fix"));
        m_sink.Forward([this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
            return m_gps.OnMessage(msg, wp, lp, result);
        });
        m_mark = m_traces.Mark();
    }
    void TearDown() override { m_sink.Forward(nullptr); }

    void Post(UINT msg, WPARAM wp = 0) { ::PostMessageW(m_sink.Hwnd(), msg, wp, 0); }
    bool WaitFor(const std::function<bool()>& done, DWORD ms = 15000) { return m_sink.WaitUntil(done, ms); }
    int Traced(const std::string& text) const { return CountTrace(m_traces, m_mark, text); }

    gpssim::Client m_sim;
    tdrv::DebugStrings m_traces;
    size_t m_mark = 0;
    AppSettings m_settings;
    int m_idleTime = 1;
    CIdleClock m_idle{m_idleTime};
    MessageSink m_sink;
    CGpsControl m_gps{[this] { return m_sink.Hwnd(); }, m_settings, m_idle};
};

TEST_F(GpsControlTest, StartShowsTheSearchThenTheFix)
{
    m_settings.GPS_ON = false;
    m_gps.SetStatus(GPS_OFF);
    Post(UM_GPS_START);
    ASSERT_TRUE(WaitFor([&] { return m_gps.ReaderRunning(); }, 2000));
    EXPECT_TRUE(m_settings.GPS_ON);
    EXPECT_TRUE(WaitFor([&] { return Traced("GPS icon GPS_unknow_1.png\n") == 1; }, 2000));
    ASSERT_TRUE(WaitFor([&] { return m_gps.Status() == GPS_FIX; }));
    EXPECT_TRUE(WaitFor([&] { return m_gps.ShownImage() && std::wstring(m_gps.ShownImage()) == L"GPS_good.png"; }));
    EXPECT_EQ(Traced("GPS icon GPS_good.png\n"), 1);
    EXPECT_TRUE(m_gps.FixCopy().bFixTaken);
}

TEST_F(GpsControlTest, StartWhileTheReaderRunsChangesNothing)
{
    Post(UM_GPS_START);
    ASSERT_TRUE(WaitFor([&] { return m_gps.Status() == GPS_FIX; }));
    const size_t mark = m_traces.Mark();
    LRESULT result = 0;
    m_gps.OnMessage(UM_GPS_START, 0, 0, result);
    EXPECT_EQ(m_gps.Status(), GPS_FIX) << "a second start would search again";
    m_sink.Pump(1500);
    EXPECT_EQ(CountTrace(m_traces, mark, "Can not open comport\n"), 0);
    EXPECT_EQ(CountTrace(m_traces, mark, "GPS icon GPS_unknow_1.png\n"), 0);
}

TEST_F(GpsControlTest, StopEndsTheReaderAndTurnsGeotaggingOff)
{
    Post(UM_GPS_START);
    ASSERT_TRUE(WaitFor([&] { return m_gps.Status() == GPS_FIX; }));
    const uint32_t activity = m_idle.LastActivity();
    ::Sleep(20);
    Post(UM_GPS_STOP);
    ASSERT_TRUE(WaitFor([&] { return !m_gps.ReaderRunning(); }, 5000));
    EXPECT_FALSE(m_settings.GPS_ON);
    EXPECT_EQ(m_gps.Status(), GPS_OFF);
    EXPECT_EQ(std::wstring(m_gps.ShownImage()), L"GPS_off.png");
    EXPECT_NE(m_idle.LastActivity(), activity) << "a stop counts as activity";
    // The reader's own end note follows and changes nothing more.
    EXPECT_TRUE(WaitFor([&] { return m_sink.Params(UM_GPS_STOP).size() == 2; }, 3000));
    EXPECT_EQ(m_sink.Params(UM_GPS_STOP)[1], kGpsReaderEnded);
    EXPECT_FALSE(m_settings.GPS_ON);
    EXPECT_EQ(m_gps.Status(), GPS_OFF);
}

TEST_F(GpsControlTest, StopWithoutAReaderStillTurnsGeotaggingOff)
{
    ASSERT_TRUE(m_settings.GPS_ON);
    m_gps.SetStatus(GPS_SEARCHING);
    Post(UM_GPS_STOP);
    ASSERT_TRUE(WaitFor([&] { return !m_settings.GPS_ON; }, 2000));
    EXPECT_EQ(m_gps.Status(), GPS_OFF);
    EXPECT_EQ(Traced("GPS icon GPS_off.png\n"), 1);
}

TEST_F(GpsControlTest, HidingStopsTheReaderButKeepsStatusAndGeotagging)
{
    Post(UM_GPS_START);
    ASSERT_TRUE(WaitFor([&] { return m_gps.Status() == GPS_FIX; }));
    m_gps.StopGpsReader();
    EXPECT_FALSE(m_gps.ReaderRunning());
    // The reader's end note arrives after the hide and must not undo it.
    ASSERT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_STOP) == 1; }, 3000));
    m_sink.Pump(200);
    EXPECT_TRUE(m_settings.GPS_ON) << "geotagging stays on across a hide";
    EXPECT_EQ(m_gps.Status(), GPS_FIX);

    // Reopening starts it again.
    Post(UM_GPS_START);
    EXPECT_TRUE(WaitFor([&] { return m_gps.ReaderRunning(); }, 2000));
}

} // namespace
} // namespace gpstest
