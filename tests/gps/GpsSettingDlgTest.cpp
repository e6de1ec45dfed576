// The GPS port dialog run modally on a thread of its own, beside simulated
// receivers: a message-only window stands in for the main window, port
// devices registered in the prefix are what discovery finds, and the test
// drives the dialog with messages as the dialog manager would deliver them.
#include <windows.h>
#include <tlhelp32.h>

#include <memory>
#include <string>
#include <vector>

#include "GpsTestSupport.h"
#include "TestComPorts.h"
#include "framework/Gdiplus.h"
#include "framework/Worker.h"
#include "gps/GpsSettingDlg.h"
#include "resources/resource.h"
#include "framework/Messages.h"

namespace gpstest {
namespace {

using namespace tamsel;
namespace gp = Gdiplus::DllExports;

// One colour per face, far apart from each other and from the fill used
// without a background.
enum Face { kBackground, kAutoScanFace, kScanningFace, kOkFace, kCancelFace, kFaceCount };
const uint32_t kFaceColour[kFaceCount] = {0x30A050, 0xE0C020, 0xA020C0, 0x20C0E0, 0xE05030};
const char* const kFaceName[kFaceCount] = {"background", "auto scan", "scanning", "OK", "cancel"};

struct Box {
    int x, y, w, h;
};
const Box kAutoScanBox{150, 150, 300, 50}, kOkBox{150, 210, 70, 50}, kCancelBox{300, 210, 150, 50};

fw::GpImagePtr SolidImage(uint32_t rgb)
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(320, 80, 0, PixelFormat32bppARGB, nullptr, &bitmap) != Gdiplus::Ok)
        return nullptr;
    fw::GpImagePtr image(bitmap);
    Gdiplus::GpGraphics* raw = nullptr;
    if (gp::GdipGetImageGraphicsContext(bitmap, &raw) != Gdiplus::Ok)
        return nullptr;
    fw::GpGraphicsPtr graphics(raw);
    gp::GdipGraphicsClear(raw, 0xFF000000u | rgb);
    return image;
}

bool Near(uint32_t a, uint32_t b)
{
    for (int shift : {0, 8, 16}) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 14 || d < -14)
            return false;
    }
    return true;
}

std::string Hex(uint32_t c)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(c));
    return text;
}

std::vector<DWORD> ThreadsOfThisProcess()
{
    std::vector<DWORD> ids;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return ids;
    fw::Handle owned(snap);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = ::Thread32First(snap, &entry); ok; ok = ::Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId())
            ids.push_back(entry.th32ThreadID);
    return ids;
}

// How the dialog is asked to close.
enum class Closer { EnterKey, EscapeKey, CloseMessage, OkButton, CancelButton };

class GpsSettingDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_GPSSIM(m_sim);
        ASSERT_TRUE(tdrv::StartGdiplus());
        RemoveStrayTestPorts();
        for (int f = 0; f < kFaceCount; ++f) {
            m_faces[f] = SolidImage(kFaceColour[f]);
            ASSERT_TRUE(m_faces[f]) << kFaceName[f];
        }
    }

    void TearDown() override
    {
        if (m_dialogThread.Exists() && !m_dialogThread.Ended()) {
            // A failed test may leave boxes and a scan: answer, wait, close.
            for (int i = 0; i < 20 && !m_dialogThread.Ended(); ++i) {
                for (const auto& box : tdrv::FindMessageBoxes(::GetCurrentProcessId()))
                    tdrv::AnswerMessageBox(box);
                ::PostMessageW(Dialog(), WM_CLOSE, 0, 0);
                m_sink.Pump(500);
            }
        }
        m_dialogThread.Stop(1000, L"dialog thread still runs\n");
        m_dialog.reset();
        m_ports.RemoveAll();
    }

    // Registers port devices that discovery finds in this order.
    void Ports(const std::vector<int>& numbers)
    {
        for (int n : numbers) {
            std::wstring error;
            ASSERT_TRUE(m_ports.Add({L"Test Serial Port (COM" + std::to_wstring(n) + L")", L"Test Serial Port"}, error))
                << testing::PrintToString(error);
        }
    }

    // Opens the dialog with `configured` as the configured port and waits
    // until it shows.
    void Open(int configured, bool background = true)
    {
        m_dialog = std::make_unique<CGpsSettingDlg>();
        m_dialog->m_hMainWnd = m_sink.Hwnd();
        m_dialog->m_nPort = configured;
        m_dialog->m_pBackground = background ? m_faces[kBackground].get() : nullptr;
        m_dialog->m_pAutoScan = m_faces[kAutoScanFace].get();
        m_dialog->m_pScanning = m_faces[kScanningFace].get();
        m_dialog->m_pOk = m_faces[kOkFace].get();
        m_dialog->m_pCancel = m_faces[kCancelFace].get();
        m_result = 0;
        const int stops = m_sink.Count(UM_GPS_STOP);
        ASSERT_TRUE(m_dialogThread.Start([this](fw::Worker&) { m_result = m_dialog->DoModal(nullptr); },
                                         L"dialog"));
        // UM_GPS_STOP is posted from the dialog's initialisation: the window exists by then.
        ASSERT_TRUE(m_sink.WaitUntil([&] { return m_sink.Count(UM_GPS_STOP) > stops; }, 10000));
        ASSERT_TRUE(m_sink.WaitUntil([&] { return Dialog() && ::IsWindowVisible(Dialog()); }, 10000));
        EXPECT_EQ(m_sink.Count(UM_GPS_STOP), stops + 1);
    }

    HWND Dialog() const { return m_dialog ? m_dialog->Hwnd() : nullptr; }
    HWND List() const { return ::GetDlgItem(Dialog(), IDC_GPS_PORT_LIST); }
    bool Ended() const { return m_dialogThread.Ended(); }
    bool WaitEnded(DWORD ms = 5000)
    {
        return m_sink.WaitUntil([&] { return Ended(); }, ms);
    }

    std::vector<std::wstring> ListItems() const
    {
        std::vector<std::wstring> items;
        const LRESULT n = ::SendMessageW(List(), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t text[64] = {};
            ::SendMessageW(List(), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.emplace_back(text);
        }
        return items;
    }
    int Selected() const { return static_cast<int>(::SendMessageW(List(), CB_GETCURSEL, 0, 0)); }

    void Click(int id) { ::PostMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(Dialog(), id))); }

    // Enter and Escape as the modal loop's dialog manager receives them.
    void Press(WORD vk)
    {
        ::PostMessageW(Dialog(), WM_KEYDOWN, vk, 1);
        ::PostMessageW(Dialog(), WM_KEYUP, vk, 0xC0000001);
    }

    void AskToClose(Closer closer)
    {
        switch (closer) {
        case Closer::EnterKey: Press(VK_RETURN); break;
        case Closer::EscapeKey: Press(VK_ESCAPE); break;
        case Closer::CloseMessage: ::PostMessageW(Dialog(), WM_CLOSE, 0, 0); break;
        case Closer::OkButton: Click(IDC_GPS_OK); break;
        case Closer::CancelButton: Click(IDC_GPS_CANCEL); break;
        }
    }

    // The next message box of this process must say this; it is answered.
    void ExpectBox(const std::wstring& caption, const std::wstring& text, DWORD ms = 10000)
    {
        const auto box = tdrv::WaitForMessageBox(::GetCurrentProcessId(), ms);
        ASSERT_TRUE(box.has_value()) << "no message box: " << testing::PrintToString(text);
        EXPECT_EQ(box->caption, caption);
        EXPECT_EQ(box->text, text);
        EXPECT_EQ(box->owner, Dialog());
        EXPECT_TRUE(tdrv::AnswerMessageBox(*box));
    }
    void ExpectNoBox(DWORD ms)
    {
        m_sink.Pump(ms);
        const auto boxes = tdrv::FindMessageBoxes(::GetCurrentProcessId());
        EXPECT_TRUE(boxes.empty()) << testing::PrintToString(boxes.empty() ? std::wstring() : boxes.front().text);
    }

    // The colour the screen shows at a point of the dialog's client area.
    uint32_t ColourAt(int x, int y) const
    {
        POINT p{x, y};
        ::ClientToScreen(Dialog(), &p);
        return tdrv::ScreenPixels::Capture({p.x, p.y, p.x + 1, p.y + 1}).At(0, 0);
    }

    // A face fills the box: its colour just inside each corner and at the centre.
    void ExpectFaceAt(const Box& b, Face face, const char* what)
    {
        const POINT points[] = {{b.x + 3, b.y + 3}, {b.x + b.w - 4, b.y + 3}, {b.x + 3, b.y + b.h - 4},
                                {b.x + b.w - 4, b.y + b.h - 4}, {b.x + b.w / 2, b.y + b.h / 2}};
        for (const POINT& p : points) {
            const uint32_t seen = ColourAt(p.x, p.y);
            EXPECT_TRUE(Near(seen, kFaceColour[face]))
                << what << " at (" << p.x << ", " << p.y << "): " << Hex(seen) << ", want the " << kFaceName[face]
                << " face " << Hex(kFaceColour[face]);
        }
    }

    // Waits until the auto-scan button shows `face` (it is repainted after the state changes).
    bool WaitAutoScanFace(Face face, DWORD ms = 3000)
    {
        return m_sink.WaitUntil(
            [&] { return Near(ColourAt(kAutoScanBox.x + kAutoScanBox.w / 2, kAutoScanBox.y + kAutoScanBox.h / 2),
                              kFaceColour[face]); },
            ms);
    }

    gpssim::Client m_sim;
    tdrv::DebugStrings m_traces;
    TestComPorts m_ports;
    MessageSink m_sink;
    fw::GpImagePtr m_faces[kFaceCount];
    std::unique_ptr<CGpsSettingDlg> m_dialog;
    fw::Worker m_dialogThread;
    INT_PTR m_result = 0;
};

TEST_F(GpsSettingDlgTest, PortsAreListedInDiscoveryOrderAndOkTakesTheSelectedOne)
{
    struct Case {
        std::vector<int> ports;
        int configured;
        std::vector<std::wstring> items;
        int selected; // before the test touches the list
        int pick;     // the entry chosen before OK; -1: untouched
        Closer closer;
        std::vector<WPARAM> posted; // UM_GPS_PORT's port numbers
    };
    const Case cases[] = {
        {{3, 5, 7}, 5, {L"COM3", L"COM5", L"COM7"}, 1, -1, Closer::OkButton, {5}},
        {{3, 7}, 5, {L"COM3", L"COM7"}, 0, -1, Closer::OkButton, {3}},
        {{12, 4, 12}, 12, {L"COM12", L"COM4", L"COM12"}, 2, -1, Closer::OkButton, {12}},
        {{3, 5, 7}, 3, {L"COM3", L"COM5", L"COM7"}, 0, 2, Closer::OkButton, {7}},
        {{3, 5, 7}, 5, {L"COM3", L"COM5", L"COM7"}, 1, 2, Closer::CancelButton, {}},
        // Enter is the dialog framework's OK: it closes without taking a port.
        {{3, 5, 7}, 5, {L"COM3", L"COM5", L"COM7"}, 1, 0, Closer::EnterKey, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.ports) + " configured " + std::to_string(c.configured));
        Ports(c.ports);
        Open(c.configured);
        EXPECT_EQ(ListItems(), c.items);
        EXPECT_EQ(Selected(), c.selected);
        EXPECT_TRUE(::IsWindowEnabled(List()));
        if (c.pick >= 0)
            ::SendMessageW(List(), CB_SETCURSEL, static_cast<WPARAM>(c.pick), 0);
        const size_t before = m_sink.Params(UM_GPS_PORT).size();
        AskToClose(c.closer);
        ASSERT_TRUE(WaitEnded());
        m_sink.Pump(100);
        const std::vector<WPARAM> all = m_sink.Params(UM_GPS_PORT);
        EXPECT_EQ(std::vector<WPARAM>(all.begin() + static_cast<long>(before), all.end()), c.posted);
        ExpectNoBox(0);
        m_dialogThread.Stop(1000, L"dialog thread still runs\n");
        m_ports.RemoveAll();
    }
}

TEST_F(GpsSettingDlgTest, LayoutAndFacesAtTheirRectangles)
{
    Ports({21});
    for (bool background : {true, false}) {
        SCOPED_TRACE(background ? "with background" : "without background");
        Open(21, background);
        m_sink.Pump(500);
        RECT window{};
        ::GetWindowRect(Dialog(), &window);
        EXPECT_EQ(window.right - window.left, 600);
        EXPECT_EQ(window.bottom - window.top, 300);
        RECT list{};
        ::GetWindowRect(List(), &list);
        POINT origin{0, 0};
        ::ClientToScreen(Dialog(), &origin);
        EXPECT_EQ(list.left - origin.x, 250);
        EXPECT_EQ(list.top - origin.y, 100);
        EXPECT_EQ(list.right - list.left, 200);

        ExpectFaceAt(kAutoScanBox, kAutoScanFace, "auto scan");
        ExpectFaceAt(kOkBox, kOkFace, "OK");
        ExpectFaceAt(kCancelBox, kCancelFace, "cancel");
        // Between and around the buttons: the background, or blue without one.
        const uint32_t fill = background ? kFaceColour[kBackground] : 0x0000C8;
        for (POINT p : {POINT{100, 40}, POINT{250, 235}, POINT{550, 260}, POINT{30, 150}}) {
            const uint32_t seen = ColourAt(p.x, p.y);
            EXPECT_TRUE(Near(seen, fill)) << "(" << p.x << ", " << p.y << "): " << Hex(seen);
        }
        // The rounded corner is cut off the window.
        EXPECT_FALSE(Near(ColourAt(1, 1), fill)) << Hex(ColourAt(1, 1));
        EXPECT_EQ(::SendMessageW(Dialog(), WM_NCHITTEST, 0, MAKELPARAM(origin.x + 100, origin.y + 40)), HTCAPTION);
        Click(IDC_GPS_CANCEL);
        ASSERT_TRUE(WaitEnded());
        m_dialogThread.Stop(1000, L"dialog thread still runs\n");
    }
}

TEST_F(GpsSettingDlgTest, ScanFindsTheReceiverAndSelectsIt)
{
    // COM41 has no receiver, COM43 is silent for a while, COM45 has one.
    ASSERT_TRUE(m_sim.Add(43, "silent"));
    ASSERT_TRUE(m_sim.Add(45, "fix"));
    Ports({41, 43, 45});
    Open(41);
    EXPECT_EQ(Selected(), 0);
    Click(IDC_GPS_AUTO_SCAN);
    ASSERT_TRUE(WaitAutoScanFace(kScanningFace)) << "no scanning face";
    EXPECT_FALSE(::IsWindowEnabled(List()));
    ExpectFaceAt(kAutoScanBox, kScanningFace, "auto scan while scanning");
    ExpectFaceAt(kOkBox, kOkFace, "OK while scanning");
    // Found: back to idle with the receiver's port selected, and no box.
    ASSERT_TRUE(m_sink.WaitUntil([&] { return ::IsWindowEnabled(List()) != FALSE; }, 40000));
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(m_dialog->m_nPort, 45);
    ASSERT_TRUE(WaitAutoScanFace(kAutoScanFace)) << "the auto scan face did not come back";
    ExpectNoBox(500);
    Click(IDC_GPS_OK);
    ASSERT_TRUE(WaitEnded());
    m_sink.Pump(100);
    EXPECT_EQ(m_sink.Params(UM_GPS_PORT), std::vector<WPARAM>{45});
}

TEST_F(GpsSettingDlgTest, AScanThatFindsNothingKeepsTheSelectionOfTheLastOneThatDid)
{
    ASSERT_TRUE(m_sim.Add(49, "fix"));
    Ports({47, 49});
    Open(47);
    Click(IDC_GPS_AUTO_SCAN);
    ASSERT_TRUE(m_sink.WaitUntil([&] { return Selected() == 1 && ::IsWindowEnabled(List()); }, 30000));
    ExpectNoBox(300);

    ASSERT_TRUE(m_sim.Send(49, "silent"));
    Click(IDC_GPS_AUTO_SCAN);
    ExpectBox(L"Warnning", L"Can't find GPS device", 40000);
    EXPECT_TRUE(::IsWindowEnabled(List()));
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(m_dialog->m_nPort, 49);
    Click(IDC_GPS_OK);
    ASSERT_TRUE(WaitEnded());
    m_sink.Pump(100);
    EXPECT_EQ(m_sink.Params(UM_GPS_PORT), std::vector<WPARAM>{49});
}

TEST_F(GpsSettingDlgTest, NoPortOrAFailedDiscoveryIsReportedAndLeavesNothingToScanOrTake)
{
    // A device path too long for discovery's buffer makes the whole discovery fail.
    const std::vector<TestPortEntry> failing = {
        {L"Short (COM4)", L"Serial port"}, {L"Long (COM5)", L"Serial port", L"", L"ROOT\\PORTS\\" + std::wstring(90, L'L')}};
    for (bool discoveryFails : {false, true}) {
        SCOPED_TRACE(discoveryFails ? "discovery fails" : "no port");
        if (discoveryFails) {
            for (const TestPortEntry& entry : failing) {
                std::wstring error;
                ASSERT_TRUE(m_ports.Add(entry, error)) << testing::PrintToString(error);
            }
        }
        const int stops = m_sink.Count(UM_GPS_STOP);
        const size_t mark = m_traces.Mark();
        Open(4);
        ExpectBox(L"Warning", L"Can not find any comport");
        EXPECT_EQ(CountTrace(m_traces, mark, "SetupDiGetDeviceInterfaceDetail failed. (err=7a)\n"),
                  discoveryFails ? 1 : 0);
        EXPECT_TRUE(ListItems().empty());
        EXPECT_FALSE(::IsWindowEnabled(List()));
        Click(IDC_GPS_AUTO_SCAN);
        ExpectBox(L"Warnning", L"No comport device find!!");
        EXPECT_FALSE(Ended());
        Click(IDC_GPS_OK);
        ASSERT_TRUE(WaitEnded());
        m_dialogThread.Stop(1000, L"dialog thread still runs\n");
        m_sink.Pump(100);
        EXPECT_EQ(m_sink.Count(UM_GPS_PORT), 0);
        EXPECT_EQ(m_sink.Count(UM_GPS_STOP), stops + 1);
        m_ports.RemoveAll();
    }
}

TEST_F(GpsSettingDlgTest, NothingClosesTheDialogDuringAScan)
{
    // A silent receiver keeps the scan busy for seconds.
    ASSERT_TRUE(m_sim.Add(51, "silent"));
    Ports({51});
    const Closer closers[] = {Closer::EnterKey, Closer::EscapeKey, Closer::CloseMessage, Closer::OkButton,
                              Closer::CancelButton};
    for (Closer closer : closers) {
        SCOPED_TRACE("closer " + std::to_string(static_cast<int>(closer)));
        const int ports = m_sink.Count(UM_GPS_PORT);
        Open(51);
        Click(IDC_GPS_AUTO_SCAN);
        ASSERT_TRUE(m_sink.WaitUntil([&] { return !::IsWindowEnabled(List()); }, 5000));
        // Posted behind the scan's start and ahead of its end, which is seconds away.
        AskToClose(closer);
        ExpectBox(L"Warnning", L"Can't find GPS device", 40000);
        EXPECT_FALSE(Ended()) << "closed under the scan";
        EXPECT_EQ(m_sink.Count(UM_GPS_PORT), ports);
        // Idle again, the same request closes it: it did arrive before.
        AskToClose(closer);
        ASSERT_TRUE(WaitEnded()) << "not closed when idle";
        m_dialogThread.Stop(1000, L"dialog thread still runs\n");
        m_sink.Pump(100);
        EXPECT_EQ(m_sink.Count(UM_GPS_PORT), ports + (closer == Closer::OkButton ? 1 : 0));
    }
}

TEST_F(GpsSettingDlgTest, DestroyingTheDialogEndsItsScan)
{
    ASSERT_TRUE(m_sim.Add(53, "silent"));
    Ports({53});
    const size_t threadsBefore = ThreadsOfThisProcess().size();
    Open(53);
    Click(IDC_GPS_AUTO_SCAN);
    ASSERT_TRUE(m_sink.WaitUntil([&] { return !::IsWindowEnabled(List()); }, 5000));
    // The modal loop ends on a quit message while the scan still runs.
    ::PostThreadMessageW(::GetThreadId(m_dialogThread.Thread()), WM_QUIT, 0, 0);
    ASSERT_TRUE(WaitEnded());
    m_dialogThread.Stop(1000, L"dialog thread still runs\n");
    m_dialog.reset();
    EXPECT_EQ(ThreadsOfThisProcess().size(), threadsBefore) << "a thread outlived the dialog";
}

} // namespace
} // namespace gpstest
