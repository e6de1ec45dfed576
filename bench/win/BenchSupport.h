// What the benchmarks that drive the real program share: their arguments,
// the virtual camera's registration and GDI+.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "Driver.h"
#include "VcamConfig.h"

namespace benchwin {

// "--steps N", or `fallback`.
inline int StepsArg(int argc, wchar_t** argv, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wcscmp(argv[i], L"--steps") == 0)
            return _wtoi(argv[i + 1]);
    return fallback;
}

// TAMSEL_EXE and TAMSEL_VCAM_DLL name the program and the camera; the camera
// is registered and GDI+ started. False (after the usage line) when not.
inline bool PrepareProgramBench(const char* exeName)
{
    if (tdrv::Env("TAMSEL_EXE").empty() || tdrv::Env("TAMSEL_VCAM_DLL").empty() ||
        FAILED(vcam::RegisterServer(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_VCAM_DLL")))) || !tdrv::StartGdiplus()) {
        std::printf("usage: %s [--steps N]  (TAMSEL_EXE, TAMSEL_VCAM_DLL)\n", exeName);
        return false;
    }
    return true;
}

// One virtual camera sending 640 x 480 YUY2, the only one.
inline void OnlyCameraVga()
{
    vcam::DeleteAllDevices();
    vcam::DeviceConfig camera;
    camera.friendlyName = L"Bench";
    camera.formats = {{vcam::Subtype::YUY2, 640, 480}};
    vcam::WriteDevice(0, camera);
    vcam::RegisterDevices();
}

} // namespace benchwin
