#include "framework/Worker.h"

#include "framework/Debug.h"

namespace fw {

Worker::~Worker()
{
    if (m_thread)
        Stop(500, L"wait for worker thread out\n");
}

bool Worker::Start(Body body, const wchar_t* name)
{
    if (m_thread)
        Stop(500, L"wait for worker thread out\n");
    m_name = name;
    if (!m_stop && !m_stop.Create(Event::kManualReset))
        return false;
    m_stop.Reset();
    m_body = std::move(body);
    m_thread.reset(::CreateThread(nullptr, 0, &Worker::Entry, this, 0, nullptr));
    if (!m_thread) {
        TraceLastError(L"CreateThread");
        m_body = nullptr;
        return false;
    }
    return true;
}

void Worker::Stop(DWORD stepMs, const wchar_t* traceOnTimeout)
{
    if (!m_thread)
        return;
    RequestStop();
    WaitForThreadInSteps(m_thread.get(), stepMs, traceOnTimeout);
    m_thread.reset();
    m_body = nullptr;
}

DWORD WINAPI Worker::Entry(void* self)
{
    auto* worker = static_cast<Worker*>(self);
    try {
        worker->m_body(*worker);
    } catch (...) {
        DebugTrace(L"%ls ended by an exception\n", worker->m_name);
    }
    return 0;
}

} // namespace fw
