// What a preview frame costs the frame grabber's callback while no still
// capture is waiting: CSampleGrabberCB::BufferCB with the grab slot unarmed,
// against a BufferCB that only returns, both called through an
// ISampleGrabberCB pointer whose class the caller cannot know, as the
// Sample Grabber calls it.
//
// Runs of the subjects take turns on one processor; the result is the
// ratio of the medians. A model of the callback with its armed work moved
// out of line is timed alongside, for comparison.
//   tamsel_bench_grabber.exe [--runs N] [--calls N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <wrl/client.h>

#include "EmptyCallback.h"
#include "Timing.h"
#include "capture/SampleGrabberCB.h"

namespace {

// Nanoseconds per call over `calls` calls. One copy of the loop serves every
// subject, so all of them are called from the same place.
__attribute__((noinline, aligned(64))) double TimeCalls(ISampleGrabberCB* callback, BYTE* frame, long length, int calls)
{
    // Hides which class the pointer leads to, so every call stays indirect.
    __asm__ volatile("" : "+r"(callback));
    const double start = benchwin::NowMs();
    for (int i = 0; i < calls; ++i)
        callback->BufferCB(0.0, frame, length);
    return (benchwin::NowMs() - start) * 1e6 / calls;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 501;
    int calls = 200'000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--calls"))
            calls = std::atoi(argv[i + 1]);
    }

    Microsoft::WRL::ComPtr<tamsel::CSampleGrabberCB> grabber;
    if (!tamsel::CSampleGrabberCB::Create(grabber))
        return 1;
    if (tamsel::GrabSlot().bArmed.load()) {
        std::fprintf(stderr, "the grab slot is armed\n");
        return 1;
    }
    constexpr int kSubjects = 3;
    ISampleGrabberCB* subjects[kSubjects] = {grabber.Get(), benchwin::EmptyCallback(),
                                             benchwin::SplitCallbackModel()};
    std::vector<BYTE> frame(640 * 480 * 2, 0x80);
    const long length = static_cast<long>(frame.size());

    ::SetThreadAffinityMask(::GetCurrentThread(), 1);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    for (ISampleGrabberCB* s : subjects) // warm up: caches, the slot's first use
        TimeCalls(s, frame.data(), length, calls);
    std::vector<double> ns[kSubjects];
    for (int run = 0; run < runs; ++run)
        for (int k = 0; k < kSubjects; ++k) {
            const int which = (run + k) % kSubjects; // each goes first in turn
            ns[which].push_back(TimeCalls(subjects[which], frame.data(), length, calls));
        }
    if (tamsel::GrabSlot().bArmed.load() || tamsel::GrabSlot().bDone.load()) {
        std::fprintf(stderr, "a call took a frame\n");
        return 1;
    }

    const double grab = benchwin::Median(ns[0]);
    const double empty = benchwin::Median(ns[1]);
    std::printf("BufferCB, nothing armed: %.3f ns a call (median of %d runs of %d calls; fastest run %.3f)\n",
                grab, runs, calls, benchwin::Min(ns[0]));
    std::printf("empty BufferCB:          %.3f ns a call (median of %d runs of %d calls; fastest run %.3f)\n",
                empty, runs, calls, benchwin::Min(ns[1]));
    const double model = benchwin::Median(ns[2]);
    std::printf("ratio: %.3f (goal: at most 1.10)\n", grab / empty);
    std::printf("for comparison, a model with a leaf fast path (see EmptyCallback.h): %.3f ns a call, "
                "ratio %.3f of the medians, %.3f of the fastest runs\n",
                model, model / empty, benchwin::Min(ns[2]) / benchwin::Min(ns[1]));
    return 0;
}
