#include <gtest/gtest.h>

#include "Driver.h"
#include "VcamConfig.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (tdrv::Env("TAMSEL_EXE").empty() || tdrv::Env("TAMSEL_DEBUG_LOG").empty() ||
        tdrv::Env("TAMSEL_VCAM_DLL").empty()) {
        std::fprintf(stderr, "TAMSEL_EXE, TAMSEL_VCAM_DLL and TAMSEL_DEBUG_LOG must name the "
                             "program, the virtual camera and the Wine message log\n");
        return 2;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(vcam::RegisterServer(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_VCAM_DLL"))))) {
        std::fprintf(stderr, "the virtual camera did not register\n");
        return 2;
    }
    const int rc = RUN_ALL_TESTS();
    vcam::DeleteAllDevices();
    vcam::UnregisterDevices();
    ::CoUninitialize();
    return rc;
}
