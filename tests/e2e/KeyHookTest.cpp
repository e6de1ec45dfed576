// The desktop-wide hardware key and the rotation keys, with real input.
#include "Fixture.h"

namespace e2e {
namespace {

using KeyHookTest = TamselTest;

// A focused edit box of the test's own, to see that keys still arrive.
class FocusedEdit {
public:
    FocusedEdit()
    {
        m_wnd = ::CreateWindowExW(WS_EX_TOPMOST, L"EDIT", L"", WS_POPUP | WS_VISIBLE | WS_BORDER,
                                  700, 10, 200, 30, nullptr, nullptr, nullptr, nullptr);
        ::SetForegroundWindow(m_wnd);
        ::SetFocus(m_wnd);
        // Keys from SendInput go to the foreground window's thread: wait
        // until the system has made this window the foreground one.
        tdrv::WaitUntil([&] {
            if (::GetForegroundWindow() != m_wnd)
                ::SetForegroundWindow(m_wnd);
            return ::GetForegroundWindow() == m_wnd && ::GetFocus() == m_wnd;
        }, 5000);
    }
    ~FocusedEdit() { ::DestroyWindow(m_wnd); }
    HWND Hwnd() const { return m_wnd; }
    // Clears the box and brings it to the foreground again.
    void Reset()
    {
        ::SetWindowTextW(m_wnd, L"");
        tdrv::WaitUntil([&] {
            if (::GetForegroundWindow() != m_wnd)
                ::SetForegroundWindow(m_wnd);
            return ::GetForegroundWindow() == m_wnd;
        }, 2000);
    }
    std::wstring Text() const
    {
        wchar_t buf[64] = {};
        ::GetWindowTextW(m_wnd, buf, 64);
        return buf;
    }

private:
    HWND m_wnd;
};

TEST_F(KeyHookTest, HardwareKeyReleaseReopensTheHiddenWindowAndStillReachesTheFocus)
{
    AddCamera(0);
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("HW key code = 0x41\n"));
    ASSERT_TRUE(tdrv::WaitUntil([] { return tdrv::TrayIconExists(tdrv::FindMainWindow(), kTrayIconId); }, 10000));
    ASSERT_FALSE(Visible());
    FocusedEdit edit;
    ASSERT_EQ(::GetFocus(), edit.Hwnd());

    // A key goes to whichever window is in the foreground when Wine delivers
    // it, and a loaded machine may still be settling the focus left by the
    // previous program: type B again (a few times at most) until the box has
    // it. A hook that swallowed keys fails every attempt.
    bool typed = false;
    for (int attempt = 0; attempt < 3 && !typed; ++attempt) {
        edit.Reset();
        tdrv::TapKey('B');
        typed = tdrv::WaitUntil([&] { return edit.Text() == L"b"; }, 1000);
    }
    ASSERT_TRUE(typed) << "the hook passes every key on";
    tdrv::SendKey('A', false);
    EXPECT_FALSE(WaitVisible(true, 700)) << "a press alone does nothing";
    tdrv::SendKey('A', true);
    EXPECT_TRUE(WaitVisible(true));
    EXPECT_TRUE(WaitTrace("Exern click\n"));
    tdrv::WaitUntil([&] { return edit.Text() == L"ba"; }, 2000);
    EXPECT_EQ(edit.Text(), L"ba") << "the hook passes every key on";

    // Only the key acted on is traced, not every key on the desktop.
    int keyTraces = 0;
    for (const std::string& s : m_traces.Since(m_mark))
        keyTraces += s.rfind("Key code = ", 0) == 0;
    EXPECT_EQ(keyTraces, 1);
    EXPECT_EQ(CountTrace("Exern click\n"), 1);
}

TEST_F(KeyHookTest, CtrlAltArrowIsTracedForPressAndRelease)
{
    Start(L"-h");
    ASSERT_TRUE(WaitTrace("No camera devie plug-in"));
    FocusedEdit edit;
    tdrv::SendKey(VK_CONTROL, false);
    tdrv::SendKey(VK_MENU, false);
    tdrv::TapKey(VK_RIGHT);
    tdrv::SendKey(VK_MENU, true);
    tdrv::SendKey(VK_CONTROL, true);
    tdrv::TapKey(VK_RIGHT); // without the modifiers: no rotation
    auto rightTraces = [&] {
        int n = 0;
        for (const std::string& s : m_traces.Since(m_mark))
            n += s.rfind("Key code = 0x27,", 0) == 0;
        return n;
    };
    EXPECT_TRUE(tdrv::WaitUntil([&] { return rightTraces() >= 2; }, 3000));
    ::Sleep(300);
    EXPECT_EQ(rightTraces(), 2);
}

} // namespace
} // namespace e2e
