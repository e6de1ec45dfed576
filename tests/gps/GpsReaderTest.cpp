// The GPS reader thread against simulated receivers on pty COM ports.
#include <windows.h>

#include <cmath>

#include "GpsTestSupport.h"
#include "framework/Worker.h"
#include "gps/GpsReader.h"
#include "gps/Nmea.h"
#include "framework/Messages.h"

namespace gpstest {
namespace {

using namespace tamsel;

class GpsReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_GPSSIM(m_sim);
        ASSERT_TRUE(m_traces.Available()) << "no debug log: run under scripts/wine-test.sh";
        g_nNoFixCount = 0;
        m_mark = m_traces.Mark();
    }
    void TearDown() override { m_reader.Stop(1000, L"wait for gps thread out\n"); }

    void StartReader(int port, CGpsFix* fix = nullptr)
    {
        m_params.nPort = port;
        m_params.hOwner = m_sink.Hwnd();
        m_params.pFix = fix ? fix : &m_fix;
        ASSERT_TRUE(m_reader.Start([this](fw::Worker& self) { GpsThreadProc(self, m_params); }, L"GPS reader"));
    }
    bool WaitFor(const std::function<bool()>& done, DWORD ms = 15000) { return m_sink.WaitUntil(done, ms); }
    bool WaitStatus(int32_t status, DWORD ms = 15000)
    {
        return WaitFor([&] { return m_fix.Status() == status; }, ms);
    }
    int Traced(const std::string& text) const { return CountTrace(m_traces, m_mark, text); }

    gpssim::Client m_sim;
    tdrv::DebugStrings m_traces;
    size_t m_mark = 0;
    MessageSink m_sink;
    CGpsFix m_fix;
    SGpsReaderParams m_params;
    fw::Worker m_reader; // last: it ends before what it uses goes
};

TEST_F(GpsReaderTest, FixFromAReceiverFillsTheRecordAndIsAnnounced)
{
    ASSERT_TRUE(m_sim.Add(11, "fix"));
    StartReader(11);
    ASSERT_TRUE(WaitStatus(GPS_FIX));
    EXPECT_GE(m_sink.Count(UM_GPS_ICON), 1);

    // The simulator's receiver stands at 53 21.68020 N, 6 30.33930 W on 9 Dec 2009.
    const SGpsInfo fix = m_fix.Copy();
    EXPECT_TRUE(fix.bFixTaken);
    EXPECT_EQ(fix.nLatDeg, 53);
    EXPECT_FLOAT_EQ(fix.fLatMin, 21.0f);
    EXPECT_NEAR(fix.fLatSec, 40.8f, 1e-4);
    EXPECT_EQ(fix.nLatRef, 0);
    EXPECT_EQ(fix.nLonDeg, 6);
    EXPECT_FLOAT_EQ(fix.fLonMin, 30.0f);
    EXPECT_NEAR(fix.fLonSec, 19.8f, 1e-4);
    EXPECT_EQ(fix.nLonRef, 1);
    EXPECT_EQ(fix.tmUtc.tm_hour, 9);
    EXPECT_TRUE(fix.bHasDate);
    EXPECT_EQ(fix.tmUtc.tm_mday, 9);
    EXPECT_EQ(fix.tmUtc.tm_mon, 11);
    EXPECT_EQ(fix.tmUtc.tm_year, 109);
    EXPECT_TRUE(FixIsCurrent(fix, true, ::GetTickCount()));
}

TEST_F(GpsReaderTest, RealReceiverLogsGiveTheirPosition)
{
    struct Case {
        const char* log;
        int port;
        int32_t latDeg, latRef, lonDeg, lonRef; // where the receiver stood
    };
    const Case cases[] = {
        {"ublox-lea-5h.log", 12, 51, 0, 4, 0},  // Rotterdam
        {"gr601-w.log", 13, 40, 0, 75, 1},      // Malvern PA
        {"bt451.log", 14, 55, 0, 23, 0},        // Lithuania
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        g_nNoFixCount = 0;
        CGpsFix record;
        ASSERT_TRUE(m_sim.Add(c.port, std::string("log ") + c.log));
        StartReader(c.port, &record);
        // The logs loop, each taking well under a minute.
        EXPECT_TRUE(WaitFor([&] { return record.Copy().bFixTaken && record.Status() == GPS_FIX; }, 60000));
        m_reader.Stop(1000, L"wait for gps thread out\n");
        const SGpsInfo fix = record.Copy();
        EXPECT_EQ(fix.nLatDeg, c.latDeg);
        EXPECT_EQ(fix.nLatRef, c.latRef);
        EXPECT_EQ(fix.nLonDeg, c.lonDeg);
        EXPECT_EQ(fix.nLonRef, c.lonRef);
        m_sim.Remove(c.port);
    }
}

TEST_F(GpsReaderTest, LosingTheFixKeepsThePositionAndTurnsToNoFix)
{
    ASSERT_TRUE(m_sim.Add(15, "fix"));
    StartReader(15);
    ASSERT_TRUE(WaitStatus(GPS_FIX));
    ASSERT_TRUE(m_sim.Send(15, "nofix"));
    ASSERT_TRUE(WaitStatus(GPS_NOFIX));
    const SGpsInfo lost = m_fix.Copy();
    EXPECT_TRUE(lost.bFixTaken);
    EXPECT_EQ(lost.nLatDeg, 53);
    EXPECT_GE(g_nNoFixCount, 7);
    // No fix sentence since: the fix's tick stays where the last fix left it.
    m_sink.Pump(2000);
    EXPECT_EQ(m_fix.Copy().dwFixTick, lost.dwFixTick);
}

TEST_F(GpsReaderTest, SilenceKeepsTheStatusAndStillRefreshesTheIndicator)
{
    ASSERT_TRUE(m_sim.Add(16, "fix"));
    StartReader(16);
    ASSERT_TRUE(WaitStatus(GPS_FIX));
    ASSERT_TRUE(m_sim.Send(16, "silent"));
    // A silent port: each three-second wait and each pause after it refreshes.
    // The first round still hands over what the last read had when the
    // silence began; the refresh after it comes once that is parsed.
    int icons = m_sink.Count(UM_GPS_ICON);
    ASSERT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_ICON) >= icons + 4; }, 20000));
    const SGpsInfo before = m_fix.Copy();
    EXPECT_EQ(before.nStatus, GPS_FIX);
    icons = m_sink.Count(UM_GPS_ICON);
    EXPECT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_ICON) >= icons + 3; }, 20000));
    EXPECT_EQ(m_fix.Status(), GPS_FIX);
    EXPECT_EQ(m_fix.Copy().dwFixTick, before.dwFixTick);
}

TEST_F(GpsReaderTest, AFixTooShortToFillAReadIsStillTaken)
{
    // One $GPGGA and then silence: a 512-byte read never completes, and what
    // it holds is taken when the reader gives it up.
    ASSERT_TRUE(m_sim.Add(22, "silent"));
    StartReader(22);
    ASSERT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_ICON) >= 1; }));
    m_sink.Pump(300);
    ASSERT_TRUE(m_sim.Send(22, "fix 1"));
    EXPECT_TRUE(WaitStatus(GPS_FIX, 15000));
    EXPECT_TRUE(m_fix.Copy().bFixTaken);
}

TEST_F(GpsReaderTest, AReceiverPulledOutIsReadAgainOnceItIsBack)
{
    ASSERT_TRUE(m_sim.Add(17, "fix"));
    StartReader(17);
    ASSERT_TRUE(WaitStatus(GPS_FIX));
    ASSERT_TRUE(m_sim.Vanish(17));
    // The broken handle is given up and the port looked for again.
    EXPECT_TRUE(WaitFor([&] { return Traced("Can not open comport\n") >= 1; }));
    EXPECT_EQ(m_fix.Status(), GPS_FIX) << "the status is kept while the port is gone";
    const uint32_t lastFix = m_fix.Copy().dwFixTick;

    ASSERT_TRUE(m_sim.Back(17));
    EXPECT_TRUE(WaitFor([&] { return m_fix.Copy().dwFixTick != lastFix; }))
        << "the receiver is read again without restarting the reader";
}

TEST_F(GpsReaderTest, AMissingPortIsRetriedUntilItAppears)
{
    StartReader(29);
    EXPECT_TRUE(WaitFor([&] { return Traced("Can not open comport\n") >= 3 && m_sink.Count(UM_GPS_ICON) >= 3; }));
    EXPECT_EQ(m_fix.Status(), GPS_SEARCHING);
    ASSERT_TRUE(m_sim.Add(29, "fix"));
    EXPECT_TRUE(WaitStatus(GPS_FIX));
}

TEST_F(GpsReaderTest, APortThatTakesNoLineSettingsIsRetriedNotSpun)
{
    // /dev/null opens as a port but has no line settings.
    ASSERT_TRUE(m_sim.Device(18, "/dev/null"));
    StartReader(18);
    m_sink.Pump(3000);
    const int attempts = CountTracePrefix(m_traces, m_mark, "GetCommState failed");
    EXPECT_GE(attempts, 1);
    EXPECT_LE(attempts, 6) << "the reader tries again about once a second";
    EXPECT_EQ(m_fix.Status(), GPS_SEARCHING);
}

TEST_F(GpsReaderTest, AStopDuringAPendingReadEndsTheReaderAtOnce)
{
    ASSERT_TRUE(m_sim.Add(19, "silent"));
    StartReader(19);
    // The first refresh comes just before the first read, which then waits.
    ASSERT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_ICON) >= 1; }));
    m_sink.Pump(500);

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    m_reader.Stop(1000, L"wait for gps thread out\n");
    ::QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    RecordProperty("stop_ms", std::to_string(ms));
    std::printf("[ figure ] reader stop during a pending read: %.1f ms\n", ms);

    EXPECT_FALSE(m_reader.Exists());
    EXPECT_EQ(Traced("wait for gps thread out\n"), 0) << "the stop did not have to wait a step";
    ASSERT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_STOP) == 1; }, 2000));
    EXPECT_EQ(m_sink.Params(UM_GPS_STOP)[0], kGpsReaderEnded);
}

TEST_F(GpsReaderTest, TwoHundredStartsAndStopsLeaveNoHandleBehind)
{
    ASSERT_TRUE(m_sim.Add(20, "fix"));
    auto cycle = [&] {
        const int icons = m_sink.Count(UM_GPS_ICON);
        StartReader(20);
        // Each cycle gets as far as a read on the open port.
        EXPECT_TRUE(WaitFor([&] { return m_sink.Count(UM_GPS_ICON) > icons; }, 5000));
        m_reader.Stop(1000, L"wait for gps thread out\n");
    };
    for (int i = 0; i < 5; ++i)
        cycle();
    m_sink.Pump(200);
    const auto before = tdrv::KernelHandlesByType(::GetCurrentProcessId());
    for (int i = 0; i < 200; ++i)
        cycle();
    m_sink.Pump(200);
    const auto after = tdrv::KernelHandlesByType(::GetCurrentProcessId());
    int total = 0, totalBefore = 0;
    for (const auto& [type, count] : after) {
        const auto was = before.find(type);
        const int countBefore = was == before.end() ? 0 : was->second;
        EXPECT_LE(count, countBefore) << "more handles of type " << testing::PrintToString(type);
        total += count;
        totalBefore += countBefore;
    }
    ASSERT_FALSE(before.empty()) << "the handle table could not be read";
    std::printf("[ figure ] kernel handles before and after 200 reader cycles: %d, %d\n", totalBefore, total);
}

TEST(ConfigurePort, MakesAnyLineSettings115200EightNoneOne)
{
    gpssim::Client sim;
    REQUIRE_GPSSIM(sim);
    ASSERT_TRUE(sim.Add(21, "silent"));
    struct Case {
        DWORD baud;
        BYTE byteSize, parity, stopBits;
    };
    const Case cases[] = {{CBR_9600, 7, EVENPARITY, TWOSTOPBITS}, {CBR_4800, 8, ODDPARITY, ONESTOPBIT},
                          {CBR_57600, 8, NOPARITY, TWOSTOPBITS}, {CBR_115200, 8, NOPARITY, ONESTOPBIT}};
    CSerialPort port;
    ASSERT_TRUE(port.Open(21)) << port.LastError();
    for (const Case& c : cases) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(::GetCommState(port.Handle(), &dcb));
        dcb.BaudRate = c.baud;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        ASSERT_TRUE(::SetCommState(port.Handle(), &dcb));

        ASSERT_TRUE(ConfigurePort(port.Handle()));
        DCB now{};
        now.DCBlength = sizeof now;
        ASSERT_TRUE(::GetCommState(port.Handle(), &now));
        EXPECT_EQ(now.BaudRate, static_cast<DWORD>(CBR_115200)) << c.baud;
        EXPECT_EQ(now.ByteSize, 8);
        EXPECT_EQ(now.Parity, NOPARITY);
        EXPECT_EQ(now.StopBits, ONESTOPBIT);
        EXPECT_FALSE(now.fOutxCtsFlow);
        EXPECT_NE(now.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    }
}

} // namespace
} // namespace gpstest
