// What the GPS tests share: the simulator, a window for the threads'
// messages, and the program's debug strings.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Driver.h"
#include "GpsSim.h"
#include "MessageSink.h"

namespace gpstest {

// Fails the test at once when the simulator is not there (the test program
// runs under tools/gpssim/with-gpssim.sh).
#define REQUIRE_GPSSIM(client) \
    ASSERT_TRUE((client).Available()) << "no simulator: run under tools/gpssim/with-gpssim.sh"

// How many times `text` was traced since `mark`.
inline int CountTrace(const tdrv::DebugStrings& traces, size_t mark, const std::string& text)
{
    int n = 0;
    for (const std::string& s : traces.Since(mark))
        n += s == text;
    return n;
}

// How many traces since `mark` begin with `prefix`.
inline int CountTracePrefix(const tdrv::DebugStrings& traces, size_t mark, const std::string& prefix)
{
    int n = 0;
    for (const std::string& s : traces.Since(mark))
        n += s.compare(0, prefix.size(), prefix) == 0;
    return n;
}

} // namespace gpstest
