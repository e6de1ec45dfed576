// vcamctl: adds, changes and removes virtual cameras from a command line, for
// the demo and for scripts. Every change is followed by the device-change
// broadcast a real camera would cause, so a running program notices it.
//
//   vcamctl register DLL | unregister DLL
//   vcamctl list
//   vcamctl add N NAME [FORMAT...] [--fps N] [--no-still] [--no-roll]
//               [--ignore-trigger] [--capture-pin NAME] [--still-pin NAME]
//   vcamctl remove N | unplug N | plug N | clear
//
// FORMAT is "YUY2 640x480" or "MJPG 1920x1080" (one argument each).
#include "VcamCommon.h"
#include "VcamConfig.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int Usage()
{
    fwprintf(stderr,
             L"usage: vcamctl register DLL | unregister DLL | list | clear\n"
             L"       vcamctl add N NAME [\"YUY2 640x480\"...] [--fps N] [--no-still] [--no-roll]\n"
             L"                 [--ignore-trigger] [--capture-pin NAME] [--still-pin NAME]\n"
             L"       vcamctl remove N | unplug N | plug N\n");
    return 2;
}

int Report(HRESULT hr, const wchar_t* what)
{
    if (FAILED(hr)) {
        fwprintf(stderr, L"vcamctl: %ls failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

bool ParseNumber(const wchar_t* text, int* number)
{
    wchar_t* end = nullptr;
    long n = wcstol(text, &end, 10);
    if (!end || *end || end == text || n < 0 || n > vcam::kMaxDevice)
        return false;
    *number = static_cast<int>(n);
    return true;
}

int List()
{
    for (int n : vcam::ListDevices()) {
        vcam::DeviceConfig c;
        vcam::ReadDevice(n, &c);
        wprintf(L"%d  \"%ls\"  %lu fps%ls%ls%ls%ls\n", n, c.friendlyName.c_str(),
                static_cast<unsigned long>(c.frameRate), c.stillPin ? L"  still" : L"",
                c.roll ? L"  roll" : L"", c.ignoreTrigger ? L"  ignores-trigger" : L"",
                c.unplugged ? L"  UNPLUGGED" : L"");
        for (const vcam::Format& f : c.formats)
            wprintf(L"    %ls\n", vcam::FormatToString(f).c_str());
        wprintf(L"    %ls\n", vcam::DisplayName(n).c_str());
    }
    return 0;
}

int Add(int argc, wchar_t** argv)
{
    if (argc < 4)
        return Usage();
    int number = 0;
    if (!ParseNumber(argv[2], &number))
        return Usage();
    vcam::DeviceConfig c;
    c.friendlyName = argv[3];
    std::vector<vcam::Format> formats;
    for (int i = 4; i < argc; ++i) {
        std::wstring a = argv[i];
        auto value = [&]() -> const wchar_t* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == L"--fps") {
            const wchar_t* v = value();
            int fps = 0;
            if (!v || !ParseNumber(v, &fps) || fps < static_cast<int>(vcam::kMinFrameRate) ||
                fps > static_cast<int>(vcam::kMaxFrameRate))
                return Usage();
            c.frameRate = static_cast<DWORD>(fps);
        } else if (a == L"--no-still") {
            c.stillPin = false;
        } else if (a == L"--no-roll") {
            c.roll = false;
        } else if (a == L"--ignore-trigger") {
            c.ignoreTrigger = true;
        } else if (a == L"--capture-pin" || a == L"--still-pin") {
            const wchar_t* v = value();
            if (!v || !*v)
                return Usage();
            (a == L"--capture-pin" ? c.capturePinName : c.stillPinName) = v;
        } else {
            vcam::Format f;
            if (!vcam::ParseFormat(a, &f)) {
                fwprintf(stderr, L"vcamctl: not a format: %ls\n", a.c_str());
                return 2;
            }
            formats.push_back(f);
        }
    }
    if (!formats.empty())
        c.formats = formats;
    if (int rc = Report(vcam::WriteDevice(number, c), L"writing the device"))
        return rc;
    return Report(vcam::RegisterDevices(), L"listing the devices");
}

int Run(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    const std::wstring cmd = argv[1];
    int number = 0;
    if (cmd == L"register" && argc == 3)
        return Report(vcam::RegisterServer(argv[2]), L"registering");
    if (cmd == L"unregister" && argc == 3)
        return Report(vcam::UnregisterServer(argv[2]), L"unregistering");
    if (cmd == L"list" && argc == 2)
        return List();
    if (cmd == L"clear" && argc == 2) {
        if (int rc = Report(vcam::DeleteAllDevices(), L"deleting the devices"))
            return rc;
        return Report(vcam::RegisterDevices(), L"listing the devices");
    }
    if (cmd == L"add")
        return Add(argc, argv);
    if (argc != 3 || !ParseNumber(argv[2], &number))
        return Usage();
    if (cmd == L"remove") {
        if (int rc = Report(vcam::DeleteDevice(number), L"deleting the device"))
            return rc;
        return Report(vcam::RegisterDevices(), L"listing the devices");
    }
    if (cmd == L"unplug")
        return Report(vcam::SetUnplugged(number, true), L"unplugging");
    if (cmd == L"plug")
        return Report(vcam::SetUnplugged(number, false), L"plugging in");
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    vcam::ComScope com;
    int rc = 2;
    try {
        rc = Run(argc, argv);
    } catch (...) {
        fwprintf(stderr, L"vcamctl: out of memory\n");
        return 1;
    }
    const std::wstring cmd = argc > 1 ? argv[1] : L"";
    if (rc == 0 && cmd != L"list")
        vcam::BroadcastDeviceChange();
    return rc;
}
