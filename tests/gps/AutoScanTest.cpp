// The port scan thread without its dialog: a message-only window stands in
// for the dialog and receives the scan's end message.
#include <windows.h>

#include <atomic>

#include "GpsTestSupport.h"
#include "framework/Worker.h"
#include "gps/AutoScan.h"
#include "gps/GpsRules.h"
#include "gps/Nmea.h"
#include "gps/SerialPort.h"

namespace gpstest {
namespace {

using namespace tamsel;

class AutoScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_GPSSIM(m_sim);
        g_nNoFixCount = 0;
        m_mark = m_traces.Mark();
    }

    // Scans `ports` as the dialog would and waits for the end message.
    void Scan(const std::vector<int>& ports, CSerialPort* port = nullptr)
    {
        m_scan = SAutoScan{};
        m_scan.m_vecPorts = ports;
        m_scan.hDialog = m_sink.Hwnd();
        m_scan.m_nPort = 4; // the port configured before the scan
        const int done = m_sink.Count(UM_SCAN_DONE);
        ASSERT_TRUE(m_thread.Start(
            [this, port](fw::Worker& self) {
                if (port)
                    AutoScanThreadProc(self, m_scan, *port);
                else
                    AutoScanThreadProc(self, m_scan);
            },
            L"auto scan"));
        // Ten seconds a port at the very most.
        ASSERT_TRUE(m_sink.WaitUntil([&] { return m_sink.Count(UM_SCAN_DONE) > done; },
                                     10000 * static_cast<DWORD>(ports.size() + 1)));
        m_thread.Stop(1000, L"wait for auto scan thread out\n");
    }

    gpssim::Client m_sim;
    tdrv::DebugStrings m_traces;
    size_t m_mark = 0;
    MessageSink m_sink;
    SAutoScan m_scan;
    fw::Worker m_thread;
};

TEST_F(AutoScanTest, TheFirstPortWithAReceiverIsFoundInListOrder)
{
    // COM33 is missing, COM35 is silent, COM37 and COM39 have receivers.
    ASSERT_TRUE(m_sim.Add(35, "silent"));
    ASSERT_TRUE(m_sim.Add(37, "fix"));
    ASSERT_TRUE(m_sim.Add(39, "fix"));
    Scan({33, 35, 37, 39});
    EXPECT_TRUE(m_scan.m_bFound);
    EXPECT_EQ(m_scan.m_nPort, 37);
    EXPECT_EQ(CountTrace(m_traces, m_mark, "Can not open //./COM33\n"), 1);
}

// A real port that tells when the scan's first read is under way, so a
// receiver can start talking into it with nothing lost to the purge before.
class WatchedPort : public CSerialPort {
public:
    WatchedPort() { reading.Create(fw::Event::kManualReset); }
    Start StartRead(DWORD& bytes) override
    {
        const Start start = CSerialPort::StartRead(bytes);
        reading.Set();
        return start;
    }
    fw::Event reading;
};

TEST_F(AutoScanTest, AReceiverWithoutFixIsFoundAtItsSeventhSentenceInARow)
{
    struct Case {
        int port;
        int32_t countBefore; // sentences without a fix heard before the scan
        int sentences;       // what the receiver sends before it falls silent; -1 talks on
        bool found;
    };
    const Case cases[] = {
        {41, 5, 1, false}, // the sixth in a row
        {42, 5, 2, true},  // the seventh
        {43, 0, 6, false},
        {44, 0, -1, true},
        // An earlier reader run left the count above 5: one sentence suffices.
        {45, 6, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        g_nNoFixCount = c.countBefore;
        ASSERT_TRUE(m_sim.Add(c.port, "silent"));
        WatchedPort port;
        m_scan = SAutoScan{};
        m_scan.m_vecPorts = {c.port};
        m_scan.hDialog = m_sink.Hwnd();
        m_scan.m_nPort = 4;
        const int done = m_sink.Count(UM_SCAN_DONE);
        ASSERT_TRUE(m_thread.Start([&](fw::Worker& self) { AutoScanThreadProc(self, m_scan, port); }, L"auto scan"));
        ASSERT_TRUE(port.reading.Wait(10000));
        ASSERT_TRUE(m_sim.Send(c.port, c.sentences < 0 ? "nofix" : "nofix " + std::to_string(c.sentences)));
        ASSERT_TRUE(m_sink.WaitUntil([&] { return m_sink.Count(UM_SCAN_DONE) > done; }, 20000));
        m_thread.Stop(1000, L"wait for auto scan thread out\n");
        EXPECT_EQ(m_scan.m_bFound, c.found);
        EXPECT_EQ(m_scan.m_nPort, c.found ? c.port : 4);
        m_sim.Remove(c.port);
    }
}

TEST_F(AutoScanTest, PortsWithoutAReceiverAtTheRightSpeedAreGivenUp)
{
    struct Case {
        int port;
        const char* scenario;
    };
    const Case cases[] = {
        {46, "silent"},   // given up after about 3 s
        {47, "baud9600"}, // a receiver at 9600 baud reads as noise at 115200
        {50, "garbage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        ASSERT_TRUE(m_sim.Add(c.port, c.scenario));
        const DWORD start = ::GetTickCount();
        Scan({c.port});
        std::printf("[ figure ] scan of a %s port: %lu ms\n", c.scenario, ::GetTickCount() - start);
        EXPECT_FALSE(m_scan.m_bFound);
        EXPECT_EQ(m_scan.m_nPort, 4) << "the configured port stays";
        m_sim.Remove(c.port);
    }
}

// A driver whose reads always complete at once with nothing and no reason.
class AlwaysEmptyPort : public CSerialPort {
public:
    Start StartRead(DWORD& bytes) override
    {
        bytes = 0;
        ++reads;
        return Start::EmptyOther;
    }
    std::atomic<int> reads{0};
};

TEST_F(AutoScanTest, APortThatAlwaysAnswersWithNothingDoesNotHoldTheScan)
{
    ASSERT_TRUE(m_sim.Add(48, "silent"));
    AlwaysEmptyPort port;
    Scan({48}, &port);
    EXPECT_FALSE(m_scan.m_bFound);
    EXPECT_EQ(port.reads.load(), kScanEmptyReads);
}

TEST_F(AutoScanTest, AStopEndsTheScanAndStillTellsTheDialog)
{
    ASSERT_TRUE(m_sim.Add(49, "silent"));
    m_scan = SAutoScan{};
    m_scan.m_vecPorts = {49, 49, 49};
    m_scan.hDialog = m_sink.Hwnd();
    ASSERT_TRUE(m_thread.Start([this](fw::Worker& self) { AutoScanThreadProc(self, m_scan); }, L"auto scan"));
    m_sink.Pump(500);
    m_thread.Stop(1000, L"wait for auto scan thread out\n");
    EXPECT_EQ(CountTrace(m_traces, m_mark, "wait for auto scan thread out\n"), 0) << "the stop did not wait a step";
    EXPECT_TRUE(m_sink.WaitUntil([&] { return m_sink.Count(UM_SCAN_DONE) == 1; }, 2000));
    EXPECT_FALSE(m_scan.m_bFound);
}

} // namespace
} // namespace gpstest
