// Snapshot latency and memory of the real program: Tamsel.exe runs with one
// virtual camera; each UM_SNAPSHOT is timed from the post to the moment the
// renamed picture file exists, while a sampler reads the program's memory
// every millisecond. The frame the camera sends is kept as a BMP file (the
// hidden test button writes it) so that the script can time cjpeg on the same
// frame in the same run.
//
//   tamsel_bench_snapshot.exe --frames DIR [--snapshots N]
//       TAMSEL_EXE names the program, TAMSEL_VCAM_DLL the camera
//
// Per size it prints one line:
//   snapshot WxH mode: median M ms, max X ms over N; frame interval F ms;
//   memory above idle: peak P KB (anonymous resident), frame BGR B KB
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Driver.h"
#include "Timing.h"
#include "VcamConfig.h"
#include "framework/Messages.h"

namespace {

struct Case {
    const char* mode;
    std::vector<vcam::Format> formats;
    int width, height;
};

std::wstring Folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring TodaysName(int n)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t name[32];
    std::swprintf(name, 32, L"\\%02d-%02d-%02d-%04d.jpg", now.wYear - 2000, now.wMonth, now.wDay, n);
    return name;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void EmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileW((folder + L"\\" + data.cFileName).c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

// Anonymous resident memory of the program (PagefileUsage: Linux's RssAnon
// on Wine 8).
SIZE_T Anonymous(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    return ::GetProcessMemoryInfo(process, &pmc, sizeof pmc) ? pmc.PagefileUsage : 0;
}

// Keeps the largest reading between Start and Stop.
class PeakSampler {
public:
    explicit PeakSampler(HANDLE process) : m_process(process) {}
    void Start()
    {
        m_peak = 0;
        m_run = true;
        m_thread = std::thread([this] {
            while (m_run) {
                const SIZE_T now = Anonymous(m_process);
                if (now > m_peak)
                    m_peak = now;
                ::Sleep(1);
            }
        });
    }
    SIZE_T Stop()
    {
        m_run = false;
        m_thread.join();
        return m_peak;
    }

private:
    HANDLE m_process;
    std::atomic<bool> m_run{false};
    std::atomic<SIZE_T> m_peak{0};
    std::thread m_thread;
};

bool RunCase(const Case& c, const std::wstring& framesDir, int snapshots)
{
    vcam::DeleteAllDevices();
    vcam::DeviceConfig config;
    config.friendlyName = L"Bench";
    config.formats = c.formats;
    vcam::WriteDevice(0, config);
    vcam::RegisterDevices();
    const std::wstring pictures = Folder(CSIDL_MYPICTURES);
    ::CreateDirectoryW(pictures.c_str(), nullptr);
    EmptyFolder(pictures);
    ::DeleteFileW(L"F:\\temp.jpg");

    tdrv::KillStrayPrograms();
    tdrv::Process app = tdrv::Process::Launch(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")), L"");
    HWND wnd = tdrv::WaitForMainWindow(10000);
    if (!app || !wnd || !tdrv::WaitUntil([&] { return ::IsWindowVisible(wnd) != FALSE; }, 10000)) {
        std::printf("%s: the program did not open\n", c.mode);
        return false;
    }
    // The frame as the camera sends it, from the hidden test button; it also
    // shows that the preview runs.
    bool frame = false;
    for (int attempt = 0; attempt < 20 && !frame; ++attempt) {
        ::PostMessageW(wnd, WM_COMMAND, 1001, 0);
        frame = tdrv::WaitUntil([] { return Exists(L"F:\\temp.jpg"); }, 7000, 20);
    }
    ::Sleep(300);
    wchar_t bmpName[64];
    std::swprintf(bmpName, 64, L"\\frame-%dx%d.bmp", c.width, c.height);
    if (!frame || !::CopyFileW(L"F:\\temp.jpg", (framesDir + bmpName).c_str(), FALSE)) {
        std::printf("%s: no frame from the test button\n", c.mode);
        return false;
    }

    // Two snapshots first: the codecs load once.
    std::vector<double> ms;
    std::vector<SIZE_T> peaks;
    std::mt19937 random(12345);
    PeakSampler sampler(app.Handle());
    const int warmUp = 2;
    for (int i = 0; i < warmUp + snapshots; ++i) {
        // Each snapshot starts from a program at rest: the window thread has
        // finished with the previous one (its thumbnail) and answers at once.
        // Then a random point of the frame interval.
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored);
        ::Sleep(200 + random() % 34);
        const SIZE_T idle = Anonymous(app.Handle());
        sampler.Start();
        const std::wstring path = pictures + TodaysName(i);
        const double start = benchwin::NowMs();
        ::PostMessageW(wnd, tamsel::UM_SNAPSHOT, 0, 0);
        // Polled once a millisecond: a spinning poll would take one of the
        // processors the snapshot needs.
        while (!Exists(path) && benchwin::NowMs() - start < 20000)
            ::Sleep(1);
        const double took = benchwin::NowMs() - start;
        ::Sleep(50);
        const SIZE_T peak = sampler.Stop();
        if (!Exists(path)) {
            std::printf("%s: snapshot %d did not arrive\n", c.mode, i);
            return false;
        }
        if (i >= warmUp) {
            ms.push_back(took);
            peaks.push_back(peak > idle ? peak - idle : 0);
        }
    }
    SIZE_T peakAbove = 0;
    for (SIZE_T p : peaks)
        peakAbove = p > peakAbove ? p : peakAbove;
    const double frameKb = c.width * c.height * 3 / 1024.0;
    std::printf("snapshot %dx%d %s: median %.1f ms, min %.1f ms, max %.1f ms over %zu; frame interval 33.3 ms; "
                "memory above idle: peak %zu KB (anonymous resident), frame BGR %.0f KB\n",
                c.width, c.height, c.mode, benchwin::Median(ms), benchwin::Min(ms), benchwin::Max(ms), ms.size(),
                static_cast<size_t>(peakAbove / 1024), frameKb);
    std::fflush(stdout);
    ::PostMessageW(wnd, tamsel::UM_QUIT, 0, 0);
    app.WaitExit(10000);
    EmptyFolder(pictures);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring framesDir;
    int snapshots = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--frames") == 0 && i + 1 < argc)
            framesDir = argv[++i];
        else if (std::wcscmp(argv[i], L"--snapshots") == 0 && i + 1 < argc)
            snapshots = _wtoi(argv[++i]);
    }
    if (framesDir.empty() || tdrv::Env("TAMSEL_EXE").empty() || tdrv::Env("TAMSEL_VCAM_DLL").empty()) {
        std::printf("usage: tamsel_bench_snapshot.exe --frames DIR [--snapshots N]  (TAMSEL_EXE, TAMSEL_VCAM_DLL)\n");
        return 2;
    }
    if (FAILED(vcam::RegisterServer(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_VCAM_DLL"))))) {
        std::printf("the virtual camera cannot be registered\n");
        return 1;
    }
    const Case cases[] = {
        {"preview frame", {{vcam::Subtype::YUY2, 640, 480}}, 640, 480},
        {"still pin", {{vcam::Subtype::YUY2, 640, 480}, {vcam::Subtype::YUY2, 2592, 1944}}, 2592, 1944},
    };
    int failed = 0;
    for (const Case& c : cases)
        failed += !RunCase(c, framesDir, snapshots);
    vcam::DeleteAllDevices();
    return failed ? 1 : 0;
}
