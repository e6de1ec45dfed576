// A worker thread: one body, a stop event the body watches, an entry that no
// exception leaves, and a stepped join. Serves the snapshot worker, the GPS
// reader and the port scan alike.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/Handles.h"

namespace fw {

class Worker {
public:
    // The body runs on the new thread; it returns when StopEvent() is
    // signalled (or when its work is done).
    using Body = std::function<void(Worker& self)>;

    Worker() noexcept = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the thread; false (traced) when it cannot be created. A worker
    // that still runs is stopped first.
    bool Start(Body body, const wchar_t* name);
    // Asks the body to end; never lost, whatever the body is doing.
    void RequestStop() noexcept { m_stop.Set(); }
    bool StopRequested() const noexcept { return m_stop.IsSet(); }
    HANDLE StopEvent() const noexcept { return m_stop.get(); }
    // Asks the body to end and waits for it in steps of stepMs, tracing
    // traceOnTimeout after each step that times out; then forgets the thread.
    void Stop(DWORD stepMs, const wchar_t* traceOnTimeout);
    // The thread exists (it may have ended by itself and not been joined).
    bool Exists() const noexcept { return static_cast<bool>(m_thread); }
    // The thread has ended by itself.
    bool Ended() const noexcept { return m_thread && ::WaitForSingleObject(m_thread.get(), 0) == WAIT_OBJECT_0; }
    HANDLE Thread() const noexcept { return m_thread.get(); }

private:
    static DWORD WINAPI Entry(void* self);

    Body m_body;
    const wchar_t* m_name = L"worker";
    Event m_stop;
    Handle m_thread;
};

} // namespace fw
