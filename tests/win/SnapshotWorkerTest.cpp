// The snapshot worker's request protocol and its end, on real threads and a
// real message queue.
#include <windows.h>

#include <atomic>

#include <gtest/gtest.h>

#include "framework/Handles.h"
#include "framework/Messages.h"
#include "snapshot/SnapshotWorker.h"

namespace tamsel {
namespace {

// A message-only window that counts the worker's completion messages and
// hands them to the worker, as the main window does.
class CompletionSink {
public:
    explicit CompletionSink(CSnapshotWorker& worker) : m_worker(worker)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CompletionSink::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SnapshotWorkerTestSink";
        ::RegisterClassW(&wc);
        m_wnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
        ::SetWindowLongPtrW(m_wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CompletionSink() { ::DestroyWindow(m_wnd); }
    HWND Hwnd() const { return m_wnd; }
    int Completions() const { return m_completions; }

    // Pumps until `count` completions have arrived or the time is up.
    bool WaitForCompletions(int count, DWORD ms)
    {
        const DWORD start = ::GetTickCount();
        while (m_completions < count && ::GetTickCount() - start < ms) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return m_completions >= count;
    }

    void Request()
    {
        LRESULT r = 0;
        m_worker.OnMessage(UM_SNAPSHOT, 0, 0, r);
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<CompletionSink*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
        LRESULT r = 0;
        if (self && msg == UM_SNAPSHOT_DONE) {
            ++self->m_completions;
            self->m_worker.OnMessage(msg, wp, lp, r);
            return 0;
        }
        return ::DefWindowProcW(wnd, msg, wp, lp);
    }

    CSnapshotWorker& m_worker;
    HWND m_wnd = nullptr;
    int m_completions = 0;
};

// A snapshot body the test holds inside until it lets go.
struct HeldSnapshot {
    fw::Event entered, release;
    std::atomic<int> taken{0};
    HeldSnapshot()
    {
        entered.Create(fw::Event::kAutoReset);
        release.Create(fw::Event::kManualReset);
    }
    void operator()()
    {
        ++taken;
        entered.Set();
        release.Wait(10000);
    }
};

DWORD WINAPI StopOnOtherThread(void* worker)
{
    static_cast<CSnapshotWorker*>(worker)->StopSnapshotWorker();
    return 0;
}

TEST(SnapshotWorker, QuitRaisedWhileASnapshotFinishesEndsTheWorker)
{
    CSnapshotWorker worker;
    CompletionSink sink(worker);
    HeldSnapshot body;
    ASSERT_EQ(worker.StartSnapshotWorker(sink.Hwnd(), [&] { body(); }),
              CSnapshotWorker::StartResult::kStarted);
    sink.Request();
    ASSERT_TRUE(body.entered.Wait(5000));

    // The end of the program asks the worker to quit in the middle of a snapshot.
    fw::Handle stopper(::CreateThread(nullptr, 0, &StopOnOtherThread, &worker, 0, nullptr));
    ASSERT_TRUE(stopper);
    EXPECT_EQ(::WaitForSingleObject(stopper.get(), 300), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the stop waits for the snapshot in progress";
    body.release.Set();
    const bool ended = ::WaitForSingleObject(stopper.get(), 10000) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended) << "the quit request was lost: the worker waits for ever";
    if (!ended)
        ::TerminateThread(stopper.get(), 1); // the worker itself cannot be saved
    EXPECT_EQ(body.taken.load(), 1);
    EXPECT_FALSE(worker.Exists());
}

TEST(SnapshotWorker, RequestWithoutWorkerIsNotLeftPending)
{
    CSnapshotWorker worker;
    CompletionSink sink(worker);
    sink.Request();
    EXPECT_FALSE(worker.Busy()) << "no worker can ever clear it";

    // A camera arrives later and the worker starts: requests are served.
    int taken = 0;
    ASSERT_EQ(worker.StartSnapshotWorker(sink.Hwnd(), [&] { ++taken; }),
              CSnapshotWorker::StartResult::kStarted);
    sink.Request();
    EXPECT_TRUE(worker.Busy());
    ASSERT_TRUE(sink.WaitForCompletions(1, 5000));
    EXPECT_EQ(taken, 1);
    EXPECT_FALSE(worker.Busy());
}

TEST(SnapshotWorker, RequestsDuringASnapshotAreDroppedNotQueued)
{
    CSnapshotWorker worker;
    CompletionSink sink(worker);
    HeldSnapshot body;
    ASSERT_EQ(worker.StartSnapshotWorker(sink.Hwnd(), [&] { body(); }),
              CSnapshotWorker::StartResult::kStarted);
    sink.Request();
    ASSERT_TRUE(body.entered.Wait(5000));
    sink.Request();
    sink.Request();
    body.release.Set();
    ASSERT_TRUE(sink.WaitForCompletions(1, 5000));
    EXPECT_FALSE(sink.WaitForCompletions(2, 500));
    EXPECT_EQ(body.taken.load(), 1);

    sink.Request();
    ASSERT_TRUE(sink.WaitForCompletions(2, 5000));
    EXPECT_EQ(body.taken.load(), 2);
}

} // namespace
} // namespace tamsel
