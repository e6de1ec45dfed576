// The two dialogs the setup dialog opens, with the program: the description
// window (its texts, version, logo and close button) and the GPS port dialog
// beside a simulated receiver. Faces are test-made pictures of four coloured
// quarters that no other face shares, so a face swapped, moved or not
// stretched shows as the wrong colour at a known point.
#include "Fixture.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "GpsSim.h"
#include "TestComPorts.h"
#include "framework/Gdiplus.h"
#include "framework/Handles.h"

namespace e2e {
namespace {

namespace gp = Gdiplus::DllExports;

constexpr UINT kSetupButton = 1002;
constexpr UINT kAppDescriptionButton = 1027;
constexpr UINT kGpsPortButton = 1029;
constexpr UINT kIdAboutClose = 1030;
constexpr UINT kIdAutoScan = 1008, kIdList = 1031, kIdOk = 1034, kIdCancel = 1035;

struct Box {
    int x, y, w, h;
};

// ---- the test's pictures ---------------------------------------------------------

struct Quarters {
    uint32_t c[4]; // top left, top right, bottom left, bottom right
};

// The about window's background is light, so its black text stands out.
const Quarters kAboutBackground{{0xF0D0A0, 0xA0F0D0, 0xD8C8F0, 0xF0F0A8}};
const Quarters kAboutLogo{{0x3060C0, 0xC03060, 0x60C030, 0x906030}};
const Quarters kAboutClose{{0x20A0A0, 0xA020A0, 0xA0A020, 0x2040F0}};
const Quarters kGpsBackground{{0x50A060, 0x6050A0, 0xA06050, 0x508090}};
const Quarters kGpsAutoScan{{0xE0C020, 0x20E0C0, 0xC020E0, 0xE08080}};
const Quarters kGpsScanning{{0xF08020, 0x2080F0, 0x80F020, 0xB0B0F0}};
const Quarters kGpsOk{{0x20C0E0, 0xE020C0, 0xC0E020, 0x60F0A0}};
const Quarters kGpsCancel{{0xE05030, 0x30E050, 0x5030E0, 0xF0A060}};

bool WriteQuarters(const std::wstring& path, const Quarters& q, int w, int h, const wchar_t* mime)
{
    CLSID encoder;
    if (!tdrv::StartGdiplus() || !tdrv::EncoderClsid(mime, encoder))
        return false;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels[static_cast<size_t>(y) * w + x] = 0xFF000000u | q.c[(x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0)];
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pixels.data()),
                                      &bitmap) != Gdiplus::Ok)
        return false;
    fw::GpImagePtr owned(bitmap);
    return gp::GdipSaveImageToFile(bitmap, path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
}

struct SkinFile {
    const wchar_t* name;
    const Quarters* quarters;
    int w, h;
};
const SkinFile kTestSkin[] = {
    {L"setup_AppDescription_Bk.jpg", &kAboutBackground, 600, 600},
    {L"setup_AppDescription_Logo.png", &kAboutLogo, 120, 60},
    {L"setup_AppDescription_close.png", &kAboutClose, 64, 64},
    {L"setup_GpsSet_bk.png", &kGpsBackground, 300, 150},
    {L"setup_GpsSet_autoscan.png", &kGpsAutoScan, 160, 40},
    {L"setup_GpsSet_scanning.png", &kGpsScanning, 160, 40},
    {L"setup_GpsSet_ok.png", &kGpsOk, 160, 40},
    {L"setup_GpsSet_cancel.png", &kGpsCancel, 160, 40},
};

// ---- looking at the screen ---------------------------------------------------

// The screen's colours against the test images' within this much a channel.
constexpr int kTolerance = 16;

bool Near(uint32_t a, uint32_t b) { return ColourDiff(a, b) <= kTolerance; }

// The picture stretched over `box`: samples inside each quarter, away from
// where quarters meet.
void ExpectFace(const Shot& shot, const Box& box, const Quarters& q, const std::string& what, Findings& out)
{
    const int hw = box.w / 2, hh = box.h / 2;
    for (int i = 0; i < 4; ++i) {
        const int qx = box.x + (i & 1 ? hw : 0), qy = box.y + (i & 2 ? hh : 0);
        const int qw = i & 1 ? box.w - hw : hw, qh = i & 2 ? box.h - hh : hh;
        for (double f : {0.0, 0.5, 1.0})
            for (double g : {0.0, 0.5, 1.0})
                Expect(shot, qx + 4 + static_cast<int>((qw - 9) * f), qy + 4 + static_cast<int>((qh - 9) * g),
                       q.c[i], what + " quarter " + std::to_string(i), out, kTolerance);
    }
}

// A line of text as a fresh device context draws it (the stock system font,
// black, transparent) from `at` on a plain `background`, over a `w` x `h`
// area: what the dialog's paint must show there.
std::vector<uint32_t> DrawnText(const std::wstring& text, POINT at, int w, int h, uint32_t background)
{
    fw::WindowDC screen(nullptr);
    fw::MemoryDC mem(::CreateCompatibleDC(screen.get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::Bitmap dib(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    std::vector<uint32_t> out;
    if (!mem || !dib || !bits)
        return out;
    {
        auto useBitmap = fw::SelectInto(mem.get(), dib.get());
        auto useFont = fw::SelectInto(mem.get(), ::GetStockObject(SYSTEM_FONT));
        auto* px = static_cast<uint32_t*>(bits);
        std::fill(px, px + static_cast<size_t>(w) * h, background);
        ::SetTextColor(mem.get(), RGB(0, 0, 0));
        ::SetBkMode(mem.get(), TRANSPARENT);
        ::TextOutW(mem.get(), at.x, at.y, text.c_str(), static_cast<int>(text.size()));
        ::GdiFlush();
        out.assign(px, px + static_cast<size_t>(w) * h);
    }
    for (uint32_t& p : out)
        p &= 0xFFFFFF;
    return out;
}

// Pixels of the area (x, y, w, h) of the shot that differ from `expected`.
int Mismatches(const Shot& shot, int x, int y, int w, int h, const std::vector<uint32_t>& expected)
{
    int n = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            n += !Near(shot.At(x + i, y + j), expected[static_cast<size_t>(j) * w + i]);
    return n;
}

int Ink(const std::vector<uint32_t>& pixels, uint32_t background)
{
    int n = 0;
    for (uint32_t p : pixels)
        n += !Near(p, background);
    return n;
}

// ---- the fixture ---------------------------------------------------------------

// A copy of the program in a folder of its own with the project's skin, the
// two dialogs' pictures replaced by the test's.
class SubDialogFixture : public TamselTest {
protected:
    void SetUp() override
    {
        TamselTest::SetUp();
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        // A folder per test: a program file still locked by the last test's program stays behind.
        static int s_count = 0;
        m_folder = std::wstring(temp) + L"tamsel-subdialogs-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++s_count);
        RemoveFolder();
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        const std::wstring exe = tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE"));
        m_exe = m_folder + L"\\Tamsel.exe";
        ASSERT_TRUE(::CopyFileW(exe.c_str(), m_exe.c_str(), FALSE));
        ASSERT_TRUE(::CreateDirectoryW(Pic().c_str(), nullptr));
        const std::wstring from = exe.substr(0, exe.find_last_of(L'\\')) + L"\\pic";
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no skin beside the program";
        do
            ::CopyFileW((from + L"\\" + data.cFileName).c_str(), (Pic() + L"\\" + data.cFileName).c_str(), FALSE);
        while (::FindNextFileW(find, &data));
        ::FindClose(find);
        AddCamera(0);
    }

    void TearDown() override
    {
        TamselTest::TearDown();
        RemoveFolder();
    }

    std::wstring Pic() const { return m_folder + L"\\pic"; }

    // Replaces the dialogs' pictures with the test's.
    void UseTestSkin()
    {
        for (const SkinFile& f : kTestSkin) {
            const std::wstring name = f.name;
            const bool jpeg = name.substr(name.size() - 4) == L".jpg";
            ASSERT_TRUE(WriteQuarters(Pic() + L"\\" + name, *f.quarters, f.w, f.h, jpeg ? L"image/jpeg" : L"image/png"));
        }
    }

    // Starts the copy, open, and waits for its window.
    void Open()
    {
        m_mark = m_traces.Mark();
        m_app = tdrv::Process::Launch(m_exe, L"");
        ASSERT_TRUE(m_app) << "the copy did not start";
        ASSERT_TRUE(tdrv::WaitForMainWindow(10000));
        ASSERT_TRUE(WaitVisible(true, 10000));
    }

    static void Click(HWND dialog, UINT id)
    {
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
    }

    // Opens the setup dialog and in it the dialog behind `button`.
    HWND OpenFromSetup(UINT button)
    {
        Click(Main(), kSetupButton);
        m_setup = WaitForOwnedDialog(Main(), 10000);
        if (!m_setup) {
            ADD_FAILURE() << "no setup dialog";
            return nullptr;
        }
        Click(m_setup, button);
        HWND dialog = WaitForOwnedDialog(m_setup, 10000);
        EXPECT_TRUE(dialog) << "no dialog from setup button " << button;
        return dialog;
    }

    static std::wstring Text(HWND wnd)
    {
        wchar_t text[256] = {};
        ::GetWindowTextW(wnd, text, 256);
        return text;
    }

    std::wstring m_folder, m_exe;
    HWND m_setup = nullptr;

private:
    void RemoveFolder()
    {
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((Pic() + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do
                ::DeleteFileW((Pic() + L"\\" + data.cFileName).c_str());
            while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(Pic().c_str());
        // The program file stays locked for a moment after the program ended.
        const std::wstring exe = m_folder + L"\\Tamsel.exe";
        tdrv::WaitUntil([&] { return ::DeleteFileW(exe.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; }, 5000);
        ::RemoveDirectoryW(m_folder.c_str());
    }
};

// ---- the description window ------------------------------------------------------

class AppDescriptionTest : public SubDialogFixture {};

const Box kLogoBox{150, 100, 300, 150}, kCloseBox{530, 10, 30, 30};

TEST_F(AppDescriptionTest, ShowsTitleVersionDescriptionAndFacesAndItsCloseButtonEndsIt)
{
    struct Case {
        const wchar_t* title;       // "WinTitle"; null: absent
        const wchar_t* description; // "CopyRight"; null: absent
        std::wstring windowText, secondLine;
    };
    const Case cases[] = {
        {nullptr, nullptr, L"Win title", L"All reserved."},
        {L"About the camera", L"Made for testers, 2026", L"About the camera", L"Made for testers, 2026"},
    };
    UseTestSkin();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.windowText));
        if (c.title)
            WriteIni(SetupIni(), L"AppDescription", L"WinTitle", c.title);
        if (c.description)
            WriteIni(SetupIni(), L"AppDescription", L"CopyRight", c.description);
        Open();
        HWND about = OpenFromSetup(kAppDescriptionButton);
        ASSERT_TRUE(about);
        EXPECT_EQ(Text(about), c.windowText);
        RECT r{}, work{};
        ::GetWindowRect(about, &r);
        EXPECT_EQ(r.right - r.left, 600);
        EXPECT_EQ(r.bottom - r.top, 600);
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_TRUE(r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom)
            << "(" << r.left << ", " << r.top << ") - (" << r.right << ", " << r.bottom << ")";

        const uint32_t textGround = kAboutBackground.c[2]; // both lines lie in the lower left quarter
        const struct {
            std::wstring text, wrong;
            POINT at;
        } lines[] = {
            {L"Version : 1.0.1.9", L"Version : 1.0.1.8", {40, 400}},
            {c.secondLine, c.secondLine + L".", {40, 470}},
        };
        const Findings findings = UntilShown(about, [&](const Shot& shot, Findings& out) {
            // The background away from the logo, the close button, the text and the rounded edge.
            for (POINT p : {POINT{60, 60}, POINT{100, 280}, POINT{500, 120}, POINT{560, 280}, POINT{60, 560},
                            POINT{280, 560}, POINT{500, 500}, POINT{560, 350}})
                Expect(shot, p.x, p.y, kAboutBackground.c[(p.x >= 300 ? 1 : 0) + (p.y >= 300 ? 2 : 0)],
                       "background", out, kTolerance);
            ExpectFace(shot, kLogoBox, kAboutLogo, "logo", out);
            ExpectFace(shot, kCloseBox, kAboutClose, "close button", out);
            for (const auto& line : lines) {
                // The area starts a little before the text, so a shifted line shows too.
                const int x = line.at.x - 8, y = line.at.y - 8, w = 250, h = 40;
                const auto want = DrawnText(line.text, {8, 8}, w, h, textGround);
                const auto wrong = DrawnText(line.wrong, {8, 8}, w, h, textGround);
                if (Ink(want, textGround) < 20 || want == wrong) {
                    out.push_back("the test cannot draw the line");
                    continue;
                }
                const int bad = Mismatches(shot, x, y, w, h, want);
                if (bad > 0)
                    out.push_back(std::string("line ") + testing::PrintToString(line.text) + ": " +
                                  std::to_string(bad) + " pixels differ");
            }
        }, 6000, ShotArea::kClient);
        EXPECT_TRUE(findings.empty()) << Join(findings);

        // A real click on the close button's rectangle ends the window, not the setup dialog.
        POINT close{kCloseBox.x + kCloseBox.w / 2, kCloseBox.y + kCloseBox.h / 2};
        ::ClientToScreen(about, &close);
        tdrv::MouseMove(close.x, close.y);
        tdrv::MouseButton(close.x, close.y, true);
        tdrv::MouseButton(close.x, close.y, false);
        EXPECT_TRUE(tdrv::WaitUntil([&] { return !::IsWindow(about); }, 5000)) << "the close button did not close it";
        EXPECT_TRUE(::IsWindowVisible(m_setup)) << "the setup dialog went too";
        m_app.Kill();
    }
}

// The about window is as tall as a small screen's work area can hardly hold:
// it is moved inside it, over the setup dialog.
class AppDescriptionSmallScreenTest : public SubDialogFixture {};

TEST_F(AppDescriptionSmallScreenTest, TheWindowStaysWholeOnTheScreen)
{
    Open();
    // The setup dialog moved down and right, where a window of its top left
    // corner would reach past the screen's edges.
    ::PostMessageW(Main(), WM_COMMAND, MAKEWPARAM(kSetupButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(Main(), kSetupButton)));
    m_setup = WaitForOwnedDialog(Main(), 10000);
    ASSERT_TRUE(m_setup);
    ASSERT_TRUE(::SetWindowPos(m_setup, nullptr, 250, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    Click(m_setup, kAppDescriptionButton);
    HWND about = WaitForOwnedDialog(m_setup, 10000);
    ASSERT_TRUE(about);
    RECT r{}, work{}, owner{};
    ::GetWindowRect(about, &r);
    ::GetWindowRect(m_setup, &owner);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(r.right - r.left, 600);
    EXPECT_EQ(r.bottom - r.top, 600);
    EXPECT_TRUE(r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom)
        << "(" << r.left << ", " << r.top << ") - (" << r.right << ", " << r.bottom << ") outside (" << work.left
        << ", " << work.top << ") - (" << work.right << ", " << work.bottom << ")";
    // Across, the screen has room: centred over the setup dialog.
    if (owner.left + (owner.right - owner.left - 600) / 2 >= work.left &&
        owner.left + (owner.right - owner.left + 600) / 2 <= work.right) {
        EXPECT_LE(std::abs((r.left + r.right) - (owner.left + owner.right)), 2);
    }
}

// ---- the GPS port dialog -------------------------------------------------------

constexpr int kReceiverPort = 61, kEmptyPort = 60;

class GpsDialogTest : public SubDialogFixture {
protected:
    void SetUp() override
    {
        SubDialogFixture::SetUp();
        ASSERT_TRUE(m_sim.Available()) << "no simulator: run under tools/gpssim/with-gpssim.sh";
        gpstest::RemoveStrayTestPorts();
        ASSERT_TRUE(m_sim.Add(kReceiverPort, "fix"));
        WriteIni(SetupIni(), L"App_Setting", L"Geotagging", L"1");
    }
    void TearDown() override
    {
        SubDialogFixture::TearDown();
        m_ports.RemoveAll();
    }

    // Port devices that the program's discovery finds, in this order.
    void Ports(const std::vector<int>& numbers)
    {
        for (int n : numbers) {
            std::wstring error;
            ASSERT_TRUE(m_ports.Add({L"Test Serial Port (COM" + std::to_wstring(n) + L")", L"Test Serial Port"}, error))
                << testing::PrintToString(error);
        }
    }

    // Opens with `configured` as the GPS port and waits for the receiver's fix.
    void OpenWithFix(int configured)
    {
        WriteIni(SetupIni(), L"App_Setting", L"GPSComport", std::to_wstring(configured).c_str());
        Open();
        if (configured == kReceiverPort) {
            ASSERT_TRUE(WaitTrace("GPS icon GPS_good.png\n", 20000)) << "the status never reached GPS_FIX";
        }
    }

    HWND List(HWND dialog) const { return ::GetDlgItem(dialog, kIdList); }
    int Selected(HWND dialog) const { return static_cast<int>(::SendMessageW(List(dialog), CB_GETCURSEL, 0, 0)); }

    bool WaitGone(HWND wnd) { return tdrv::WaitUntil([&] { return !::IsWindow(wnd); }, 5000); }
    bool WaitSaved(const char* key, const std::string& value)
    {
        return tdrv::WaitUntil([&] { return IniValue(SetupIni(), key) == value; }, 5000);
    }

    gpssim::Client m_sim;
    gpstest::TestComPorts m_ports;
};

TEST_F(GpsDialogTest, OpeningStopsTheReaderAndGeotaggingStaysOffAfterCancel)
{
    Ports({kReceiverPort});
    OpenWithFix(kReceiverPort);
    const size_t mark = m_traces.Mark();
    HWND dialog = OpenFromSetup(kGpsPortButton);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(m_traces.WaitFor("GPS icon GPS_off.png\n", mark, 5000)) << "the reader was not stopped";
    Click(dialog, kIdCancel);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_TRUE(::IsWindowVisible(m_setup));
    // Nothing starts the reader again: with the receiver gone nobody tries its port.
    ASSERT_TRUE(m_sim.Remove(kReceiverPort));
    const size_t after = m_traces.Mark();
    ::Sleep(2500);
    EXPECT_FALSE(m_traces.Contains("Can not open comport\n", after)) << "a reader runs again";
    Post(UM_SAVE_SETTINGS);
    EXPECT_TRUE(WaitSaved("Geotagging", "0"));
}

TEST_F(GpsDialogTest, OkPostsTheSelectedPortAndItIsSaved)
{
    Ports({kEmptyPort, kReceiverPort});
    OpenWithFix(kReceiverPort);
    HWND dialog = OpenFromSetup(kGpsPortButton);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(Selected(dialog), 1);
    ::SendMessageW(List(dialog), CB_SETCURSEL, 0, 0);
    Click(dialog, kIdOk);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_TRUE(WaitSaved("GPSComport", std::to_string(kEmptyPort)));
}

TEST_F(GpsDialogTest, AScanFindsTheSimulatedReceiver)
{
    Ports({kEmptyPort, kReceiverPort});
    OpenWithFix(kEmptyPort);
    UseTestSkin();
    HWND dialog = OpenFromSetup(kGpsPortButton);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(Selected(dialog), 0);
    const auto idleFaces = [&](const Quarters& autoScan) {
        return [&, autoScan](const Shot& shot, Findings& out) {
            ExpectFace(shot, {150, 150, 300, 50}, autoScan, "auto scan", out);
            ExpectFace(shot, {150, 210, 70, 50}, kGpsOk, "OK", out);
            ExpectFace(shot, {300, 210, 150, 50}, kGpsCancel, "cancel", out);
            for (POINT p : {POINT{60, 60}, POINT{540, 60}, POINT{60, 250}, POINT{540, 250}})
                Expect(shot, p.x, p.y, kGpsBackground.c[(p.x >= 300 ? 1 : 0) + (p.y >= 150 ? 2 : 0)], "background",
                       out, kTolerance);
        };
    };
    Findings findings = UntilShown(dialog, idleFaces(kGpsAutoScan), 6000, ShotArea::kClient);
    EXPECT_TRUE(findings.empty()) << Join(findings);
    Click(dialog, kIdAutoScan);
    ASSERT_TRUE(tdrv::WaitUntil([&] { return Selected(dialog) == 1 && ::IsWindowEnabled(List(dialog)); }, 30000))
        << "the receiver was not found";
    findings = UntilShown(dialog, idleFaces(kGpsAutoScan), 6000, ShotArea::kClient);
    EXPECT_TRUE(findings.empty()) << Join(findings);
    ExpectNoBox(500);
    Click(dialog, kIdOk);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_TRUE(WaitSaved("GPSComport", std::to_string(kReceiverPort)));
}

// ---- screenshots for the documents ----------------------------------------------

class SubDialogScreenshots : public GpsDialogTest {
protected:
    void Save(HWND wnd, const char* name)
    {
        const std::string out = tdrv::Env("TAMSEL_SCREENSHOTS_DIR");
        ASSERT_FALSE(out.empty()) << "TAMSEL_SCREENSHOTS_DIR names the folder for the pictures";
        ::Sleep(1000); // painted
        EXPECT_TRUE(tdrv::ScreenPixels::OfWindow(wnd).SavePng(tdrv::ToWindowsPath(out + "/" + name))) << name;
    }
};

TEST_F(SubDialogScreenshots, DISABLED_Take)
{
    // A silent receiver keeps the scan going while the picture is taken.
    ASSERT_TRUE(m_sim.Add(kEmptyPort, "silent"));
    Ports({kReceiverPort, kEmptyPort});
    OpenWithFix(kReceiverPort);
    HWND about = OpenFromSetup(kAppDescriptionButton);
    ASSERT_TRUE(about);
    Save(about, "about.png");
    Click(about, kIdAboutClose);
    ASSERT_TRUE(WaitGone(about));

    Click(m_setup, kGpsPortButton);
    HWND dialog = WaitForOwnedDialog(m_setup, 10000);
    ASSERT_TRUE(dialog);
    Save(dialog, "gps-dialog.png");
    // The receiver's port first: the scan then listens to the silent one.
    ::SendMessageW(List(dialog), CB_SETCURSEL, 0, 0);
    ASSERT_TRUE(m_sim.Remove(kReceiverPort));
    Click(dialog, kIdAutoScan);
    ASSERT_TRUE(tdrv::WaitUntil([&] { return !::IsWindowEnabled(List(dialog)); }, 5000));
    Save(dialog, "gps-dialog-scanning.png");
}

} // namespace
} // namespace e2e
