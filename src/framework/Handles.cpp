#include "framework/Handles.h"

#include "framework/Debug.h"

namespace fw {

bool Event::Create(Kind kind, bool signalled) noexcept
{
    m_h.reset(::CreateEventW(nullptr, kind == kManualReset, signalled, nullptr));
    if (!m_h)
        TraceLastError(L"CreateEventW");
    return static_cast<bool>(m_h);
}

void WaitForThreadInSteps(HANDLE thread, DWORD stepMs, const wchar_t* traceOnTimeout)
{
    if (!thread)
        return;
    while (::WaitForSingleObject(thread, stepMs) == WAIT_TIMEOUT)
        ::OutputDebugStringW(traceOnTimeout);
}

} // namespace fw
