#include "framework/Handles.h"

namespace fw {

void WaitForThreadInSteps(HANDLE thread, DWORD stepMs, const wchar_t* traceOnTimeout)
{
    if (!thread)
        return;
    while (::WaitForSingleObject(thread, stepMs) == WAIT_TIMEOUT)
        ::OutputDebugStringW(traceOnTimeout);
}

} // namespace fw
