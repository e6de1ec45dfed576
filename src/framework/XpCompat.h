// Windows XP and Server 2003 have no GetTickCount64, yet the threads runtime
// (winpthreads) calls it; the program supplies it as GetTickCount widened to
// 64 bits by counting its wraps.
#pragma once

#include <cstdint>

namespace fw {

// The 64-bit count for the 32-bit tick `now`, given `latest`, the highest
// count handed out so far (0 at first). A tick more than half the range
// below the latest one's low half is taken as wrapped; one a little below
// (a caller that read the tick before another stored a newer count) or more
// than half above (read before the latest wrap) belongs to an earlier count.
// Right as long as some call comes at least every 24 days.
uint64_t ExtendTickCount(uint64_t latest, uint32_t now);

} // namespace fw
