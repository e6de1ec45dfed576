// Owning wrappers for the handles the program holds. Each wrapper closes its
// handle exactly once, moves but never copies.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <utility>

namespace fw {

template <typename Traits>
class Unique {
public:
    using Type = typename Traits::Type;

    Unique() noexcept = default;
    explicit Unique(Type h) noexcept : m_h(h) {}
    Unique(Unique&& other) noexcept : m_h(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Type get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return Traits::Valid(m_h); }
    Type release() noexcept { return std::exchange(m_h, Traits::Invalid()); }
    void reset(Type h = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(m_h, h);
        if (Traits::Valid(old))
            Traits::Close(old);
    }
    // For out-parameters: closes what is held and hands out the slot.
    Type* put() noexcept
    {
        reset();
        return &m_h;
    }

private:
    Type m_h = Traits::Invalid();
};

template <typename T, void (*CloseFn)(T)>
struct NullInvalidTraits {
    using Type = T;
    static Type Invalid() noexcept { return nullptr; }
    static bool Valid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { CloseFn(h); }
};

namespace detail {
inline void CloseKernel(HANDLE h) { ::CloseHandle(h); }
inline void CloseFind(HANDLE h) { ::FindClose(h); }
inline void CloseKey(HKEY h) { ::RegCloseKey(h); }
inline void CloseHook(HHOOK h) { ::UnhookWindowsHookEx(h); }
inline void CloseIcon(HICON h) { ::DestroyIcon(h); }
inline void CloseGdi(HGDIOBJ h) { ::DeleteObject(h); }
inline void CloseMixer(HMIXER h) { ::mixerClose(h); }
} // namespace detail

// Kernel objects whose "none" is null (events, threads, processes, mappings).
using Handle = Unique<NullInvalidTraits<HANDLE, detail::CloseKernel>>;

// Kernel objects whose "none" is INVALID_HANDLE_VALUE (files, find handles).
template <void (*CloseFn)(HANDLE)>
struct InvalidValueTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) noexcept { CloseFn(h); }
};
using FileHandle = Unique<InvalidValueTraits<detail::CloseKernel>>;
using FindHandle = Unique<InvalidValueTraits<detail::CloseFind>>;

using RegKey = Unique<NullInvalidTraits<HKEY, detail::CloseKey>>;
using HookHandle = Unique<NullInvalidTraits<HHOOK, detail::CloseHook>>;
using IconHandle = Unique<NullInvalidTraits<HICON, detail::CloseIcon>>;
using GdiObject = Unique<NullInvalidTraits<HGDIOBJ, detail::CloseGdi>>;
using MixerHandle = Unique<NullInvalidTraits<HMIXER, detail::CloseMixer>>;

// A device context taken with GetDC/GetWindowDC and given back on scope exit.
class WindowDC {
public:
    explicit WindowDC(HWND wnd, bool wholeWindow = false) noexcept
        : m_wnd(wnd), m_dc(wholeWindow ? ::GetWindowDC(wnd) : ::GetDC(wnd)) {}
    ~WindowDC()
    {
        if (m_dc)
            ::ReleaseDC(m_wnd, m_dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_wnd;
    HDC m_dc;
};

// Waits for a thread in fixed steps, tracing each step that times out; returns
// when the thread has ended. Used where the caller asked the thread to stop and
// the thread polls its stop flag between short operations.
void WaitForThreadInSteps(HANDLE thread, DWORD stepMs, const wchar_t* traceOnTimeout);

} // namespace fw
