#include "Fixture.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "framework/Gdiplus.h"

#include <map>
#include <utility>
#include <vector>

namespace e2e {

namespace {

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VarnexApplication";
constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\Tamsel.exe";

std::wstring Folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

void RemoveSettingsAndLog()
{
    ::DeleteFileW(SetupIni().c_str());
    ::DeleteFileW(ReserveIni().c_str());
    ::RemoveDirectoryW(SettingsFolder().c_str());
    ::DeleteFileW(LogPath().c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
}

} // namespace

std::wstring SettingsFolder() { return Folder(CSIDL_APPDATA) + L"\\Corvane Varnex"; }
std::wstring SetupIni() { return SettingsFolder() + L"\\setup.ini"; }
std::wstring ReserveIni() { return SettingsFolder() + L"\\reserve.ini"; }

std::wstring LogPath()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"VarnexApDbg.log";
}

std::string ReadFile(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(file, buf, sizeof buf, &got, nullptr) && got)
        text.append(buf, got);
    ::CloseHandle(file);
    return text;
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteIni(const std::wstring& path, const wchar_t* section, const wchar_t* key,
              const wchar_t* value)
{
    ::CreateDirectoryW(SettingsFolder().c_str(), nullptr);
    ::WritePrivateProfileStringW(section, key, value, path.c_str());
}

void SetWindowsVersion(const wchar_t* name)
{
    HKEY key;
    if (::RegCreateKeyW(HKEY_CURRENT_USER, kAppDefaults, &key) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                     static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

namespace {

struct WindowTally {
    DWORD pid;
    int count;
};

BOOL CALLBACK TallyChild(HWND wnd, LPARAM param)
{
    ++reinterpret_cast<WindowTally*>(param)->count;
    (void)wnd;
    return TRUE;
}

BOOL CALLBACK TallyTop(HWND wnd, LPARAM param)
{
    auto& tally = *reinterpret_cast<WindowTally*>(param);
    if (tdrv::WindowPid(wnd) == tally.pid) {
        ++tally.count;
        ::EnumChildWindows(wnd, &TallyChild, param);
    }
    return TRUE;
}

} // namespace

int WindowCount(DWORD pid)
{
    WindowTally tally{pid, 0};
    ::EnumWindows(&TallyTop, reinterpret_cast<LPARAM>(&tally));
    return tally.count;
}

namespace {

} // namespace

std::string Join(const Findings& findings)
{
    std::string text;
    for (const std::string& f : findings)
        text += "\n  " + f;
    return text;
}

uint32_t SkinColour(int k)
{
    static const std::vector<uint32_t> colours = [] {
        const int level[] = {30, 80, 130, 180, 230};
        std::vector<uint32_t> out;
        for (int b = 0; b < 5; ++b)
            for (int g = 0; g < 5; ++g)
                for (int r = 0; r < 5; ++r)
                    if (!(r == g && g == b))
                        out.push_back(static_cast<uint32_t>(level[r] << 16 | level[g] << 8 | level[b]));
        return out;
    }();
    // A stride through the cube keeps neighbouring numbers far apart.
    return colours[static_cast<size_t>(k) * 37 % colours.size()];
}

bool WriteQuarterPng(const std::wstring& path, const uint32_t (&quarters)[4], int w, int h, int clearQuarter)
{
    CLSID png;
    if (!tdrv::StartGdiplus() || !tdrv::EncoderClsid(L"image/png", png))
        return false;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int q = (x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0);
            pixels[static_cast<size_t>(y) * w + x] = q == clearQuarter ? 0u : 0xFF000000u | quarters[q];
        }
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB,
                                                       reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Gdiplus::Ok)
        return false;
    const bool saved = Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return saved;
}

std::string Hex(uint32_t colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06x", static_cast<unsigned>(colour));
    return text;
}

bool Shot::OnScreen(int x, int y) const
{
    const int sx = origin.x + x, sy = origin.y + y;
    return sx >= 0 && sy >= 0 && sx < ::GetSystemMetrics(SM_CXSCREEN) && sy < ::GetSystemMetrics(SM_CYSCREEN);
}

Shot TakeShot(HWND wnd, ShotArea area)
{
    RECT r{};
    if (area == ShotArea::kWindow) {
        ::GetWindowRect(wnd, &r);
    } else {
        ::GetClientRect(wnd, &r);
        ::MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    Shot shot;
    shot.origin = {r.left, r.top};
    shot.side = r.right - r.left;
    shot.pixels = tdrv::ScreenPixels::Capture(r);
    return shot;
}

void Expect(const Shot& shot, int x, int y, uint32_t want, const std::string& what, Findings& out, int tolerance)
{
    if (!want || !shot.OnScreen(x, y))
        return;
    const uint32_t got = shot.At(x, y);
    if (ColourDiff(got, want) > tolerance && out.size() < 12)
        out.push_back(what + " at (" + std::to_string(x) + ", " + std::to_string(y) + "): " + Hex(got) +
                      " instead of " + Hex(want));
}

Findings UntilShown(HWND wnd, const std::function<void(const Shot&, Findings&)>& check, DWORD ms, ShotArea area)
{
    Findings last;
    tdrv::WaitUntil(
        [&] {
            last.clear();
            const Shot shot = TakeShot(wnd, area);
            if (shot.pixels.Empty())
                last.push_back("the screen cannot be copied");
            else
                check(shot, last);
            return last.empty();
        },
        ms, 100);
    return last;
}

int ColourDiff(uint32_t a, uint32_t b)
{
    int worst = 0;
    for (int shift : {0, 8, 16}) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        worst = (std::max)(worst, d < 0 ? -d : d);
    }
    return worst;
}

// ---- fixture ----------------------------------------------------------------

namespace {

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND wnd, LPARAM param)
{
    auto& search = *reinterpret_cast<OwnedSearch*>(param);
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (std::wstring(cls) == L"#32770" && ::IsWindowVisible(wnd) && ::GetWindow(wnd, GW_OWNER) == search.owner &&
        !::GetDlgItem(wnd, 0xFFFF)) { // a message box's text
        search.found = wnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND WaitForOwnedDialog(HWND owner, DWORD ms)
{
    OwnedSearch search{owner, nullptr};
    tdrv::WaitUntil(
        [&] {
            ::EnumWindows(&FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        ms);
    return search.found;
}

std::wstring TestCapturePath() { return L"F:\\temp.jpg"; }

std::string IniValue(const std::wstring& path, const std::string& key)
{
    const std::string text = ReadFile(path);
    size_t at = 0;
    while ((at = text.find(key + "=", at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == '\n') {
            const size_t begin = at + key.size() + 1;
            const size_t end = text.find_first_of("\r\n", begin);
            return text.substr(begin, end == std::string::npos ? end : end - begin);
        }
        ++at;
    }
    return {};
}

void TamselTest::AddCamera(int number, const vcam::DeviceConfig& config)
{
    ASSERT_EQ(vcam::WriteDevice(number, config), S_OK);
    ASSERT_EQ(vcam::RegisterDevices(), S_OK);
}

void TamselTest::SetUp()
{
    vcam::DeleteAllDevices();
    vcam::RegisterDevices();
    ::DeleteFileW(TestCapturePath().c_str());
    tdrv::KillStrayPrograms();
    RemoveSettingsAndLog();
    SetWindowsVersion(L"win7");
}

void TamselTest::TearDown()
{
    if (m_app.Running()) {
        for (const auto& box : tdrv::FindMessageBoxes(m_app.Pid()))
            tdrv::AnswerMessageBox(box);
        QuitProgram();
        m_app.Kill();
    }
    tdrv::KillStrayPrograms();
    RemoveSettingsAndLog();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kAppDefaults);
}

void TamselTest::Start(const std::wstring& args)
{
    m_mark = m_traces.Mark();
    m_app = tdrv::Process::Launch(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")), args);
    ASSERT_TRUE(m_app) << "Tamsel.exe did not start";
}

HWND TamselTest::Main()
{
    HWND wnd = tdrv::WaitForMainWindow(10000);
    EXPECT_NE(wnd, nullptr) << "no main window";
    return wnd;
}

void TamselTest::Post(UINT msg, WPARAM wp, LPARAM lp)
{
    ASSERT_TRUE(::PostMessageW(Main(), msg, wp, lp));
}

void TamselTest::ExpectBox(const std::wstring& caption, const std::wstring& text)
{
    const auto box = tdrv::WaitForMessageBox(m_app.Pid(), 10000);
    ASSERT_TRUE(box.has_value()) << "expected the box \"" << testing::PrintToString(text) << "\"";
    EXPECT_EQ(box->caption, caption);
    EXPECT_EQ(box->text, text);
    EXPECT_EQ(box->owner, tdrv::FindMainWindow()) << "a box is owned by the main window";
    ASSERT_TRUE(tdrv::AnswerMessageBox(*box));
}

void TamselTest::ExpectNoBox(DWORD ms)
{
    const auto box = tdrv::WaitForMessageBox(m_app.Pid(), ms);
    if (box) {
        ADD_FAILURE() << "unexpected box: " << testing::PrintToString(box->caption) << " / "
                      << testing::PrintToString(box->text);
        tdrv::AnswerMessageBox(*box);
    }
}

bool TamselTest::WaitVisible(bool visible, DWORD ms)
{
    return tdrv::WaitUntil([&] { return Visible() == visible; }, ms);
}

void TamselTest::StartOpen()
{
    const bool camera = !vcam::ListDevices().empty();
    Start(L"-h");
    ASSERT_TRUE(tdrv::WaitForMainWindow(10000));
    if (!camera) {
        ASSERT_TRUE(WaitTrace("No camera devie plug-in"));
    }
    ASSERT_TRUE(WaitTrace("Not find Varnex application\n"));
    // The hidden start is done once its first settings trace is out and the
    // tray icon is in place.
    ASSERT_TRUE(tdrv::WaitUntil([] { return tdrv::TrayIconExists(tdrv::FindMainWindow(), kTrayIconId); }, 10000));
    Post(UM_EXTERN_CLICK);
    ASSERT_TRUE(WaitVisible(true));
    if (!camera) {
        ExpectBox(L"Tamsel", L"Start preview error");
    }
}

bool TamselTest::QuitProgram()
{
    HWND wnd = tdrv::FindMainWindow();
    if (wnd)
        ::PostMessageW(wnd, UM_QUIT, 0, 0);
    return m_app.WaitExit(10000);
}

HWND TamselTest::Viewer()
{
    return ::FindWindowExW(Main(), nullptr, L"#32770", nullptr);
}

void TamselTest::Command(UINT id)
{
    Post(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(Main(), id)));
}

std::vector<uint8_t> TamselTest::TestCapture()
{
    std::vector<uint8_t> bytes;
    for (int attempt = 0; attempt < 5 && bytes.empty(); ++attempt) {
        ::DeleteFileW(TestCapturePath().c_str());
        Post(WM_COMMAND, 1001);
        tdrv::WaitUntil(
            [&] {
                const std::string text = ReadFile(TestCapturePath());
                bytes.assign(text.begin(), text.end());
                return !bytes.empty() && tdrv::Picture(bytes).Valid();
            },
            6000, 50);
        if (!tdrv::Picture(bytes).Valid())
            bytes.clear();
    }
    return bytes;
}

bool TamselTest::WaitTrace(const std::string& text, DWORD ms)
{
    return m_traces.WaitFor(text, m_mark, ms);
}

int TamselTest::CountTrace(const std::string& text)
{
    int n = 0;
    for (const std::string& s : m_traces.Since(m_mark))
        n += s == text;
    return n;
}

} // namespace e2e
