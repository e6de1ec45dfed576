// A small program that needs what the threads runtime takes GetTickCount64
// for (timed waits), and reads the count itself. Built twice: as it is,
// which imports GetTickCount64, and with the program's XP stand-in, which
// must import nothing XP lacks and still count right.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

int main()
{
    std::mutex m;
    std::condition_variable cv;
    bool ready = false;
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        {
            std::lock_guard<std::mutex> lock(m);
            ready = true;
        }
        cv.notify_one();
    });
    bool woken;
    {
        std::unique_lock<std::mutex> lock(m);
        woken = cv.wait_for(lock, std::chrono::seconds(30), [&] { return ready; });
    }
    worker.join();
    if (!woken) {
        std::puts("the timed wait missed its wake-up");
        return 1;
    }

    // The low half follows GetTickCount, and the count never runs back.
    const ULONGLONG first = ::GetTickCount64();
    const DWORD tick = ::GetTickCount();
    ::Sleep(30);
    const ULONGLONG second = ::GetTickCount64();
    std::printf("GetTickCount64 %llu then %llu, GetTickCount %lu\n", first, second,
                static_cast<unsigned long>(tick));
    const DWORD apart = tick - static_cast<DWORD>(first);
    if (apart > 1000 || second < first) {
        std::puts("GetTickCount64 does not follow GetTickCount");
        return 2;
    }
    return 0;
}
