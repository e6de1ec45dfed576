#include "framework/Debug.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <string>

namespace fw {

void DebugTrace(const wchar_t* format, ...)
{
    wchar_t text[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(text, sizeof text / sizeof text[0], format, args);
    va_end(args);
    if (n < 0)
        text[sizeof text / sizeof text[0] - 1] = L'\0';
    ::OutputDebugStringW(text);
}

HRESULT TraceHr(const wchar_t* what, HRESULT hr)
{
    if (FAILED(hr))
        DebugTrace(L"%ls failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return hr;
}

bool TraceLastError(const wchar_t* what)
{
    const DWORD error = ::GetLastError();
    DebugTrace(L"%ls failed: error %lu\n", what, static_cast<unsigned long>(error));
    ::SetLastError(error);
    return false;
}

const wchar_t* AppName()
{
    static const std::wstring name = [] {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring file(path);
        const size_t slash = file.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            file.erase(0, slash + 1);
        const size_t dot = file.rfind(L'.');
        if (dot != std::wstring::npos)
            file.erase(dot);
        return file;
    }();
    return name.c_str();
}

void ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption)
{
    ::MessageBoxW(owner, text, caption ? caption : AppName(), MB_OK);
}

} // namespace fw
