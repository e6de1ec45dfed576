// The setup dialog as the user meets it: opened from the main window's setup
// button, its faces on the screen, its requests and the main window's
// answers, the saved settings, the user manual. Each test runs a copy of the
// program from a folder of its own with a skin it draws itself: every face
// is four coloured quarters (the last one transparent) that no other face
// shares, so a face swapped, moved or not stretched shows as the wrong
// colour at a known point.
#include "Fixture.h"

#include <cstdio>
#include <functional>
#include <set>
#include <vector>

#include "GpsSim.h"
#include "framework/Handles.h"

namespace e2e {
namespace {

constexpr UINT kSetupButton = 1002;

// ---- the layout and the faces -------------------------------------------------

struct Box {
    int x, y, w, h;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
    bool Contains(int px, int py, int margin) const
    {
        return px >= x - margin && px < Right() + margin && py >= y - margin && py < Bottom() + margin;
    }
};

struct SetupButton {
    int id;
    const char* name;
    Box box;
    int on, off; // skin entries; one entry for both where the button has one picture
};

const SetupButton kButtons[] = {
    {1008, "close", {530, 15, 30, 30}, 27, 27},
    {1015, "camera 1", {250, 60, 80, 50}, 28, 29},
    {1016, "camera 2", {360, 60, 80, 50}, 30, 31},
    {1017, "camera 3", {470, 60, 80, 50}, 32, 33},
    {1005, "VGA", {60, 160, 100, 60}, 34, 35},
    {1003, "SVGA", {190, 160, 100, 60}, 36, 37},
    {1004, "XVGA", {320, 160, 100, 60}, 38, 39},
    {1007, "native", {450, 160, 100, 60}, 40, 41},
    {1019, "480*320", {250, 245, 100, 60}, 42, 43},
    {1018, "640*480", {410, 245, 100, 60}, 44, 45},
    {1025, "geotagging on", {60, 350, 80, 35}, 46, 47},
    {1026, "geotagging off", {161, 350, 80, 35}, 48, 49},
    {1029, "geotagging set", {262, 350, 80, 35}, 50, 50},
    {1030, "flash on", {382, 350, 80, 35}, 51, 52},
    {1031, "flash off", {483, 350, 80, 35}, 53, 54},
    {1020, "5 min", {60, 440, 80, 30}, 55, 56},
    {1021, "10 min", {161, 440, 80, 30}, 57, 58},
    {1022, "15 min", {262, 440, 80, 30}, 59, 60},
    {1023, "20 min", {363, 440, 80, 30}, 61, 62},
    {1024, "30 min", {464, 440, 80, 30}, 63, 64},
    {1027, "App des", {60, 520, 255, 35}, 65, 65},
    {1028, "User Manual", {365, 525, 180, 35}, 69, 69},
};

const SetupButton& ButtonOf(int id)
{
    for (const SetupButton& b : kButtons)
        if (b.id == id)
            return b;
    ADD_FAILURE() << "no button " << id;
    return kButtons[0];
}

// The setup set's files by entry (26 background; 66..68, 70..74 belong to the
// two dialogs opened from it).
struct SkinFile {
    int entry;
    const wchar_t* file;
};
const SkinFile kSetupSkin[] = {
    {26, L"setup_background.jpg"}, {27, L"setup_close.png"},
    {28, L"setup_camera1_on.png"}, {29, L"setup_camera1_off.png"},
    {30, L"setup_camera2_on.png"}, {31, L"setup_camera2_off.png"},
    {32, L"setup_camera3_on.png"}, {33, L"setup_camera3_off.png"},
    {34, L"setup_res_vga_on.png"}, {35, L"setup_res_vga_off.png"},
    {36, L"setup_res_svga_on.png"}, {37, L"setup_res_svga_off.png"},
    {38, L"setup_res_xvga_on.png"}, {39, L"setup_res_xvga_off.png"},
    {40, L"setup_res_native_on.png"}, {41, L"setup_res_native_off.png"},
    {42, L"setup_preview_480x320_on.png"}, {43, L"setup_preview_480x320_off.png"},
    {44, L"setup_preview_640x480_on.png"}, {45, L"setup_preview_640x480_off.png"},
    {46, L"setup_geotagging_on_on.png"}, {47, L"setup_geotagging_on_off.png"},
    {48, L"setup_geotagging_off_on.png"}, {49, L"setup_geotagging_off_off.png"},
    {50, L"setup_geotagging_set.png"},
    {51, L"setup_flash_on_on.png"}, {52, L"setup_flash_on_off.png"},
    {53, L"setup_flash_off_on.png"}, {54, L"setup_flash_off_off.png"},
    {55, L"setup_idle_5min_on.png"}, {56, L"setup_idle_5min_off.png"},
    {57, L"setup_idle_10min_on.png"}, {58, L"setup_idle_10min_off.png"},
    {59, L"setup_idle_15min_on.png"}, {60, L"setup_idle_15min_off.png"},
    {61, L"setup_idle_20min_on.png"}, {62, L"setup_idle_20min_off.png"},
    {63, L"setup_idle_30min_on.png"}, {64, L"setup_idle_30min_off.png"},
    {65, L"setup_application_description.png"}, {69, L"setup_user_manual.png"},
};
constexpr int kBackground = 26;
constexpr int kSide = 600;

uint32_t QuarterColour(int entry, int q) { return SkinColour(entry == kBackground ? q : 4 + entry * 3 + q); }

// The transparent quarter of a face: the bottom right one of even entries,
// the bottom left one of odd ones, so that the "on" and "off" faces of an
// option differ there and a face drawn over the old one without the
// background in between shows.
int ClearQuarter(int entry) { return entry % 2 == 0 ? 3 : 2; }

// ---- looking at the screen ---------------------------------------------------

// The background stretched over the whole dialog; 0 (not judged) where its
// quarters meet.
uint32_t BackgroundAt(int x, int y)
{
    const int half = kSide / 2;
    if (std::abs(x - half) < 14 || std::abs(y - half) < 14)
        return 0;
    return QuarterColour(kBackground, (x >= half ? 1 : 0) + (y >= half ? 2 : 0));
}

// The screen's colours against the test images' within this much a channel.
constexpr int kTolerance = 14;

// Face `entry` stretched over the box: samples inside each quarter away from
// where quarters meet; the transparent quarter shows the background (or is
// not judged when there is none).
void ExpectFace(const Shot& shot, const Box& box, int entry, const std::string& what, Findings& out,
                bool backgroundBehind = true)
{
    const int hw = box.w / 2, hh = box.h / 2;
    for (int q = 0; q < 4; ++q) {
        if (q == ClearQuarter(entry) && !backgroundBehind)
            continue;
        const int qx = box.x + (q & 1 ? hw : 0), qy = box.y + (q & 2 ? hh : 0);
        const int qw = q & 1 ? box.w - hw : hw, qh = q & 2 ? box.h - hh : hh;
        for (double fx : {0.0, 0.5, 1.0})
            for (double fy : {0.0, 1.0}) {
                const int x = qx + 3 + static_cast<int>((qw - 7) * fx), y = qy + 3 + static_cast<int>((qh - 7) * fy);
                const uint32_t want = q == ClearQuarter(entry) ? BackgroundAt(x, y) : QuarterColour(entry, q);
                Expect(shot, x, y, want, what + " quarter " + std::to_string(q), out, kTolerance);
            }
    }
}

// What each option button shows at rest: the ids showing their "on" picture
// (every other option its "off" one).
void ExpectFaces(const Shot& shot, const std::set<int>& lit, Findings& out)
{
    for (const SetupButton& b : kButtons)
        ExpectFace(shot, b.box, lit.count(b.id) || b.on == b.off ? b.on : b.off, b.name, out);
}

void ExpectBackground(const Shot& shot, Findings& out)
{
    for (int y = 20; y < kSide - 20; y += 23)
        for (int x = 20; x < kSide - 20; x += 23) {
            bool nearButton = false;
            for (const SetupButton& b : kButtons)
                nearButton = nearButton || b.box.Contains(x, y, 4);
            if (!nearButton)
                Expect(shot, x, y, BackgroundAt(x, y), "background", out, kTolerance);
        }
}

vcam::DeviceConfig Camera(const wchar_t* name, std::vector<vcam::Format> formats)
{
    vcam::DeviceConfig c;
    c.friendlyName = name;
    c.formats = std::move(formats);
    return c;
}

vcam::Format Yuy2(int w, int h) { return {vcam::Subtype::YUY2, w, h}; }

// The lit buttons of the start settings below: one camera, SVGA, the small
// preview, geotagging off, flash on, 15 minutes.
const std::set<int> kStartLit = {1015, 1003, 1019, 1026, 1030, 1022};

// ---- the fixture ---------------------------------------------------------------

constexpr wchar_t kPdfProgId[] = L"TamselTest.Pdf";

class SetupDialogTest : public TamselTest {
protected:
    void SetUp() override
    {
        TamselTest::SetUp();
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"tamsel-setupdialog-test";
        RemoveFolder();
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        m_exe = m_folder + L"\\Tamsel.exe";
        ASSERT_TRUE(::CopyFileW(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")).c_str(), m_exe.c_str(), FALSE));
        StartSettings();
    }
    void TearDown() override
    {
        TamselTest::TearDown();
        RemoveFolder();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\.pdf");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Classes\\") + kPdfProgId).c_str());
        if (m_machinePdfChanged) {
            ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.pdf", nullptr, REG_SZ, m_machinePdf.c_str(),
                              static_cast<DWORD>((m_machinePdf.size() + 1) * sizeof(wchar_t)));
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + kPdfProgId).c_str());
        }
    }

    // .pdf opened by `command` ("%1" the file), in the classes of `root`.
    static bool RegisterPdfHandler(HKEY root, const std::wstring& command)
    {
        const std::wstring verb = std::wstring(L"Software\\Classes\\") + kPdfProgId + L"\\shell\\open\\command";
        return ::RegSetKeyValueW(root, L"Software\\Classes\\.pdf", nullptr, REG_SZ, kPdfProgId,
                                 static_cast<DWORD>((wcslen(kPdfProgId) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS &&
               ::RegSetKeyValueW(root, verb.c_str(), nullptr, REG_SZ, command.c_str(),
                                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

    static std::wstring ClassesRootPdf()
    {
        wchar_t value[128] = {};
        DWORD size = sizeof value;
        if (::RegGetValueW(HKEY_CLASSES_ROOT, L".pdf", nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            return {};
        return value;
    }

    std::wstring m_machinePdf;
    bool m_machinePdfChanged = false;

    static void StartSettings()
    {
        WriteIni(SetupIni(), L"App_Setting", L"Geotagging", L"0");
        WriteIni(SetupIni(), L"App_Setting", L"Resolution", L"2");
        WriteIni(SetupIni(), L"App_Setting", L"PreviewSize", L"1"); // the small one
        WriteIni(SetupIni(), L"App_Setting", L"IdleTime", L"3");
        WriteIni(SetupIni(), L"App_Setting", L"Flsah_on", L"1");
    }

    std::wstring Pic() const { return m_folder + L"\\pic"; }

    void MakeSkin()
    {
        ::CreateDirectoryW(Pic().c_str(), nullptr);
        for (const SkinFile& f : kSetupSkin) {
            const uint32_t q[4] = {QuarterColour(f.entry, 0), QuarterColour(f.entry, 1), QuarterColour(f.entry, 2),
                                   QuarterColour(f.entry, 3)};
            const bool background = f.entry == kBackground;
            ASSERT_TRUE(WriteQuarterPng(Pic() + L"\\" + f.file, q, background ? 1000 : 160, background ? 1000 : 80,
                                        background ? -1 : ClearQuarter(f.entry)));
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
        // The preview runs (its clock is set once the graph runs): the
        // window's start is over.
        ASSERT_TRUE(WaitTrace("Graph event 0xd\n", 10000));
    }

    // The main window's setup button; the dialog it shows.
    HWND OpenSetup()
    {
        HWND main = Main();
        ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(kSetupButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(main, kSetupButton)));
        HWND dlg = nullptr;
        EXPECT_TRUE(tdrv::WaitUntil([&] { return (dlg = OwnedDialogWithControl(main, 1015)) != nullptr; }, 5000))
            << "no setup dialog";
        return dlg;
    }

    static void Press(HWND dlg, int id)
    {
        ASSERT_TRUE(::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id))));
    }

    // The close button; true once the dialog is gone.
    static bool CloseSetup(HWND dlg)
    {
        Press(dlg, 1008);
        return tdrv::WaitUntil([&] { return !::IsWindow(dlg); }, 5000);
    }

    // A value the closing of the dialog saved. The files are removed first
    // so that no earlier save passes for it.
    std::string SavedOnClose(HWND dlg, const std::wstring& file, const std::string& key)
    {
        ::DeleteFileW(SetupIni().c_str());
        ::DeleteFileW(ReserveIni().c_str());
        EXPECT_TRUE(CloseSetup(dlg));
        std::string value;
        tdrv::WaitUntil([&] { value = IniValue(file, key); return !IniValue(ReserveIni(), "CurDevIndex").empty(); },
                        5000);
        return IniValue(file, key);
    }

    // A box of the setup dialog: its caption and text, over the dialog.
    void ExpectSetupBox(HWND dlg, const std::wstring& caption, const std::wstring& text)
    {
        const auto box = tdrv::WaitForMessageBox(m_app.Pid(), 10000);
        ASSERT_TRUE(box.has_value()) << "expected the box \"" << testing::PrintToString(text) << "\"";
        EXPECT_EQ(box->caption, caption);
        EXPECT_EQ(box->text, text);
        EXPECT_EQ(box->owner, dlg) << "the box is the setup dialog's";
        ASSERT_TRUE(tdrv::AnswerMessageBox(*box));
    }

    POINT ToScreen(HWND dlg, POINT p)
    {
        RECT r{};
        ::GetWindowRect(dlg, &r);
        return {r.left + p.x, r.top + p.y};
    }

    std::wstring m_folder, m_exe;

private:
    void RemoveFolder()
    {
        if (m_folder.empty()) // skipped before it was made
            return;
        for (const std::wstring& dir : {Pic(), m_folder}) {
            WIN32_FIND_DATAW data;
            HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
            if (find != INVALID_HANDLE_VALUE) {
                do
                    ::DeleteFileW((dir + L"\\" + data.cFileName).c_str());
                while (::FindNextFileW(find, &data));
                ::FindClose(find);
            }
            if (dir == Pic())
                ::RemoveDirectoryW(dir.c_str());
        }
        ::RemoveDirectoryW(m_folder.c_str());
    }
};

POINT Centre(const Box& b) { return {b.x + b.w / 2, b.y + b.h / 2}; }

// ---- opening, faces, layout -------------------------------------------------------

TEST_F(SetupDialogTest, OpensWithEveryFaceAtItsRectangleAndClosesWithItsButton)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND main = Main();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);

    RECT r{}, owner{};
    ::GetWindowRect(dlg, &r);
    ::GetWindowRect(main, &owner);
    EXPECT_EQ(r.right - r.left, kSide);
    EXPECT_EQ(r.bottom - r.top, kSide);
    EXPECT_EQ(r.left + r.right, owner.left + owner.right) << "centred over the main window";
    EXPECT_EQ(r.top + r.bottom, owner.top + owner.bottom);
    // Rounded: the corners are cut off, the edges' middles are inside.
    fw::Region shape(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(dlg, shape.get()), ERROR);
    for (POINT out : {POINT{2, 2}, POINT{7, 7}, POINT{598, 598}, POINT{598, 7}})
        EXPECT_FALSE(::PtInRegion(shape.get(), out.x, out.y)) << out.x << ", " << out.y;
    for (POINT in : {POINT{6, 300}, POINT{300, 6}, POINT{594, 300}, POINT{300, 594}, POINT{30, 30}})
        EXPECT_TRUE(::PtInRegion(shape.get(), in.x, in.y)) << in.x << ", " << in.y;

    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) {
        ExpectBackground(s, out);
        ExpectFaces(s, kStartLit, out);
    });
    EXPECT_TRUE(wrong.empty()) << Join(wrong);

    // The setup button again raises the same dialog.
    EXPECT_EQ(OpenSetup(), dlg);
    EXPECT_TRUE(CloseSetup(dlg));
    EXPECT_TRUE(Visible()) << "the main window stays open";
    // And opens a new one once it is closed.
    dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, kStartLit, out); });
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
}

TEST_F(SetupDialogTest, WithOneCameraTheOtherTwoDoNothingAndLookOffEvenPressed)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, kStartLit, out); });
    ASSERT_TRUE(wrong.empty()) << Join(wrong);

    // Held down: an absent camera stays "off", the selected one "on"; an
    // option not chosen lights up.
    struct Held { int id, face; };
    const Held held[] = {{1016, 31}, {1017, 33}, {1015, 28}, {1005, 34}};
    const POINT away = ToScreen(dlg, {300, 130});
    for (const Held& h : held) {
        const SetupButton& b = ButtonOf(h.id);
        SCOPED_TRACE(b.name);
        HWND button = ::GetDlgItem(dlg, h.id);
        auto pushed = [&] {
            DWORD_PTR state = 0;
            ::SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, 1000, &state);
            return (state & BST_PUSHED) != 0;
        };
        const POINT at = ToScreen(dlg, Centre(b.box));
        tdrv::MouseMove(at.x, at.y);
        tdrv::MouseButton(at.x, at.y, true);
        EXPECT_TRUE(tdrv::WaitUntil(pushed, 3000));
        // The button draws its pressed face over the normal one without the
        // background in between: its transparent part is not judged.
        wrong = UntilShown(dlg,
                           [&](const Shot& s, Findings& out) { ExpectFace(s, b.box, h.face, "pressed", out, false); });
        EXPECT_TRUE(wrong.empty()) << Join(wrong);
        // Dragged out before the release: no click.
        tdrv::MouseMove(away.x, away.y);
        EXPECT_TRUE(tdrv::WaitUntil([&] { return !pushed(); }, 3000));
        tdrv::MouseButton(away.x, away.y, false);
    }

    // Clicked: cameras 2 and 3 ask for nothing, so the dialog is not busy and
    // the next request goes through.
    Press(dlg, 1016);
    Press(dlg, 1017);
    Press(dlg, 1005);
    ExpectNoBox(1500);
    std::set<int> lit = kStartLit;
    lit.erase(1003);
    lit.insert(1005);
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 8000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    EXPECT_EQ(SavedOnClose(dlg, SetupIni(), "Resolution"), "1");
    EXPECT_EQ(IniValue(ReserveIni(), "CurDevIndex"), "0");
}

TEST_F(SetupDialogTest, ASecondRequestWhileTheFirstIsAnsweredIsIgnored)
{
    MakeSkin();
    AddCamera(0, Camera(L"Small", {Yuy2(640, 480), Yuy2(800, 600)}));
    AddCamera(1, Camera(L"Large", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    // Both presses are queued before the main window sees the first
    // request, so the second meets a busy dialog.
    Press(dlg, 1016);
    Press(dlg, 1005);
    Press(dlg, 1015);
    std::set<int> lit = kStartLit;
    lit.insert(1016); // selected; camera 1 is attached and stays "on"
    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 8000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    ExpectNoBox(500);
    EXPECT_EQ(SavedOnClose(dlg, ReserveIni(), "CurDevIndex"), "1");
    EXPECT_EQ(IniValue(SetupIni(), "Resolution"), "2");
}

TEST_F(SetupDialogTest, FailedChangesSayWhyAndKeepThePreviousChoice)
{
    MakeSkin();
    AddCamera(0, Camera(L"Stays", {Yuy2(640, 480), Yuy2(800, 600)}));
    AddCamera(1, Camera(L"Goes", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    std::set<int> lit = kStartLit;
    lit.insert(1016); // attached, so "on" at rest (not selected)
    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); });
    ASSERT_TRUE(wrong.empty()) << Join(wrong);

    // Unplugged just before the switch.
    ASSERT_EQ(vcam::SetUnplugged(1, true), S_OK);
    Press(dlg, 1016);
    ExpectSetupBox(dlg, L"Setup", L"Change device error !!");
    // 1024 x 768 is not among this camera's sizes.
    Press(dlg, 1004);
    ExpectSetupBox(dlg, L"Setup", L"Change resolution error !!");
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); });
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    // Each answer ended the busy state: the next request goes through.
    Press(dlg, 1005);
    lit.erase(1003);
    lit.insert(1005);
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 8000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    EXPECT_EQ(SavedOnClose(dlg, SetupIni(), "Resolution"), "1");
    EXPECT_EQ(IniValue(ReserveIni(), "CurDevIndex"), "0");
}

TEST_F(SetupDialogTest, IdleFlashPreviewAndGeotaggingChoicesAreAppliedAndSaved)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Press(dlg, 1024); // 30 minutes
    Press(dlg, 1031); // flash off
    Press(dlg, 1031); // again: posted again, harmless
    Press(dlg, 1025); // geotagging on: the reader starts (and looks for its port)
    std::set<int> lit = {1015, 1003, 1019, 1025, 1031, 1024};
    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 8000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    const bool large = ::GetSystemMetrics(SM_CYSCREEN) >= 768;
    if (large) {
        Press(dlg, 1018); // the large window fits this screen
        lit.erase(1019);
        lit.insert(1018);
        wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 8000);
        EXPECT_TRUE(wrong.empty()) << Join(wrong);
    }
    // Stopped from outside the dialog: the geotagging buttons follow.
    Post(UM_GPS_STOP);
    lit.erase(1025);
    lit.insert(1026);
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 15000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);

    EXPECT_EQ(SavedOnClose(dlg, SetupIni(), "IdleTime"), "6");
    EXPECT_EQ(IniValue(SetupIni(), "Flsah_on"), "0");
    EXPECT_EQ(IniValue(SetupIni(), "Geotagging"), "0");
    EXPECT_EQ(IniValue(SetupIni(), "PreviewSize"), large ? "2" : "1");
}

TEST_F(SetupDialogTest, CamerasComingAndGoingWhileItIsOpenShowInTheCameraButtons)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, kStartLit, out); });
    ASSERT_TRUE(wrong.empty()) << Join(wrong);

    // Plugged in: camera 2 is there to be chosen.
    AddCamera(1, Camera(L"Door", {Yuy2(640, 480), Yuy2(800, 600)}));
    vcam::BroadcastDeviceChange();
    std::set<int> lit = kStartLit;
    lit.insert(1016);
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 10000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    m_mark = m_traces.Mark();
    Press(dlg, 1016);
    ASSERT_TRUE(WaitTrace("Graph event 0xd\n")); // the preview runs on camera 2
    m_mark = m_traces.Mark();

    // The chosen camera lost: the preview goes back to the first, and so
    // do the buttons, with camera 2 "off" again.
    ASSERT_EQ(vcam::SetUnplugged(1, true), S_OK);
    vcam::BroadcastDeviceChange();
    ASSERT_TRUE(WaitTrace("Graph event 0x1f\n", 10000));
    wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, kStartLit, out); }, 10000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    ExpectNoBox(300);
    EXPECT_EQ(SavedOnClose(dlg, ReserveIni(), "CurDevIndex"), "0");
}

TEST_F(SetupDialogTest, TwentyOpeningsLeakNothingAndFreeTheImagesEachTime)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    auto cycle = [&](int i) {
        HWND dlg = OpenSetup();
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(CloseSetup(dlg));
        // A loaded image holds its file: rewritable only once freed.
        const uint32_t q[4] = {SkinColour(100 + i), SkinColour(101 + i), SkinColour(102 + i), 0};
        EXPECT_TRUE(tdrv::WaitUntil(
            [&] { return WriteQuarterPng(Pic() + L"\\setup_close.png", q, 160, 80, 3); }, 3000))
            << "cycle " << i << ": the close image is still held";
    };
    for (int i = 0; i < 3; ++i) // first-use allocations settle
        cycle(i);
    ::Sleep(500);
    const std::map<int, int> before = tdrv::GdiObjectsByType(m_app.Handle());
    const tdrv::ResourceCounts countsBefore = tdrv::CountResources(m_app.Handle());
    const auto handlesBefore = KernelHandlesByType(m_app.Pid());
    const uint64_t memoryBefore = tdrv::PrivateCommittedBytes(m_app.Handle());
    ASSERT_FALSE(before.empty()) << "the GDI objects must be countable";
    constexpr int kCycles = 20;
    for (int i = 0; i < kCycles; ++i)
        cycle(10 + i);
    // The last picture written shows at the next opening.
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    const uint32_t want[4] = {SkinColour(10 + kCycles - 1 + 100), SkinColour(10 + kCycles - 1 + 101),
                              SkinColour(10 + kCycles - 1 + 102), 0};
    const Box& close = ButtonOf(1008).box;
    Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) {
        Expect(s, close.x + 5, close.y + 5, want[0], "new close", out, kTolerance);
        Expect(s, close.Right() - 5, close.y + 5, want[1], "new close", out, kTolerance);
        Expect(s, close.x + 5, close.Bottom() - 5, want[2], "new close", out, kTolerance);
    });
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    ASSERT_TRUE(CloseSetup(dlg));

    // Wine's cache of window device contexts may grow a little on its own
    // (each with a region and a bitmap); the dialog's shape region, its
    // brush or the images kept per opening would add twenty or more.
    std::map<int, int> after;
    auto growth = [&](int type) {
        return (after.count(type) ? after.at(type) : 0) - (before.count(type) ? before.at(type) : 0);
    };
    enum { kDc = 1, kRegion = 4, kBitmap = 5 };
    auto settled = [&] {
        after = tdrv::GdiObjectsByType(m_app.Handle());
        for (const auto& kv : after) {
            const int type = kv.first;
            const int grown = type == kRegion || type == kBitmap ? growth(type) - growth(kDc) : growth(type);
            if (type != kDc && grown > 2)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(tdrv::WaitUntil(settled, 3000));
    for (const auto& kv : after)
        std::printf("GDI type %d: %d -> %d\n", kv.first, before.count(kv.first) ? before.at(kv.first) : 0, kv.second);
    const tdrv::ResourceCounts countsAfter = tdrv::CountResources(m_app.Handle());
    EXPECT_EQ(countsAfter.gdi, countsBefore.gdi);
    EXPECT_EQ(countsAfter.user, countsBefore.user);
    // Kernel handles: a save or a paint may hold a file or two for a moment.
    std::map<std::wstring, int> handlesAfter;
    auto handlesSettled = [&] {
        handlesAfter = KernelHandlesByType(m_app.Pid());
        for (const auto& kv : handlesAfter)
            if (kv.second > (handlesBefore.count(kv.first) ? handlesBefore.at(kv.first) : 0) + 2)
                return false;
        return true;
    };
    const bool handlesKept = tdrv::WaitUntil(handlesSettled, 3000);
    for (const auto& kv : handlesAfter)
        std::printf("%ls: %d -> %d\n", kv.first.c_str(), handlesBefore.count(kv.first) ? handlesBefore.at(kv.first) : 0,
                    kv.second);
    EXPECT_TRUE(handlesKept);
    // The setup set is some 3 MB decoded (the background alone 4 MB here):
    // kept per opening it would add sixty or more.
    const uint64_t memoryAfter = tdrv::PrivateCommittedBytes(m_app.Handle());
    std::printf("private memory: %llu -> %llu KB\n", static_cast<unsigned long long>(memoryBefore >> 10),
                static_cast<unsigned long long>(memoryAfter >> 10));
    EXPECT_LT(memoryAfter, memoryBefore + (24u << 20));
}

TEST_F(SetupDialogTest, HidingTheMainWindowClosesTheDialogAndSaves)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Press(dlg, 1021); // 10 minutes
    // Shown, so its request to the main window is queued before the close.
    std::set<int> lit = kStartLit;
    lit.erase(1022);
    lit.insert(1021);
    const Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); });
    ASSERT_TRUE(wrong.empty()) << Join(wrong);
    ::DeleteFileW(SetupIni().c_str());
    Post(WM_CLOSE);
    ASSERT_TRUE(WaitVisible(false));
    EXPECT_TRUE(tdrv::WaitUntil([&] { return !::IsWindow(dlg); }, 5000));
    EXPECT_TRUE(tdrv::WaitUntil([&] { return IniValue(SetupIni(), "IdleTime") == "2"; }, 5000));
    // The images went with it.
    const uint32_t q[4] = {SkinColour(7), SkinColour(8), SkinColour(9), 0};
    EXPECT_TRUE(tdrv::WaitUntil([&] { return WriteQuarterPng(Pic() + L"\\setup_close.png", q, 160, 80, 3); },
                                3000));
    EXPECT_TRUE(tdrv::WaitUntil([&] { return WriteQuarterPng(Pic() + L"\\setup_background.jpg", q, 50, 50, -1); },
                                3000)) << "background";
    // Reopened, the setup button opens a fresh dialog.
    Post(UM_EXTERN_CLICK);
    ASSERT_TRUE(WaitVisible(true));
    dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
}

TEST_F(SetupDialogTest, WithoutAnyBackgroundFileTheButtonsStillShow)
{
    MakeSkin();
    ASSERT_TRUE(::DeleteFileW((Pic() + L"\\setup_background.jpg").c_str()));
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    // No picture: not the background's colours and not the fall-back blue
    // (an image object exists, it just draws nothing).
    const Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) {
        for (const SetupButton& b : kButtons)
            if (b.on == b.off)
                ExpectFace(s, b.box, b.on, b.name, out, false);
        for (int y = 130; y < 150; y += 9)
            for (int x = 30; x < 570; x += 31) {
                const uint32_t c = s.pixels.At(x, y);
                for (int q = 0; q < 4; ++q)
                    if (ColourDiff(c, QuarterColour(kBackground, q)) <= 14 && out.size() < 12)
                        out.push_back("background colour at " + std::to_string(x) + ", " + std::to_string(y));
                if (ColourDiff(c, 0x0000C8) <= 14 && out.size() < 12)
                    out.push_back("fall-back blue at " + std::to_string(x) + ", " + std::to_string(y));
            }
    });
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
}

// ---- the user manual ---------------------------------------------------------------

TEST_F(SetupDialogTest, UserManualMissingIsReported)
{
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Press(dlg, 1028);
    ExpectSetupBox(dlg, L"Tamsel", L"Can not find user manual");
    EXPECT_TRUE(::IsWindow(dlg)) << "the dialog stays open";
}

TEST_F(SetupDialogTest, UserManualOpensWithTheShellsHandler)
{
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    const std::wstring manual = m_folder + L"\\User Manual.pdf";
    const std::wstring record = m_folder + L"\\opened.txt";
    {
        HANDLE f = ::CreateFileW(manual.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        ::CloseHandle(f);
    }
    // A handler of the test's own for .pdf, in this prefix's user classes:
    // it writes the file it was given into the record. Wine's classes root
    // does not read the user's classes, so there the machine's entry of the
    // prefix is pointed at it too (and put back afterwards).
    const std::wstring command = L"cmd.exe /c echo opened %1>\"" + record + L"\"";
    ASSERT_TRUE(RegisterPdfHandler(HKEY_CURRENT_USER, command));
    if (ClassesRootPdf() != kPdfProgId) {
        m_machinePdf = ClassesRootPdf();
        m_machinePdfChanged = true;
        ASSERT_TRUE(RegisterPdfHandler(HKEY_LOCAL_MACHINE, command));
    }
    ASSERT_EQ(ClassesRootPdf(), kPdfProgId);

    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Press(dlg, 1028);
    std::string text;
    EXPECT_TRUE(tdrv::WaitUntil([&] { text = ReadFile(record); return !text.empty(); }, 10000));
    EXPECT_NE(text.find("opened"), std::string::npos) << text;
    EXPECT_NE(text.find("User Manual.pdf"), std::string::npos) << text;
    ExpectNoBox(1000);
}

// ---- a screen 600 pixels high (the small_screen environment) --------------------------

class SetupDialogSmallScreen : public SetupDialogTest {
protected:
    void SetUp() override
    {
        if (::GetSystemMetrics(SM_CYSCREEN) >= 768)
            GTEST_SKIP() << "needs a screen less than 768 pixels high";
        SetupDialogTest::SetUp();
    }
};

TEST_F(SetupDialogSmallScreen, TheLargePreviewIsRefusedWithoutAMessage)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    Press(dlg, 1018);
    ExpectNoBox(1500);
    // The answer (3, 0) ended the busy state: the next request is taken.
    Press(dlg, 1005);
    std::set<int> lit = kStartLit;
    lit.erase(1003);
    lit.insert(1005);
    const Findings wrong = UntilShown(dlg, [&](const Shot& s, Findings& out) { ExpectFaces(s, lit, out); }, 8000);
    EXPECT_TRUE(wrong.empty()) << Join(wrong);
    EXPECT_EQ(SavedOnClose(dlg, SetupIni(), "PreviewSize"), "1");
    EXPECT_EQ(IniValue(SetupIni(), "Resolution"), "1");
}

TEST_F(SetupDialogSmallScreen, TheDialogLiesInsideTheWorkAreaAndClosesByMouse)
{
    MakeSkin();
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    RECT work{}, r{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(dlg, &r);
    EXPECT_GE(r.left, work.left);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.right, work.right);
    EXPECT_LE(r.bottom, work.bottom);
    const Box& close = ButtonOf(1008).box;
    const POINT at = ToScreen(dlg, Centre(close));
    // Nothing else of the program covers the close button.
    EXPECT_EQ(::GetAncestor(::WindowFromPoint(at), GA_ROOT), dlg);
    tdrv::MouseMove(at.x, at.y);
    tdrv::MouseButton(at.x, at.y, true);
    tdrv::MouseButton(at.x, at.y, false);
    EXPECT_TRUE(tdrv::WaitUntil([&] { return !::IsWindow(dlg); }, 5000));
}

// ---- screenshots for the documents ------------------------------------------------

// Not a test: scripts/screenshots.sh runs it with the real skin beside the
// program, a receiver simulator and the folder to write into.
class SetupScreenshots : public SetupDialogTest {
protected:
    void SetUp() override
    {
        SetupDialogTest::SetUp();
        m_out = tdrv::Env("TAMSEL_SCREENSHOTS_DIR");
        ASSERT_FALSE(m_out.empty()) << "TAMSEL_SCREENSHOTS_DIR names the folder for the pictures";
        const std::wstring exe = tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE"));
        const std::wstring from = exe.substr(0, exe.find_last_of(L'\\')) + L"\\pic";
        ::CreateDirectoryW(Pic().c_str(), nullptr);
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no skin beside the program";
        do
            ::CopyFileW((from + L"\\" + data.cFileName).c_str(), (Pic() + L"\\" + data.cFileName).c_str(), FALSE);
        while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }

    void SaveWindow(HWND wnd, const char* name)
    {
        ::Sleep(1500);
        EXPECT_TRUE(tdrv::ScreenPixels::OfWindow(wnd).SavePng(tdrv::ToWindowsPath(m_out + "/" + name))) << name;
    }

    std::string m_out;
    gpssim::Client m_sim;
};

TEST_F(SetupScreenshots, DISABLED_Take)
{
    constexpr int kPort = 63;
    const bool sim = m_sim.Available() && m_sim.Add(kPort, "fix");
    WriteIni(SetupIni(), L"App_Setting", L"GPSComport", std::to_wstring(kPort).c_str());
    WriteIni(SetupIni(), L"App_Setting", L"Resolution", L"4");
    WriteIni(SetupIni(), L"App_Setting", L"IdleTime", L"1");
    WriteIni(SetupIni(), L"App_Setting", L"Flsah_on", L"1");
    AddCamera(0, Camera(L"Desk", {Yuy2(640, 480), Yuy2(800, 600)}));
    AddCamera(1, Camera(L"Door", {Yuy2(640, 480), Yuy2(800, 600)}));
    Open();
    HWND dlg = OpenSetup();
    ASSERT_NE(dlg, nullptr);
    SaveWindow(dlg, "setup-default.png");

    // Every group away from its default: camera 2 of 2, SVGA, the large
    // preview, geotagging on, flash off, 20 minutes.
    for (int id : {1016, 1003, 1018, 1025, 1031, 1023}) {
        Press(dlg, id);
        ::Sleep(2500); // answered before the next request
    }
    dlg = OwnedDialogWithControl(Main(), 1015);
    ASSERT_NE(dlg, nullptr);
    SaveWindow(dlg, "setup-changed.png");
    if (sim) {
        m_sim.Remove(kPort);
    }
}

} // namespace
} // namespace e2e
