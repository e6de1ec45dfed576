// A fresh Tamsel.exe per test: no settings files, no registry entries, no
// debug log, a chosen Windows version; ended and cleaned up afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Driver.h"
#include "VcamConfig.h"
#include "framework/Messages.h"

namespace e2e {

// The program's own message numbers and tray icon id are the protocol the
// tests speak.
using namespace tamsel;

std::wstring SettingsFolder();
std::wstring SetupIni();
std::wstring ReserveIni();
std::wstring LogPath();
// Where the program's test capture lands (F:\temp.jpg).
std::wstring TestCapturePath();
// Value of an INI key, read as text; empty when missing.
std::string IniValue(const std::wstring& path, const std::string& key);
// The bytes of a file as text; empty when it does not exist.
std::string ReadFile(const std::wstring& path);
bool FileExists(const std::wstring& path);
void WriteIni(const std::wstring& path, const wchar_t* section, const wchar_t* key,
              const wchar_t* value);
// The Windows version Wine reports to Tamsel.exe ("winxp64", "win7", ...).
void SetWindowsVersion(const wchar_t* name);
using tdrv::KernelHandlesByType;
// Windows (top-level and children) that belong to a process.
int WindowCount(DWORD pid);
// A visible dialog owned by `owner` that is no message box, waited for; null
// when none shows within the time.
HWND WaitForOwnedDialog(HWND owner, DWORD ms);

using tdrv::OwnedDialogWithControl;

// What a look at the screen found wrong, one line each, and the lines as one
// text for a failure message.
using Findings = std::vector<std::string>;
std::string Join(const Findings& findings);

// Test skins: distinct colours (five levels a channel, no greys, so any two
// differ by 50 in some channel and none is black or white) ...
uint32_t SkinColour(int k);
// ... and a PNG of four quarters in the given colours (0x00RRGGBB: top left,
// top right, bottom left, bottom right); quarter `clearQuarter` (0..3) is
// left transparent, none for -1.
bool WriteQuarterPng(const std::wstring& path, const uint32_t (&quarters)[4], int w, int h, int clearQuarter);
// The largest difference of two colours in one channel.
int ColourDiff(uint32_t a, uint32_t b);
// A colour as six hexadecimal digits (RRGGBB) for a finding.
std::string Hex(uint32_t colour);

// ---- looking at the screen ------------------------------------------------------

// What a shot covers: the whole window, or only its client area.
enum class ShotArea { kWindow, kClient };

// A window as the screen shows it, in the coordinates of the area taken.
struct Shot {
    tdrv::ScreenPixels pixels;
    POINT origin{}; // the area's upper left corner on the screen
    int side = 0;   // the area's width
    uint32_t At(int x, int y) const { return pixels.At(x, y); }
    // Part of the window may lie off the screen; those points are not judged.
    bool OnScreen(int x, int y) const;
};
Shot TakeShot(HWND wnd, ShotArea area = ShotArea::kWindow);

// A finding when the point differs from `want` by more than `tolerance` in a
// channel. A `want` of 0 marks a point not judged (where the quarters of a
// stretched test image blend), as are points off the screen.
void Expect(const Shot& shot, int x, int y, uint32_t want, const std::string& what, Findings& out, int tolerance);

// Takes shots until `check` finds nothing wrong; the last findings otherwise.
Findings UntilShown(HWND wnd, const std::function<void(const Shot&, Findings&)>& check, DWORD ms = 6000,
                    ShotArea area = ShotArea::kWindow);

class TamselTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program with a command-line tail.
    void Start(const std::wstring& args = L"");
    // The main window, waiting for it to exist.
    HWND Main();
    void Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0);
    // Waits for the program's next message box, checks it and presses OK.
    void ExpectBox(const std::wstring& caption, const std::wstring& text);
    // No message box of the program appears within the time.
    void ExpectNoBox(DWORD ms);
    bool Visible() { return ::IsWindowVisible(Main()) != FALSE; }
    bool WaitVisible(bool visible, DWORD ms = 5000);
    // Adds a virtual camera (number n) to the video input category.
    void AddCamera(int number, const vcam::DeviceConfig& config = vcam::DeviceConfig());
    // Starts hidden ("-h") and opens the window with an external click; with
    // no camera the preview cannot start and says so.
    void StartOpen();
    // Asks the program to end (WM_USER+170) and waits for it.
    bool QuitProgram();
    // The picture viewer inside the main window.
    HWND Viewer();
    // The viewer holds the graph's video window while a live graph exists.
    bool LiveVideoShown() { return ::GetWindow(Viewer(), GW_CHILD) != nullptr; }
    // The picture the hidden test button (1001) writes to F:\temp.jpg; empty
    // when none comes. A graph just (re)started may not be running yet, and
    // then the capture writes nothing: the button is pressed again, one press
    // at a time (a capture that gets no frame holds the window for its whole
    // wait).
    std::vector<uint8_t> TestCapture();
    // A button of the main window clicked (WM_COMMAND with BN_CLICKED).
    void Command(UINT id);
    // Lets messages posted back to back and what they started run out: a
    // handler that pumps may finish well after the messages were dispatched.
    static void Settle(DWORD ms = 2000) { ::Sleep(ms); }
    bool WaitTrace(const std::string& text, DWORD ms = 5000);
    // Waits for a whole save of the settings files (and the picture list)
    // that ended after `mark` (a m_traces.Mark() taken before asking for it).
    bool WaitSaved(size_t mark, DWORD ms = 15000) { return m_traces.WaitFor("Settings saved\n", mark, ms); }
    int CountTrace(const std::string& text);

    tdrv::Process m_app;
    tdrv::DebugStrings m_traces;
    size_t m_mark = 0;
};

} // namespace e2e
