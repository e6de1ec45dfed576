#include "MessageSink.h"

#include "Driver.h"

namespace gpstest {

namespace {
constexpr wchar_t kClass[] = L"TamselGpsTestSink";
}

MessageSink::MessageSink()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &MessageSink::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);
    m_wnd = ::CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrW(m_wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageSink::~MessageSink()
{
    ::SetWindowLongPtrW(m_wnd, GWLP_USERDATA, 0);
    ::DestroyWindow(m_wnd);
}

int MessageSink::Count(UINT msg) const
{
    const auto it = m_received.find(msg);
    return it == m_received.end() ? 0 : static_cast<int>(it->second.size());
}

std::vector<WPARAM> MessageSink::Params(UINT msg) const
{
    const auto it = m_received.find(msg);
    return it == m_received.end() ? std::vector<WPARAM>() : it->second;
}

bool MessageSink::WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    return tdrv::WaitUntil(done, timeoutMs, 10);
}

void MessageSink::Pump(DWORD ms)
{
    tdrv::WaitUntil([] { return false; }, ms, 10);
}

LRESULT CALLBACK MessageSink::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<MessageSink*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (self && msg >= WM_USER) {
        self->m_received[msg].push_back(wp);
        LRESULT result = 0;
        if (self->m_handler && self->m_handler(msg, wp, lp, result))
            return result;
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

} // namespace gpstest
