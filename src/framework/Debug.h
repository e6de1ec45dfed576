// Developer traces for the debugger output, and the program's message boxes.
#pragma once

#include <windows.h>

namespace fw {

// printf-style wide trace sent with OutputDebugStringW; the text is cut at 1023
// characters.
void DebugTrace(const wchar_t* format, ...);

// Traces a failed platform call with its HRESULT ("what failed: 0x80040154")
// and hands the HRESULT back, so a call can be wrapped where it is made.
// Successful results pass through silently.
HRESULT TraceHr(const wchar_t* what, HRESULT hr);

// Traces a failed Win32 call with GetLastError() and returns false.
bool TraceLastError(const wchar_t* what);

// The program's name: the executable's file name without its extension.
const wchar_t* AppName();

// A plain OK message box; the caption defaults to the program's name.
void ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption = nullptr);

} // namespace fw
