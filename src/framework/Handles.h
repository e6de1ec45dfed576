// The ownership kit: every handle, lock, GDI object and COM allocation the
// program holds has its owner here. Each owner frees exactly once, moves but
// never copies. Everything works on Windows XP (no SRW locks or condition
// variables: a critical section is the lock).
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>

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
inline void CloseBitmap(HBITMAP h) { ::DeleteObject(h); }
inline void CloseRegion(HRGN h) { ::DeleteObject(h); }
inline void CloseBrush(HBRUSH h) { ::DeleteObject(h); }
inline void CloseFont(HFONT h) { ::DeleteObject(h); }
inline void CloseDC(HDC h) { ::DeleteDC(h); }
inline void CloseMixer(HMIXER h) { ::mixerClose(h); }
inline void CloseModule(HMODULE h) { ::FreeLibrary(h); }
inline void CloseTaskMem(void* p) { ::CoTaskMemFree(p); }
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
using Bitmap = Unique<NullInvalidTraits<HBITMAP, detail::CloseBitmap>>;
using Region = Unique<NullInvalidTraits<HRGN, detail::CloseRegion>>;
using Brush = Unique<NullInvalidTraits<HBRUSH, detail::CloseBrush>>;
using Font = Unique<NullInvalidTraits<HFONT, detail::CloseFont>>;
// A device context made with CreateCompatibleDC.
using MemoryDC = Unique<NullInvalidTraits<HDC, detail::CloseDC>>;
using MixerHandle = Unique<NullInvalidTraits<HMIXER, detail::CloseMixer>>;
using Module = Unique<NullInvalidTraits<HMODULE, detail::CloseModule>>;

// Memory a COM call allocated with CoTaskMemAlloc (display names, pin names).
template <typename T>
class CoTaskMem {
public:
    CoTaskMem() noexcept = default;
    ~CoTaskMem() { reset(); }
    CoTaskMem(const CoTaskMem&) = delete;
    CoTaskMem& operator=(const CoTaskMem&) = delete;
    T* get() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    T** put() noexcept
    {
        reset();
        return &m_p;
    }
    void reset() noexcept { detail::CloseTaskMem(std::exchange(m_p, nullptr)); }

private:
    T* m_p = nullptr;
};
using CoTaskString = CoTaskMem<wchar_t>;

// ---- locks --------------------------------------------------------------------

class Lock;

// Holds a Lock from construction to scope exit.
class [[nodiscard]] LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION& cs) noexcept : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~LockGuard() { ::LeaveCriticalSection(&m_cs); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

// A small exclusive lock. A critical section, because XP has no SRW lock;
// the data it guards is copied out under it, never worked on.
class Lock {
public:
    Lock() noexcept { ::InitializeCriticalSection(&m_cs); }
    ~Lock() { ::DeleteCriticalSection(&m_cs); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    // auto guard = m_lock.Acquire();
    LockGuard Acquire() noexcept { return LockGuard(m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

// ---- events ---------------------------------------------------------------------

// An unnamed event.
class Event {
public:
    enum Kind { kAutoReset, kManualReset };
    Event() noexcept = default;
    // Creates the event; false (with the error traced) when the system refuses.
    bool Create(Kind kind, bool signalled = false) noexcept;
    bool Set() noexcept { return m_h && ::SetEvent(m_h.get()); }
    bool Reset() noexcept { return m_h && ::ResetEvent(m_h.get()); }
    // True when the event was signalled within ms.
    bool Wait(DWORD ms) const noexcept { return m_h && ::WaitForSingleObject(m_h.get(), ms) == WAIT_OBJECT_0; }
    bool IsSet() const noexcept { return Wait(0); }
    HANDLE get() const noexcept { return m_h.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(m_h); }
    void Close() noexcept { m_h.reset(); }

private:
    Handle m_h;
};

// ---- device contexts -------------------------------------------------------------

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

// BeginPaint/EndPaint for one WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND wnd) noexcept : m_wnd(wnd), m_dc(::BeginPaint(wnd, &m_ps)) {}
    ~PaintDC() { ::EndPaint(m_wnd, &m_ps); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC get() const noexcept { return m_dc; }
    const RECT& Dirty() const noexcept { return m_ps.rcPaint; }

private:
    HWND m_wnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc;
};

// Selects a GDI object into a device context and puts the old one back on
// scope exit: auto restore = fw::SelectInto(dc, bitmap.get());
class [[nodiscard]] SelectRestorer {
public:
    SelectRestorer(HDC dc, HGDIOBJ obj) noexcept : m_dc(dc), m_old(dc && obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~SelectRestorer()
    {
        if (m_old && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }
    SelectRestorer(const SelectRestorer&) = delete;
    SelectRestorer& operator=(const SelectRestorer&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};
inline SelectRestorer SelectInto(HDC dc, HGDIOBJ obj) noexcept { return SelectRestorer(dc, obj); }

// ---- COM --------------------------------------------------------------------------

// COM initialised on this thread for the object's lifetime (each thread that
// uses COM objects of its own keeps one).
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_started(SUCCEEDED(::CoInitializeEx(nullptr, model))) {}
    ~ComApartment()
    {
        if (m_started)
            ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Started() const noexcept { return m_started; }

private:
    bool m_started;
};

// Waits for a thread in fixed steps, tracing each step that times out; returns
// when the thread has ended. Used where the caller asked the thread to stop and
// the thread looks at its stop request between short operations.
void WaitForThreadInSteps(HANDLE thread, DWORD stepMs, const wchar_t* traceOnTimeout);

} // namespace fw
