#include <gtest/gtest.h>

#include <cstdlib>

#include "VcamConfig.h"
#include "framework/Gdiplus.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    const char* dll = std::getenv("TAMSEL_VCAM_DLL");
    if (!dll) {
        std::fprintf(stderr, "TAMSEL_VCAM_DLL must name the virtual camera DLL\n");
        return 2;
    }
    std::wstring path = L"Z:";
    for (const char* c = dll; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    if (FAILED(vcam::RegisterServer(path))) {
        std::fprintf(stderr, "the virtual camera did not register\n");
        return 2;
    }
    const int rc = RUN_ALL_TESTS();
    vcam::DeleteAllDevices();
    vcam::UnregisterDevices();
    Gdiplus::GdiplusShutdown(token);
    ::CoUninitialize();
    return rc;
}
