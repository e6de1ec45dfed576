#include "framework/XpCompat.h"

#include <gtest/gtest.h>

#include <vector>

namespace fw {
namespace {

constexpr uint64_t kWrap = uint64_t{1} << 32;

TEST(TickCount64, ExtendsTheTickAcrossItsWraps)
{
    struct Case { uint64_t latest; uint32_t now; uint64_t count; };
    const Case cases[] = {
        {0, 1000, 1000},
        {0, 0xC0000000u, 0xC0000000u},                    // the first reading, late in the range
        {1000, 999, 999},                                 // a caller that read the tick a little earlier
        {0xFFFFFF00u, 0x100, kWrap + 0x100},              // across the wrap
        {kWrap + 0x100, 0x200, kWrap + 0x200},
        {kWrap + 0x100, 0xFFFFFF80u, 0xFFFFFF80u},        // read just before that wrap
        {2 * kWrap + 0x10, 0x7FFFFFFFu, 2 * kWrap + 0x7FFFFFFFu},
        {2 * kWrap + 0x7FFFFFFFu, 0x80000010u, 2 * kWrap + 0x80000010u},
        {5 * kWrap + 0xFFFFFFFFu, 0, 6 * kWrap},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtendTickCount(c.latest, c.now), c.count) << std::hex << c.latest << " " << c.now;
}

// The stand-in as the program runs it: the highest count kept, the tick read
// every few days over four wraps, with stale readings from other threads
// mixed in. The count must follow the tick exactly and never run back.
TEST(TickCount64, FollowsTheTickOverManyWraps)
{
    uint64_t latest = 0, previous = 0;
    const uint64_t step = 3ull * 24 * 3600 * 1000 + 12345; // three days and a bit
    for (uint64_t real = 7000; real < 4 * kWrap + 5 * step; real += step) {
        const uint32_t now = static_cast<uint32_t>(real);
        const uint64_t count = ExtendTickCount(latest, now);
        ASSERT_EQ(count, real);
        ASSERT_GE(count, previous);
        previous = count;
        if (count > latest)
            latest = count;
        // Another thread's tick read 5 ms before: an earlier count, not a wrap.
        ASSERT_EQ(ExtendTickCount(latest, now - 5), real - 5);
    }
}

} // namespace
} // namespace fw
