// Stand-in for the camera maker's controller library "ACamDll.dll": a test
// device, never shipped. It keeps the ISP's register bytes, appends every
// call with its arguments to a record file that tests read, and lights the
// virtual camera's flash while register 0x22 holds 0x4F.
//
// Files beside the DLL (the program loads it from its own folder):
//   ACamDll.rec  the record, one line per call:
//                "<tick> ALC_Initialization"
//                "<tick> ALC_ProcReadFromISP 0x20 1 -> 0x85"
//                "<tick> ALC_ProcWriteToISP 0x22 1 0x4F"
//                "<tick> ALC_UnInitialization"
//   ACamDll.ini  the registers, section [Registers], keys "R20", "R22", ...
//                (two hex digits, decimal values): the initial values a test
//                sets and the values the library keeps between loads; a
//                register never written reads 0x85 for 0x20, else 0.
#include <windows.h>

#include <cstdio>
#include <string>

#include "VcamConfig.h"

namespace {

HMODULE g_module = nullptr;

std::wstring Beside(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH);
    std::wstring folder(path, n);
    const size_t slash = folder.rfind(L'\\');
    folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return folder + name;
}

void Record(const char* format, ...)
{
    char line[200];
    int n = std::snprintf(line, sizeof line, "%lu ", static_cast<unsigned long>(::GetTickCount()));
    va_list args;
    va_start(args, format);
    n += std::vsnprintf(line + n, sizeof line - n - 2, format, args);
    va_end(args);
    line[n++] = '\r';
    line[n++] = '\n';
    HANDLE file = ::CreateFileW(Beside(L"ACamDll.rec").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    ::CloseHandle(file);
}

std::wstring RegisterKey(int reg)
{
    wchar_t key[8];
    std::swprintf(key, 8, L"R%02X", reg & 0xFF);
    return key;
}

unsigned char ReadRegister(int reg)
{
    const UINT fallback = reg == 0x20 ? 0x85 : 0;
    return static_cast<unsigned char>(
        ::GetPrivateProfileIntW(L"Registers", RegisterKey(reg).c_str(), fallback, Beside(L"ACamDll.ini").c_str()));
}

#ifndef ACAMSIM_WITHOUT_WRITE
void WriteRegister(int reg, unsigned char value)
{
    ::WritePrivateProfileStringW(L"Registers", RegisterKey(reg).c_str(), std::to_wstring(value).c_str(),
                                 Beside(L"ACamDll.ini").c_str());
    // Register 0x22 drives the LED: 0x4F lights it.
    if (reg == 0x22)
        vcam::SetFlashLit(value == 0x4F);
}
#endif

} // namespace

extern "C" {

__declspec(dllexport) int __cdecl ALC_Initialization()
{
    Record("ALC_Initialization");
    return 1;
}

__declspec(dllexport) int __cdecl ALC_UnInitialization()
{
    Record("ALC_UnInitialization");
    return 1;
}

__declspec(dllexport) int __cdecl ALC_ProcReadFromISP(int reg, int count, unsigned char* buffer)
{
    for (int i = 0; i < count && buffer; ++i)
        buffer[i] = ReadRegister(reg + i);
    Record("ALC_ProcReadFromISP 0x%02X %d -> 0x%02X", reg, count, buffer && count > 0 ? buffer[0] : 0);
    return 1;
}

#ifndef ACAMSIM_WITHOUT_WRITE
// The variant built without this export stands for a library of the wrong
// version.
__declspec(dllexport) int __cdecl ALC_ProcWriteToISP(int reg, int count, unsigned char* buffer)
{
    Record("ALC_ProcWriteToISP 0x%02X %d 0x%02X", reg, count, buffer && count > 0 ? buffer[0] : 0);
    for (int i = 0; i < count && buffer; ++i)
        WriteRegister(reg + i, buffer[i]);
    return 1;
}
#endif

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
