// The desktop-wide low-level keyboard hook: the hardware snapshot key and the
// Ctrl+Alt+arrow rotation keys. It only posts messages; it never swallows a key.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tamsel {

// Virtual-key code of the hardware snapshot key; 0 means none.
extern uint32_t g_HwKeyCode;
// Window that receives the hook's messages.
extern HWND g_hMainWnd;

// Installs (or re-installs) the hook; shows its own message box, owned by
// `owner`, when it cannot.
bool InstallKeyHook(HWND owner);
void RemoveKeyHook();
bool IsKeyHookInstalled();

} // namespace tamsel
