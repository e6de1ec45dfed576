// Keeps a filter graph's reference clock from hanging its own release.
//
// Wine's system clock starts its advise thread at the first advise request.
// A thread that finds nothing due on its first pass sleeps without a bound,
// and one that first runs after the clock's release has begun never sees the
// release's wake-up: the release then waits for it forever. A graph stopped
// right after its first frame, while a renderer's first advise is still
// pending, releases its clock in exactly that state.
//
// The keeper holds a reference to the graph's clock with one periodic request
// on it, and lets both go only after the graph is gone. With a request that
// never runs out, every sleep of the advise thread ends within one period, so
// the final release waits at most that long. Elsewhere it costs one wake-up of
// the clock's thread per period.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <climits>

#include "framework/Handles.h"

namespace fw {

class ClockKeeper {
public:
    static constexpr REFERENCE_TIME kPeriod = 1000000; // 100 ms

    ClockKeeper() = default;
    // Moves out of the engine at teardown; assignment would have to release
    // in order, and nothing needs it.
    ClockKeeper(ClockKeeper&& other) noexcept
        : m_semaphore(std::move(other.m_semaphore)), m_clock(std::move(other.m_clock)), m_cookie(other.m_cookie)
    {
    }
    ClockKeeper& operator=(ClockKeeper&&) = delete;
    ~ClockKeeper() { Release(); }

    // Takes hold of the clock the graph uses; call it once the graph has run,
    // which is when a graph without one picks its default clock.
    void Hold(IUnknown* graph)
    {
        Microsoft::WRL::ComPtr<IMediaFilter> filter;
        Microsoft::WRL::ComPtr<IReferenceClock> clock;
        if (!graph || FAILED(graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(filter.GetAddressOf()))) ||
            filter->GetSyncSource(&clock) != S_OK || !clock || clock == m_clock)
            return;
        Release();
        Handle semaphore(::CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr));
        if (!semaphore)
            return;
        REFERENCE_TIME now = 0;
        DWORD_PTR cookie = 0;
        clock->GetTime(&now);
        if (FAILED(clock->AdvisePeriodic(now + kPeriod, kPeriod,
                                         reinterpret_cast<HSEMAPHORE>(semaphore.get()), &cookie)))
            return;
        m_clock = std::move(clock);
        m_semaphore = std::move(semaphore);
        m_cookie = cookie;
    }

    // Lets the clock go, then the semaphore its thread may still release.
    // Call it after the graph's last reference is gone.
    void Release() noexcept
    {
        if (!m_clock)
            return;
        // The request stays while the clock goes: removing it would bring
        // back the unbounded sleep. Only when someone else still holds the
        // clock (a graph released late) is it removed, as the semaphore
        // must not outlive it.
        m_clock->AddRef();
        if (m_clock->Release() > 1)
            m_clock->Unadvise(m_cookie);
        m_clock.Reset();
        m_semaphore.reset();
    }

private:
    // Declared first, so it is closed after the clock is gone.
    Handle m_semaphore;
    Microsoft::WRL::ComPtr<IReferenceClock> m_clock;
    DWORD_PTR m_cookie = 0;
};

} // namespace fw
