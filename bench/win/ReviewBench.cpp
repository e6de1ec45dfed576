// Paging in picture review, timed on the real program: from the arrow
// command to the moment the viewer shows the other 2592 x 1944 picture on the
// screen, against a plain GDI+ load and draw of the same files into a window
// of the viewer's size, in the same run.
//
//   tamsel_bench_review.exe [--steps N]
//       TAMSEL_EXE names the program, TAMSEL_VCAM_DLL the camera
//
// Prints one line per subject: median, min and max over N steps.
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

constexpr int kWidth = 2592, kHeight = 1944;
constexpr int kViewerW = 360, kViewerH = 272; // the small window's viewer
constexpr UINT kLeftArrow = 1009, kRightArrow = 1010, kModeSwitch = 1012;

namespace gp = Gdiplus::DllExports;

// A photo-like picture: a tinted gradient with fine texture, so the decoder
// has real work; `red` chooses which colour dominates.
bool WritePicture(const std::wstring& path, bool red)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t noise = 2463534242u;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int texture = static_cast<int>(noise % 40) + static_cast<int>(20 * std::sin(x / 9.0) * std::cos(y / 7.0));
            const int main = 170 + texture, other = 30 + texture / 2;
            uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<uint8_t>(red ? other : main); // blue
            p[1] = static_cast<uint8_t>(other);
            p[2] = static_cast<uint8_t>(red ? main : other);
        }
    Gdiplus::GpBitmap* bitmap = nullptr;
    CLSID jpeg;
    if (!tdrv::EncoderClsid(L"image/jpeg", jpeg) || gp::GdipCreateBitmapFromScan0(kWidth, kHeight, kWidth * 3, PixelFormat24bppRGB,
                                                             pixels.data(), &bitmap) != Gdiplus::Ok)
        return false;
    fw::GpImagePtr owned(bitmap);
    return gp::GdipSaveImageToFile(bitmap, path.c_str(), &jpeg, nullptr) == Gdiplus::Ok;
}

bool Reddish(COLORREF c) { return GetRValue(c) > 110 && GetBValue(c) < 100; }
bool Bluish(COLORREF c) { return GetBValue(c) > 110 && GetRValue(c) < 100; }

COLORREF ScreenPixel(POINT p)
{
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, p.x, p.y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

// Waits until the screen point shows the colour; milliseconds, or -1.
double TimeUntil(POINT p, bool red, double start)
{
    while (benchwin::NowMs() - start < 10000) {
        const COLORREF c = ScreenPixel(p);
        if (red ? Reddish(c) : Bluish(c))
            return benchwin::NowMs() - start;
        ::Sleep(1); // each look costs the X server and Wine's server a round trip
    }
    return -1;
}

void Report(const char* subject, const std::vector<double>& ms)
{
    std::printf("%s: median %.1f ms, min %.1f ms, max %.1f ms over %zu\n", subject, benchwin::Median(ms),
                benchwin::Min(ms), benchwin::Max(ms), ms.size());
    std::fflush(stdout);
}

// The yardstick: load and draw each file stretched into a window of the
// viewer's size, as a plain GDI+ program would.
std::vector<double> PlainDraws(const std::wstring files[2], int steps)
{
    HWND wnd = ::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, kViewerW, kViewerH,
                                 nullptr, nullptr, nullptr, nullptr);
    std::vector<double> ms;
    for (int i = 0; i < steps + 2; ++i) {
        const double start = benchwin::NowMs();
        Gdiplus::GpImage* raw = nullptr;
        gp::GdipLoadImageFromFile(files[i % 2].c_str(), &raw);
        fw::GpImagePtr image(raw);
        HDC dc = ::GetDC(wnd);
        Gdiplus::GpGraphics* g = nullptr;
        gp::GdipCreateFromHDC(dc, &g);
        gp::GdipDrawImageRectI(g, image.get(), 0, 0, kViewerW, kViewerH);
        gp::GdipDeleteGraphics(g);
        ::ReleaseDC(wnd, dc);
        ::GdiFlush();
        if (i >= 2)
            ms.push_back(benchwin::NowMs() - start);
    }
    ::DestroyWindow(wnd);
    return ms;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int steps = benchwin::StepsArg(argc, argv, 20);
    if (!benchwin::PrepareProgramBench("tamsel_bench_review.exe"))
        return 2;

    wchar_t pictures[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, pictures);
    ::CreateDirectoryW(pictures, nullptr);
    const std::wstring files[2] = {std::wstring(pictures) + L"\\review-bench-red.jpg",
                                   std::wstring(pictures) + L"\\review-bench-blue.jpg"};
    if (!WritePicture(files[0], true) || !WritePicture(files[1], false)) {
        std::printf("the pictures cannot be written\n");
        return 1;
    }
    wchar_t appData[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    const std::wstring settings = std::wstring(appData) + L"\\Corvane Varnex";
    const std::wstring reserve = settings + L"\\reserve.ini";
    ::CreateDirectoryW(settings.c_str(), nullptr);
    ::WritePrivateProfileStringW(L"Pic", L"Total", L"2", reserve.c_str());
    ::WritePrivateProfileStringW(L"Pic", L"Cur", L"0", reserve.c_str());
    ::WritePrivateProfileStringW(L"Pic", L"file0", files[0].c_str(), reserve.c_str());
    ::WritePrivateProfileStringW(L"Pic", L"file1", files[1].c_str(), reserve.c_str());

    const std::vector<double> plain = PlainDraws(files, steps);

    benchwin::OnlyCameraVga();
    tdrv::KillStrayPrograms();
    tdrv::Process app = tdrv::Process::Launch(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")), L"");
    HWND wnd = tdrv::WaitForMainWindow(10000);
    int failed = 1;
    if (app && wnd && tdrv::WaitUntil([&] { return ::IsWindowVisible(wnd) != FALSE; }, 10000)) {
        ::Sleep(1500); // the preview is up
        HWND viewer = ::FindWindowExW(wnd, nullptr, L"#32770", nullptr);
        POINT centre{kViewerW / 2, kViewerH / 2};
        ::ClientToScreen(viewer, &centre);
        auto command = [&](UINT id) {
            ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(wnd, id)));
        };
        double start = benchwin::NowMs();
        command(kModeSwitch);
        if (TimeUntil(centre, true, start) >= 0) {
            std::vector<double> arrows;
            bool ok = true;
            for (int i = 0; i < steps + 2 && ok; ++i) {
                const bool toBlue = i % 2 == 0;
                start = benchwin::NowMs();
                command(toBlue ? kRightArrow : kLeftArrow);
                const double took = TimeUntil(centre, !toBlue, start);
                ok = took >= 0;
                if (ok && i >= 2)
                    arrows.push_back(took);
            }
            if (ok) {
                Report("arrow to repainted viewer (program)", arrows);
                Report("load and draw (plain GDI+)", plain);
                std::printf("ratio of medians: %.2f\n", benchwin::Median(arrows) / benchwin::Median(plain));
                failed = 0;
            } else {
                std::printf("the viewer did not change\n");
            }
        } else {
            std::printf("review did not show the picture\n");
        }
        ::PostMessageW(wnd, tamsel::UM_QUIT, 0, 0);
        app.WaitExit(10000);
    } else {
        std::printf("the program did not open\n");
    }
    vcam::DeleteAllDevices();
    for (const std::wstring& f : files)
        ::DeleteFileW(f.c_str());
    return failed;
}
