#include "snapshot/SnapshotWorker.h"

#include "framework/Debug.h"
#include "framework/Messages.h"

namespace tamsel {

CSnapshotWorker::StartResult CSnapshotWorker::StartSnapshotWorker(HWND notifyWnd,
                                                                  std::function<void()> takeSnapshot)
{
    StopSnapshotWorker();
    m_notifyWnd = notifyWnd;
    m_takeSnapshot = std::move(takeSnapshot);
    if (!m_hSnapEvent.Create(fw::Event::kManualReset) || !m_hIdleEvent.Create(fw::Event::kManualReset, true))
        return StartResult::kNoEvent;
    m_bSnapBusy = false;
    TakeHandOver(); // a new worker starts with nothing of an old one
    if (!m_thread.Start([this](fw::Worker& self) { SnapshotThreadProc(self); }, L"Snapshot worker"))
        return StartResult::kNoThread;
    return StartResult::kStarted;
}

void CSnapshotWorker::StopSnapshotWorker()
{
    m_thread.Stop(500, L"wait for snap thread out\n");
    m_hSnapEvent.Close();
    m_hIdleEvent.Close();
    m_bSnapBusy = false;
}

bool CSnapshotWorker::WaitForSnapshot(DWORD ms) const
{
    return !m_hIdleEvent || m_hIdleEvent.Wait(ms);
}

void CSnapshotWorker::ApplyPendingResult()
{
    if (m_thread.Exists())
        return; // only a stopped worker's result is final
    if (std::function<void()> apply = TakeHandOver())
        apply();
}

std::function<void()> CSnapshotWorker::TakeHandOver()
{
    std::function<void()> taken;
    auto guard = m_handOverLock.Acquire();
    taken.swap(m_handOver);
    return taken;
}

void CSnapshotWorker::SnapshotThreadProc(fw::Worker& self)
{
    const HANDLE waits[] = {self.StopEvent(), m_hSnapEvent.get()};
    for (;;) {
        // Both handles are this object's own. A request accepted before the
        // stop is still taken (the user asked for that picture, and the end
        // applies its result); the request event stays set until the
        // snapshot ends, so the next wake-up sees only the stop.
        ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (!m_hSnapEvent.IsSet())
            return;
        TakeHandOver(); // nothing of an earlier attempt is applied twice
        if (m_takeSnapshot)
            m_takeSnapshot();
        m_hSnapEvent.Reset();
        m_hIdleEvent.Set();
        ::PostMessageW(m_notifyWnd, UM_SNAPSHOT_DONE, 0, 0);
    }
}

void CSnapshotWorker::OnSnapshotRequest()
{
    if (m_bSnapBusy)
        return; // triggers during a snapshot are dropped, not queued
    if (!m_thread.Exists() || !m_hSnapEvent) {
        // Nobody would ever answer: a busy flag set now would stay set and
        // block every later request.
        ::OutputDebugStringW(L"No snapshot worker, request dropped\n");
        return;
    }
    m_bSnapBusy = true;
    if (m_onAccepted)
        m_onAccepted();
    m_hIdleEvent.Reset();
    m_hSnapEvent.Set();
}

void CSnapshotWorker::StoreHandOver(std::function<void()> apply)
{
    auto guard = m_handOverLock.Acquire();
    m_handOver = std::move(apply);
}

bool CSnapshotWorker::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    switch (msg) {
    case UM_SNAPSHOT:
        OnSnapshotRequest();
        break;
    case UM_SNAPSHOT_DONE: {
        std::function<void()> apply = TakeHandOver();
        m_bSnapBusy = false;
        if (apply)
            apply();
        // From here a request starts a new snapshot.
        ::OutputDebugStringW(L"Snapshot done\n");
        break;
    }
    case UM_FLASH_ERROR:
        fw::ShowMessage(m_notifyWnd, L"Get process error");
        break;
    default:
        return false;
    }
    result = 0;
    return true;
}

} // namespace tamsel
