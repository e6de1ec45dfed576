// Runs Tamsel.exe with one virtual camera at 30 frames a second for a while
// and samples, from outside the program, what it holds: kernel handles
// (counted in the system's handle table: Wine's GetProcessHandleCount
// gives 0), windows, GDI and USER objects (GetGuiResources, 0 on Wine) and
// memory. On Wine, PrivateUsage of GetProcessMemoryInfo reads 0, so the
// private memory is also added up from the committed private regions
// VirtualQueryEx reports; PagefileUsage and WorkingSetSize are shown too.
// Between samples the hidden test button takes a capture (F:\temp.jpg), so
// the still path runs as well.
//
// The program hides itself after its idle time (5 minutes unless set), and
// the hidden test button does not count as activity: the probe sets the
// longest idle time (30 minutes) in setup.ini before the start and, for
// longer runs, presses the Capture button every 20 minutes. Every sample
// also says whether the window is still open.
//
//   tamsel_soak_probe.exe [--seconds 600] [--interval 30] [--no-captures]
//                         [--windows win7]   the version Wine reports to the
//                                            program: win7 previews through the
//                                            VMR-9, winxp64 through the VMR-7
// TAMSEL_EXE names the program, TAMSEL_VCAM_DLL the camera.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Driver.h"
#include "Timing.h"
#include "VcamConfig.h"

namespace {

constexpr UINT kQuit = WM_USER + 170;
constexpr UINT kTestCaptureId = 1001;
constexpr UINT kCaptureButtonId = 1008;
constexpr double kActivityEverySeconds = 20 * 60;
constexpr wchar_t kTestCapture[] = L"F:\\temp.jpg";

struct Sample {
    double seconds = 0;
    bool open = false; // the window shows, so the preview runs
    int handles = 0;
    std::map<std::wstring, int> handlesByType;
    int windows = 0;
    DWORD gdi = 0, user = 0;
    SIZE_T privateUsage = 0, pagefile = 0, workingSet = 0;
    SIZE_T privateCommitted = 0; // VirtualQueryEx: MEM_COMMIT and MEM_PRIVATE
};

BOOL CALLBACK CountChild(HWND, LPARAM param)
{
    ++*reinterpret_cast<int*>(param);
    return TRUE;
}

struct WindowTally {
    DWORD pid;
    int count;
};

BOOL CALLBACK CountTop(HWND wnd, LPARAM param)
{
    auto& t = *reinterpret_cast<WindowTally*>(param);
    if (tdrv::WindowPid(wnd) == t.pid) {
        ++t.count;
        ::EnumChildWindows(wnd, &CountChild, reinterpret_cast<LPARAM>(&t.count));
    }
    return TRUE;
}

Sample Take(HANDLE process, DWORD pid, HWND main, double seconds)
{
    Sample s;
    s.seconds = seconds;
    s.open = ::IsWindowVisible(main) != FALSE;
    s.handlesByType = tdrv::KernelHandlesByType(pid);
    for (const auto& [type, n] : s.handlesByType)
        s.handles += n;
    WindowTally tally{pid, 0};
    ::EnumWindows(&CountTop, reinterpret_cast<LPARAM>(&tally));
    s.windows = tally.count;
    s.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    s.user = ::GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) {
        s.privateUsage = pmc.PrivateUsage;
        s.pagefile = pmc.PagefileUsage;
        s.workingSet = pmc.WorkingSetSize;
    }
    s.privateCommitted = static_cast<SIZE_T>(tdrv::PrivateCommittedBytes(process));
    return s;
}

void PrintRow(const Sample& s)
{
    std::printf("%6.0f %5s %8d %8d %5lu %5lu %12zu %12zu %12zu %12zu\n", s.seconds, s.open ? "yes" : "NO",
                s.handles, s.windows,
                static_cast<unsigned long>(s.gdi), static_cast<unsigned long>(s.user), s.privateCommitted / 1024,
                s.pagefile / 1024, s.workingSet / 1024, s.privateUsage / 1024);
    std::fflush(stdout);
}

long long Kb(SIZE_T later, SIZE_T earlier)
{
    return (static_cast<long long>(later) - static_cast<long long>(earlier)) / 1024;
}

// Presses the hidden test button and waits for a picture to land.
bool TestCapture(HWND main, DWORD timeoutMs)
{
    ::DeleteFileW(kTestCapture);
    ::PostMessageW(main, WM_COMMAND, kTestCaptureId, 0);
    return tdrv::WaitUntil(
        [] {
            WIN32_FILE_ATTRIBUTE_DATA a;
            return ::GetFileAttributesExW(kTestCapture, GetFileExInfoStandard, &a) &&
                   a.nFileSizeLow == 54 + 640 * 480 * 3;
        },
        timeoutMs, 50);
}

void AnswerBoxes(DWORD pid)
{
    for (const auto& box : tdrv::FindMessageBoxes(pid)) {
        std::printf("message box: %ls / %ls\n", box.caption.c_str(), box.text.c_str());
        tdrv::AnswerMessageBox(box);
    }
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 600, interval = 30;
    bool captures = true;
    std::wstring windows = L"win7";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--interval") && i + 1 < argc)
            interval = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-captures"))
            captures = false;
        else if (!std::strcmp(argv[i], "--windows") && i + 1 < argc)
            windows = tdrv::ToWindowsPath(argv[++i]);
    }
    if (tdrv::Env("TAMSEL_EXE").empty() || tdrv::Env("TAMSEL_VCAM_DLL").empty()) {
        std::fprintf(stderr, "TAMSEL_EXE and TAMSEL_VCAM_DLL must name the program and the camera\n");
        return 2;
    }

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(vcam::RegisterServer(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_VCAM_DLL"))))) {
        std::fprintf(stderr, "the virtual camera did not register\n");
        return 2;
    }
    vcam::DeviceConfig camera;
    camera.friendlyName = L"Soak Camera";
    camera.formats = {{vcam::Subtype::YUY2, 640, 480}};
    camera.frameRate = 30;
    vcam::DeleteAllDevices();
    if (FAILED(vcam::WriteDevice(0, camera)) || FAILED(vcam::RegisterDevices())) {
        std::fprintf(stderr, "the camera could not be set up\n");
        return 2;
    }
    // The Windows generation the program is told it runs on.
    HKEY key;
    if (::RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Tamsel.exe", &key) == ERROR_SUCCESS) {
        ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(windows.c_str()),
                         static_cast<DWORD>((windows.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }

    // The longest idle time the program accepts: 6 units of 5 minutes.
    wchar_t appData[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    const std::wstring settings = std::wstring(appData) + L"\\Corvane Varnex";
    ::CreateDirectoryW(settings.c_str(), nullptr);
    ::WritePrivateProfileStringW(L"App_Setting", L"IdleTime", L"6", (settings + L"\\setup.ini").c_str());

    tdrv::KillStrayPrograms();
    tdrv::Process app = tdrv::Process::Launch(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")), L"");
    HWND main = app ? tdrv::WaitForMainWindow(30000) : nullptr;
    if (!main) {
        std::fprintf(stderr, "Tamsel.exe did not start\n");
        return 1;
    }
    AnswerBoxes(app.Pid());
    // Frames flow once a test capture brings a picture.
    bool flowing = false;
    for (int attempt = 0; attempt < 5 && !flowing; ++attempt)
        flowing = TestCapture(main, 6000);
    if (!flowing) {
        std::fprintf(stderr, "no picture from the preview\n");
        app.Kill();
        return 1;
    }

    std::printf("Tamsel.exe (pid %lu) as %ls, one virtual camera, YUY2 640x480 at 30 frames a second, %.0f s, "
                "a sample every %.0f s%s\n",
                static_cast<unsigned long>(app.Pid()), windows.c_str(), seconds, interval,
                captures ? ", a test capture between samples" : "");
    std::printf("%6s %5s %8s %8s %5s %5s %12s %12s %12s %12s\n", "t(s)", "open", "handles", "windows", "gdi",
                "user", "private_kb", "pagefile_kb", "workset_kb", "privusage_kb");
    std::printf("%6s %5s %8s %8s %5s %5s %12s %12s %12s %12s\n", "", "", "(table)", "", "", "", "(VirtualQ)",
                "(RssAnon)", "(VmRSS)", "(0 on Wine)");

    std::vector<Sample> samples;
    int capturesTaken = 0, capturesFailed = 0;
    double lastActivity = 0;
    const double start = benchwin::NowMs();
    for (int n = 0;; ++n) {
        const double due = n * interval;
        if (due > seconds + 0.5)
            break;
        tdrv::WaitUntil([&] { return (benchwin::NowMs() - start) / 1000 >= due; }, 0x7FFFFFFF, 100);
        if (!app.Running()) {
            std::printf("Tamsel.exe ended at %.0f s\n", (benchwin::NowMs() - start) / 1000);
            return 1;
        }
        AnswerBoxes(app.Pid());
        const double now = (benchwin::NowMs() - start) / 1000;
        if (now - lastActivity >= kActivityEverySeconds) {
            ::PostMessageW(main, WM_COMMAND, kCaptureButtonId, 0); // keeps the window open
            lastActivity = now;
        }
        samples.push_back(Take(app.Handle(), app.Pid(), main, now));
        PrintRow(samples.back());
        if (captures && due + interval <= seconds + 0.5) {
            // Halfway to the next sample, so its allocations are long gone.
            tdrv::WaitUntil([&] { return (benchwin::NowMs() - start) / 1000 >= due + interval / 2; },
                            0x7FFFFFFF, 100);
            ++capturesTaken;
            capturesFailed += !TestCapture(main, 6000);
        }
    }

    ::PostMessageW(main, kQuit, 0, 0);
    const bool quit = app.WaitExit(10000);
    if (!quit)
        app.Kill();
    vcam::DeleteAllDevices();
    vcam::UnregisterDevices();
    ::CoUninitialize();

    if (samples.size() < 2)
        return 1;
    const Sample& a = samples.front();
    const Sample& b = samples.back();
    const Sample& warm = samples[1];
    std::printf("\ntest captures: %d, failed %d; the program %s\n", capturesTaken, capturesFailed,
                quit ? "quit when asked" : "had to be ended");
    std::printf("growth from %.0f s to %.0f s: handles %+d, windows %+d, GDI %+ld, USER %+ld, "
                "private %+lld KB, pagefile %+lld KB, working set %+lld KB\n",
                a.seconds, b.seconds, b.handles - a.handles, b.windows - a.windows,
                static_cast<long>(b.gdi) - static_cast<long>(a.gdi),
                static_cast<long>(b.user) - static_cast<long>(a.user), Kb(b.privateCommitted, a.privateCommitted),
                Kb(b.pagefile, a.pagefile), Kb(b.workingSet, a.workingSet));
    std::printf("growth from %.0f s to %.0f s: handles %+d, private %+lld KB, pagefile %+lld KB\n",
                warm.seconds, b.seconds, b.handles - warm.handles, Kb(b.privateCommitted, warm.privateCommitted),
                Kb(b.pagefile, warm.pagefile));
    for (const auto& [type, n] : b.handlesByType) {
        const auto it = a.handlesByType.find(type);
        const int before = it == a.handlesByType.end() ? 0 : it->second;
        if (n != before)
            std::printf("  handles of type %ls: %d -> %d\n", type.c_str(), before, n);
    }
    bool alwaysOpen = true;
    for (const Sample& s : samples)
        alwaysOpen = alwaysOpen && s.open;
    const bool handlesFlat = b.handles <= a.handles && b.gdi <= a.gdi && b.user <= a.user;
    const bool memoryOk = Kb(b.privateCommitted, a.privateCommitted) < 1024;
    if (!alwaysOpen)
        std::printf("the window closed during the run: the figures after that are of a program without preview\n");
    std::printf("goal (no growth in handles or GDI objects, private memory, committed, under 1 MB): %s\n",
                handlesFlat && memoryOk && capturesFailed == 0 && alwaysOpen ? "met" : "NOT met");
    return handlesFlat && memoryOk && capturesFailed == 0 && alwaysOpen ? 0 : 1;
}
