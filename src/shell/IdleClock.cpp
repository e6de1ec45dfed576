#include "shell/IdleClock.h"

#include "framework/Debug.h"
#include "shell/ShellRules.h"

namespace tamsel {

bool CIdleClock::StartIdleTimer(HWND wnd)
{
    KillIdleTimer();
    m_wnd = wnd;
    m_nIdleTimer = ::SetTimer(wnd, kIdleTimerId, kIdleTimerPeriodMs, nullptr);
    if (!m_nIdleTimer)
        return fw::TraceLastError(L"SetTimer");
    return true;
}

void CIdleClock::KillIdleTimer()
{
    if (m_nIdleTimer) {
        ::KillTimer(m_wnd, m_nIdleTimer);
        m_nIdleTimer = 0;
    }
}

bool CIdleClock::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result)
{
    if (msg != WM_TIMER || wp != kIdleTimerId)
        return false;
    if (m_nIdleTimer && IdleExpired(::GetTickCount(), LastActivity(), m_idleTimeMode))
        ::PostMessageW(m_wnd, WM_CLOSE, 0, 0);
    result = 0;
    return true;
}

} // namespace tamsel
