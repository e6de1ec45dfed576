// A message-only window standing in for the main window or the GPS settings
// dialog: it counts the messages the GPS threads post and can hand them on,
// as the real window does.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <vector>

namespace gpstest {

class MessageSink {
public:
    using Handler = std::function<bool(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)>;

    MessageSink();
    ~MessageSink();
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;

    HWND Hwnd() const { return m_wnd; }
    // Every message reaching the window goes to `handler` as well.
    void Forward(Handler handler) { m_handler = std::move(handler); }
    int Count(UINT msg) const;
    // The wParam of every `msg` received, in order.
    std::vector<WPARAM> Params(UINT msg) const;
    // Dispatches this thread's messages until `done` or the time is up.
    bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Dispatches this thread's messages for `ms`.
    void Pump(DWORD ms);

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND m_wnd = nullptr;
    Handler m_handler;
    std::map<UINT, std::vector<WPARAM>> m_received;
};

} // namespace gpstest
