#include "framework/XpCompat.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fw {

uint64_t ExtendTickCount(uint64_t latest, uint32_t now)
{
    const uint32_t last = static_cast<uint32_t>(latest);
    uint64_t wraps = latest >> 32;
    const uint32_t ahead = now - last; // modulo 2^32
    if (ahead < 0x80000000u) {
        if (now < last) // forward across the wrap
            ++wraps;
    } else if (now > last && wraps > 0) {
        --wraps; // a reading from before the latest wrap
    }
    return wraps << 32 | now;
}

} // namespace fw

#ifdef _WIN32
namespace {

// The highest count handed out. Constant-initialised, so it is ready before
// any constructor runs, and lock-free on both targets (cmpxchg8b on i686).
std::atomic<uint64_t> g_latestTick{0};

ULONGLONG WINAPI TickCount64()
{
    const uint32_t now = ::GetTickCount();
    uint64_t latest = g_latestTick.load(std::memory_order_relaxed);
    for (;;) {
        const uint64_t count = fw::ExtendTickCount(latest, now);
        if (count <= latest ||
            g_latestTick.compare_exchange_weak(latest, count, std::memory_order_relaxed))
            return count;
    }
}

} // namespace

// The import slot itself: code compiled against the Vista headers (the
// threads runtime among it) calls GetTickCount64 through this pointer, so the
// linker takes it from here and kernel32's GetTickCount64 is never imported.
#ifdef _WIN64
#define TAMSEL_TICK64_SLOT "__imp_GetTickCount64"
#else
#define TAMSEL_TICK64_SLOT "__imp__GetTickCount64@0"
#endif
extern "C" {
extern ULONGLONG(WINAPI* const tamselTickCount64Slot)() __asm__(TAMSEL_TICK64_SLOT);
ULONGLONG(WINAPI* const tamselTickCount64Slot)() = TickCount64;
}
#endif
