// The idle rule: while the window is open a timer looks every ten seconds
// whether the user has been away longer than the idle time, and closes
// (hides) the window when so. Only the activities the controller names
// restart the clock.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "framework/Activity.h"

namespace tamsel {

class CIdleClock final : public IActivitySink {
public:
    // idleTimeMode: the setting, read at each check (units of five minutes).
    explicit CIdleClock(const int& idleTimeMode) noexcept : m_idleTimeMode(idleTimeMode) {}
    ~CIdleClock() { KillIdleTimer(); }
    CIdleClock(const CIdleClock&) = delete;
    CIdleClock& operator=(const CIdleClock&) = delete;

    // Starts the check timer on `wnd`; false when the system refuses it.
    bool StartIdleTimer(HWND wnd);
    void KillIdleTimer();
    bool Running() const noexcept { return m_nIdleTimer != 0; }

    // Counts now as the last activity.
    void RestartIdleClock() noexcept override { m_dwLastActivity.store(::GetTickCount(), std::memory_order_relaxed); }
    uint32_t LastActivity() const noexcept { return m_dwLastActivity.load(std::memory_order_relaxed); }

    // WM_TIMER of the check timer.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

private:
    const int& m_idleTimeMode;
    HWND m_wnd = nullptr;
    UINT_PTR m_nIdleTimer = 0;
    // Restarted by the snapshot worker too.
    std::atomic<uint32_t> m_dwLastActivity{0};
};

} // namespace tamsel
