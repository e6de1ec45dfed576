#include "shell/KeyHook.h"

#include <memory>

#include "framework/Debug.h"
#include "framework/Handles.h"
#include "framework/Messages.h"
#include "shell/ShellRules.h"

namespace tamsel {

std::atomic<uint32_t> g_HwKeyCode{0};
HWND g_hMainWnd = nullptr;

namespace {

// How long the hook thread may take to install its hook, and to end.
constexpr DWORD kHookStartMs = 5000;
constexpr DWORD kHookStopMs = 2000;

// What the hook thread reports once its hook is in place, or failed.
struct HookStart {
    fw::Event ready;
    bool installed = false;
    DWORD error = 0;
};

// The hook thread: the window thread's only handles on it.
fw::Handle g_hookThread;
DWORD g_hookThreadId = 0;
bool g_hookInstalled = false;

// Touched by the hook thread only.
HwKeyFilter g_hwKeyFilter;

bool Held(int vk) { return (::GetAsyncKeyState(vk) & 0x8000) != 0; }

void TraceKey(const KBDLLHOOKSTRUCT& ev, WPARAM wp, LPARAM lp)
{
    fw::DebugTrace(L"Key code = 0x%x,wparam = 0x%x,lparam = 0x%x\n", ev.vkCode,
                   static_cast<unsigned>(wp), static_cast<unsigned>(lp));
}

// Runs on the hook thread, which does nothing else: it answers at once
// whatever the window thread is busy with (building a graph, decoding a
// picture), so the system never drops the hook for being slow.
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
        if (g_hwKeyFilter.OnKeyEvent(ev.vkCode, static_cast<unsigned>(wp),
                                     g_HwKeyCode.load(std::memory_order_relaxed), ::GetTickCount())) {
            TraceKey(ev, wp, lp);
            ::PostMessageW(g_hMainWnd, UM_HW_SNAPSHOT_KEY, 0, 0);
        }
    }
    // The hook handle argument is ignored by the system.
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

DWORD WINAPI HookThreadProc(void* param)
{
    std::shared_ptr<HookStart> start = std::move(*std::unique_ptr<std::shared_ptr<HookStart>>(
        static_cast<std::shared_ptr<HookStart>*>(param)));
    try {
        // The thread's message queue exists before anyone is told the hook
        // is there: the quit message of an early removal is never lost.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        fw::HookHandle hook(::SetWindowsHookExW(WH_KEYBOARD_LL, &KeyHookProc, ::GetModuleHandleW(nullptr), 0));
        start->error = hook ? 0 : ::GetLastError();
        start->installed = static_cast<bool>(hook);
        start->ready.Set();
        start.reset();
        if (!hook)
            return 0;
        // The hook is called from inside this loop.
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
    } catch (...) {
        ::OutputDebugStringW(L"Key hook thread ended by an exception\n");
        if (start)
            start->ready.Set();
    }
    return 0;
}

void ShowHookError(HWND owner, DWORD error)
{
    wchar_t text[64];
    wsprintfW(text, L"Hot key module error, error = %d", static_cast<int>(error));
    fw::ShowMessage(owner, text);
}

} // namespace

bool InstallKeyHook(HWND owner)
{
    RemoveKeyHook();
    auto start = std::make_shared<HookStart>();
    if (!start->ready.Create(fw::Event::kManualReset)) {
        ShowHookError(owner, ::GetLastError());
        return false;
    }
    auto param = std::make_unique<std::shared_ptr<HookStart>>(start);
    DWORD id = 0;
    fw::Handle thread(::CreateThread(nullptr, 0, &HookThreadProc, param.get(), 0, &id));
    if (!thread) {
        ShowHookError(owner, ::GetLastError());
        return false;
    }
    param.release(); // the thread's now
    g_hookThread = std::move(thread);
    g_hookThreadId = id;
    if (!start->ready.Wait(kHookStartMs)) {
        RemoveKeyHook();
        ShowHookError(owner, WAIT_TIMEOUT);
        return false;
    }
    if (!start->installed) {
        RemoveKeyHook();
        ShowHookError(owner, start->error);
        return false;
    }
    g_hookInstalled = true;
    return true;
}

void RemoveKeyHook()
{
    if (!g_hookThread)
        return;
    ::PostThreadMessageW(g_hookThreadId, WM_QUIT, 0, 0);
    if (::WaitForSingleObject(g_hookThread.get(), kHookStopMs) != WAIT_OBJECT_0)
        ::OutputDebugStringW(L"Key hook thread did not end\n");
    g_hookThread.reset();
    g_hookThreadId = 0;
    g_hookInstalled = false;
}

bool IsKeyHookInstalled() { return g_hookInstalled; }

} // namespace tamsel
