// The main window's paint, timed on the real program: the whole window made
// invalid from outside and brought up to date at once (RedrawWindow with
// RDW_UPDATENOW returns when the window and every button it asked to draw
// again have painted), against a plain GDI+ draw of the same skin files at
// the same rectangles into a window of the same size, in the same run.
//
//   tamsel_bench_paint.exe [--steps N]
//       TAMSEL_EXE names the program, TAMSEL_VCAM_DLL the camera. The skin is
//       the "pic" folder beside the program; without one, a stand-in skin of
//       the documented image sizes is drawn into a copy's folder.
//
// Prints one line per subject and window size, in live preview and in
// picture review: median, min and max.
#include <windows.h>
#include <shlobj.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Driver.h"
#include "BenchSupport.h"
#include "Timing.h"
#include "VcamConfig.h"
#include "framework/Gdiplus.h"
#include "framework/Messages.h"

namespace {

namespace gp = Gdiplus::DllExports;

constexpr UINT kModeSwitch = 1012;

struct Box {
    int x, y, w, h;
};

struct Face {
    const wchar_t* file;
    int sourceW, sourceH; // the stand-in's size (the large window's)
};

// What one paint draws: the background, then the seven buttons; the GPS
// indicator follows from a posted refresh and is drawn here too.
const Face kBackground = {L"Main-ui-background.png", 800, 800};
const Face kFaces[] = {
    {L"close_btn.png", 150, 70},  {L"setup_btn.png", 150, 100},  {L"capture_btn.png", 150, 100},
    {L"delete_btn.png", 150, 100}, {L"left_arrow.png", 100, 100}, {L"right_arrow.png", 100, 100},
    {L"mode_switch.png", 100, 100}, {L"GPS_off.png", 170, 57},
};

struct WindowSize {
    int previewSize, side;
    Box faces[8];
    Box thumb;
};
const WindowSize kSizes[] = {
    {1, 600,
     {{485, 119, 110, 50}, {485, 184, 110, 70}, {485, 254, 110, 70}, {485, 324, 110, 70}, {65, 431, 70, 70},
      {265, 431, 70, 70}, {352, 431, 70, 70}, {443, 26, 128, 44}},
     {152, 431, 96, 72}},
    {2, 800,
     {{627, 161, 150, 70}, {627, 261, 150, 100}, {627, 361, 150, 100}, {627, 461, 150, 100}, {87, 574, 100, 100},
      {348, 574, 100, 100}, {465, 574, 100, 100}, {591, 35, 170, 57}},
     {202, 574, 129, 97}},
};

// A stand-in face: a shaded disc with an alpha edge on a rounded panel, so
// the draw blends as a real skin's does.
bool WriteStandIn(const std::wstring& path, int w, int h, int seed)
{
    CLSID png;
    if (!tdrv::EncoderClsid(L"image/png", png))
        return false;
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
            const double d = std::sqrt(dx * dx + dy * dy);
            const int alpha = d > 1.0 ? 0 : d > 0.9 ? static_cast<int>((1.0 - d) * 2550) : 255;
            const int shade = 60 + static_cast<int>(120 * (1.0 - d * 0.7)) + seed * 7 % 60;
            px[static_cast<size_t>(y) * w + x] = static_cast<uint32_t>(alpha) << 24 | (shade & 0xFF) << 16 |
                                                 ((shade / 2 + seed * 13) & 0xFF) << 8 | ((200 - shade / 3) & 0xFF);
        }
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(px.data()),
                                      &bitmap) != Gdiplus::Ok)
        return false;
    fw::GpImagePtr owned(bitmap);
    return gp::GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

void Report(const char* subject, int side, const std::vector<double>& ms)
{
    std::printf("%s, %d x %d: median %.2f ms, min %.2f ms, max %.2f ms over %zu\n", subject, side, side,
                benchwin::Median(ms), benchwin::Min(ms), benchwin::Max(ms), ms.size());
    std::fflush(stdout);
}

// The yardstick: the same files, loaded once, drawn as the window's paint
// draws them, into a window of its own.
std::vector<double> PlainPaints(const std::wstring& pic, const WindowSize& size, int steps)
{
    std::vector<fw::GpImagePtr> images;
    auto load = [&](const wchar_t* file) {
        Gdiplus::GpImage* raw = nullptr;
        gp::GdipLoadImageFromFile((pic + L"\\" + file).c_str(), &raw);
        images.emplace_back(raw);
        return raw;
    };
    Gdiplus::GpImage* background = load(kBackground.file);
    std::vector<Gdiplus::GpImage*> faces;
    for (const Face& f : kFaces)
        faces.push_back(load(f.file));
    HWND wnd = ::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, size.side, size.side,
                                 nullptr, nullptr, nullptr, nullptr);
    std::vector<double> ms;
    for (int i = 0; i < steps + 2; ++i) {
        const double start = benchwin::NowMs();
        HDC dc = ::GetWindowDC(wnd);
        Gdiplus::GpGraphics* g = nullptr;
        gp::GdipCreateFromHDC(dc, &g);
        gp::GdipDrawImageRectI(g, background, 0, 0, size.side, size.side);
        gp::GdipFlush(g, Gdiplus::FlushIntentionSync);
        RECT thumb{size.thumb.x, size.thumb.y, size.thumb.x + size.thumb.w, size.thumb.y + size.thumb.h};
        ::FillRect(dc, &thumb, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::SetBkMode(dc, TRANSPARENT);
        ::TextOutW(dc, thumb.left + size.thumb.w / 2 - 30, thumb.top + size.thumb.h / 2 - 10, L"No Picture", 10);
        for (size_t f = 0; f < faces.size(); ++f) {
            const Box& b = size.faces[f];
            gp::GdipDrawImageRectI(g, faces[f], b.x, b.y, b.w, b.h);
        }
        gp::GdipDeleteGraphics(g);
        ::ReleaseDC(wnd, dc);
        ::GdiFlush();
        if (i >= 2)
            ms.push_back(benchwin::NowMs() - start);
    }
    ::DestroyWindow(wnd);
    return ms;
}

// The program's paint: the main window invalid, then brought up to date with
// every window it made invalid meanwhile; `own` is the main window's
// WM_PAINT alone (the background, the thumbnail box), `buttons` the buttons
// that drew over it afterwards.
struct ProgramTimes {
    std::vector<double> whole, own, buttons;
};

ProgramTimes ProgramPaints(HWND wnd, int steps)
{
    ProgramTimes t;
    for (int i = 0; i < steps + 2; ++i) {
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        const double start = benchwin::NowMs();
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_UPDATENOW | RDW_NOCHILDREN);
        const double own = benchwin::NowMs();
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        const double end = benchwin::NowMs();
        if (i >= 2) {
            t.whole.push_back(end - start);
            t.own.push_back(own - start);
            t.buttons.push_back(end - own);
        }
        ::Sleep(20); // the indicator refresh each paint posts
    }
    return t;
}

void WriteSetting(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* value)
{
    ::CreateDirectoryW(FolderOf(file).c_str(), nullptr);
    ::WritePrivateProfileStringW(section, key, value, file.c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int steps = benchwin::StepsArg(argc, argv, 50);
    if (!benchwin::PrepareProgramBench("tamsel_bench_paint.exe"))
        return 2;

    std::wstring exe = tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE"));
    std::wstring pic = FolderOf(exe) + L"\\pic";
    std::wstring copyFolder;
    if (Exists(pic + L"\\" + kBackground.file)) {
        std::printf("skin: %ls\n", pic.c_str());
    } else {
        // A copy of the program beside a stand-in skin.
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        copyFolder = std::wstring(temp) + L"tamsel-paint-bench";
        pic = copyFolder + L"\\pic";
        ::CreateDirectoryW(copyFolder.c_str(), nullptr);
        ::CreateDirectoryW(pic.c_str(), nullptr);
        const std::wstring copy = copyFolder + L"\\Tamsel.exe";
        bool ok = ::CopyFileW(exe.c_str(), copy.c_str(), FALSE) &&
                  WriteStandIn(pic + L"\\" + kBackground.file, kBackground.sourceW, kBackground.sourceH, 0);
        int seed = 1;
        for (const Face& f : kFaces)
            ok = ok && WriteStandIn(pic + L"\\" + f.file, f.sourceW, f.sourceH, seed++);
        if (!ok) {
            std::printf("the stand-in skin cannot be written\n");
            return 1;
        }
        exe = copy;
        std::printf("skin: stand-in images of the documented sizes (no pic folder beside the program)\n");
    }

    wchar_t appData[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    const std::wstring setup = std::wstring(appData) + L"\\Corvane Varnex\\setup.ini";
    WriteSetting(setup, L"App_Setting", L"Geotagging", L"0");

    benchwin::OnlyCameraVga();

    int failed = 0;
    for (const WindowSize& size : kSizes) {
        if (size.side > ::GetSystemMetrics(SM_CYSCREEN)) {
            std::printf("%d x %d: the screen is too small\n", size.side, size.side);
            continue;
        }
        const std::vector<double> plain = PlainPaints(pic, size, steps);
        WriteSetting(setup, L"App_Setting", L"PreviewSize", std::to_wstring(size.previewSize).c_str());
        tdrv::KillStrayPrograms();
        tdrv::Process app = tdrv::Process::Launch(exe, L"");
        HWND wnd = tdrv::WaitForMainWindow(10000);
        if (!app || !wnd || !tdrv::WaitUntil([&] { return ::IsWindowVisible(wnd) != FALSE; }, 10000)) {
            std::printf("the program did not open\n");
            failed = 1;
            break;
        }
        ::Sleep(1500); // the preview is up
        Report("same images drawn (plain GDI+)", size.side, plain);
        for (const char* mode : {"live preview", "picture review"}) {
            if (std::strcmp(mode, "picture review") == 0) {
                // The live video's window goes with the switch.
                ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(kModeSwitch, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(wnd, kModeSwitch)));
                ::Sleep(1500);
            }
            const ProgramTimes program = ProgramPaints(wnd, steps);
            std::printf("-- %s\n", mode);
            Report("window paint (program)", size.side, program.whole);
            Report("  of which the main window's own", size.side, program.own);
            Report("  of which the buttons after it", size.side, program.buttons);
            std::printf("ratio of medians, %d x %d, %s: %.2f\n", size.side, size.side, mode,
                        benchwin::Median(program.whole) / benchwin::Median(plain));
        }
        ::PostMessageW(wnd, tamsel::UM_QUIT, 0, 0);
        app.WaitExit(10000);
    }
    vcam::DeleteAllDevices();
    ::DeleteFileW(setup.c_str());
    if (!copyFolder.empty()) {
        ::DeleteFileW((pic + L"\\" + kBackground.file).c_str());
        for (const Face& f : kFaces)
            ::DeleteFileW((pic + L"\\" + f.file).c_str());
        ::RemoveDirectoryW(pic.c_str());
        ::DeleteFileW((copyFolder + L"\\Tamsel.exe").c_str());
        ::RemoveDirectoryW(copyFolder.c_str());
    }
    return failed;
}
