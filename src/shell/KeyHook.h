// The desktop-wide low-level keyboard hook: the hardware snapshot key and the
// Ctrl+Alt+arrow rotation keys. It runs on a thread of its own, with its own
// message loop, so a busy window thread can never get it removed for being
// slow; it only posts messages to the main window and never swallows a key.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace tamsel {

// Virtual-key code of the hardware snapshot key; 0 means none. Set by the
// window thread, read by the hook thread.
extern std::atomic<uint32_t> g_HwKeyCode;
// Window that receives the hook's messages; set before the hook is installed.
extern HWND g_hMainWnd;

// Starts the hook thread and waits (bounded) until its hook is in place; a
// running one is removed first. Shows its own message box, owned by `owner`,
// on the calling thread when the hook cannot be installed.
bool InstallKeyHook(HWND owner);
// Ends the hook thread, and with it the hook; waits for it at most 2 s.
void RemoveKeyHook();
bool IsKeyHookInstalled();

} // namespace tamsel
