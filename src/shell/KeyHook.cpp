#include "shell/KeyHook.h"

#include "framework/Debug.h"
#include "framework/Handles.h"
#include "framework/Messages.h"
#include "shell/ShellRules.h"

namespace tamsel {

uint32_t g_HwKeyCode = 0;
HWND g_hMainWnd = nullptr;

namespace {

fw::HookHandle g_hKeyHook;
HwKeyFilter g_hwKeyFilter;

bool Held(int vk) { return (::GetAsyncKeyState(vk) & 0x8000) != 0; }

void TraceKey(const KBDLLHOOKSTRUCT& ev, WPARAM wp, LPARAM lp)
{
    fw::DebugTrace(L"Key code = 0x%x,wparam = 0x%x,lparam = 0x%x\n", ev.vkCode,
                   static_cast<unsigned>(wp), static_cast<unsigned>(lp));
}

LRESULT CALLBACK KeyHookProc(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION) {
        const auto& ev = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        // Only the keys acted on are traced: tracing every key would hand every
        // keystroke on the desktop to any debug listener.
        if (int rotation = RotationCodeForKey(ev.vkCode, Held(VK_CONTROL), Held(VK_MENU))) {
            TraceKey(ev, wp, lp);
            ::PostMessageW(g_hMainWnd, UM_ROTATE, rotation, 0);
        }
        if (g_hwKeyFilter.OnKeyEvent(ev.vkCode, static_cast<unsigned>(wp), g_HwKeyCode,
                                     ::GetTickCount())) {
            TraceKey(ev, wp, lp);
            ::PostMessageW(g_hMainWnd, UM_HW_SNAPSHOT_KEY, 0, 0);
        }
    }
    return ::CallNextHookEx(g_hKeyHook.get(), code, wp, lp);
}

} // namespace

bool InstallKeyHook(HWND owner)
{
    g_hKeyHook.reset();
    HHOOK hook = ::SetWindowsHookExW(WH_KEYBOARD_LL, &KeyHookProc, ::GetModuleHandleW(nullptr), 0);
    if (!hook) {
        wchar_t text[64];
        wsprintfW(text, L"Hot key module error, error = %d", static_cast<int>(::GetLastError()));
        fw::ShowMessage(owner, text);
        return false;
    }
    g_hKeyHook.reset(hook);
    return true;
}

void RemoveKeyHook() { g_hKeyHook.reset(); }

bool IsKeyHookInstalled() { return static_cast<bool>(g_hKeyHook); }

} // namespace tamsel
