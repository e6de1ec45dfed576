// The snapshot worker: a thread that takes one snapshot per wake-up of its
// manual-reset event, and the request protocol around it. A request marks the
// worker busy until the worker's completion message; requests meanwhile are
// dropped, not queued.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "framework/Handles.h"
#include "framework/Worker.h"

namespace tamsel {

class CSnapshotWorker {
public:
    enum class StartResult { kStarted, kNoEvent, kNoThread };

    CSnapshotWorker() = default;
    ~CSnapshotWorker() { StopSnapshotWorker(); }
    CSnapshotWorker(const CSnapshotWorker&) = delete;
    CSnapshotWorker& operator=(const CSnapshotWorker&) = delete;

    // Creates the event and starts the thread, which runs `takeSnapshot` once
    // per request and then posts UM_SNAPSHOT_DONE to `notifyWnd`.
    StartResult StartSnapshotWorker(HWND notifyWnd, std::function<void()> takeSnapshot);
    // Run on the window's thread when a request is accepted, before the
    // worker wakes: what the snapshot needs of the window's state is copied
    // there.
    void OnRequestAccepted(std::function<void()> hook) { m_onAccepted = std::move(hook); }
    // Called by the snapshot body on the worker thread: `apply` runs on the
    // window's thread when UM_SNAPSHOT_DONE arrives, so that everything the
    // window owns changes on its own thread. `apply` may own what it hands
    // over (a picture): it is kept once, never copied.
    template <typename Apply>
    void HandOver(Apply apply)
    {
        auto kept = std::make_shared<Apply>(std::move(apply));
        StoreHandOver([kept] { (*kept)(); });
    }
    // Ends the thread, waiting for a snapshot in progress to finish. What
    // that snapshot handed over stays for ApplyPendingResult.
    void StopSnapshotWorker();
    // The end of the program: a hand-over whose UM_SNAPSHOT_DONE will never
    // be dispatched (the worker finished during the end, or the message was
    // still queued when the loop ended) is applied here, on the window's
    // thread, once the worker has stopped.
    void ApplyPendingResult();
    // Waits at most `ms` for an accepted request to be taken and handed
    // over (the hide sequence lets it grab from a camera that still runs);
    // true when none is outstanding. Its completion message then follows.
    bool WaitForSnapshot(DWORD ms) const;
    bool Exists() const noexcept { return m_thread.Exists(); }
    bool Busy() const noexcept { return m_bSnapBusy; }
    // Set when the worker is asked to end: a snapshot's waits watch it.
    HANDLE StopEvent() const noexcept { return m_thread.StopEvent(); }

    // UM_SNAPSHOT (a request), UM_SNAPSHOT_DONE (the worker's completion) and
    // UM_FLASH_ERROR (the flash library's box, shown on the window thread).
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

private:
    void StoreHandOver(std::function<void()> apply);
    std::function<void()> TakeHandOver();
    void SnapshotThreadProc(fw::Worker& self);
    void OnSnapshotRequest();

    HWND m_notifyWnd = nullptr;
    std::function<void()> m_takeSnapshot;
    std::function<void()> m_onAccepted;
    // The last snapshot's outcome for the window thread.
    fw::Lock m_handOverLock;
    std::function<void()> m_handOver;
    fw::Event m_hSnapEvent;
    // Set while no accepted request is outstanding on the worker's side.
    fw::Event m_hIdleEvent;
    // Its stop event is what the thread waits on, so a quit request cannot
    // be lost.
    fw::Worker m_thread;
    bool m_bSnapBusy = false;
};

} // namespace tamsel
