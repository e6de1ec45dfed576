// The quantisation tables read from hostile bytes. Besides surviving: a read
// header holds at most one table per destination (0..3), components whose
// factors and tables are in range, and the quality-100 verdict only where
// every table a component uses is there and all ones.
#include "snapshot/JpegTables.h"

#include <algorithm>
#include <cstdlib>

namespace {

void Require(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tamsel;
    const JpegTables t = ReadJpegTables(data, size);
    if (t.outcome != JpegTablesOutcome::kRead) {
        Require(t.tables.empty() && t.components.empty() && !IsQualityHundred(t));
        return 0;
    }
    Require(t.tables.size() <= 4);
    for (size_t i = 0; i < t.tables.size(); ++i) {
        Require(t.tables[i].id <= 3);
        for (size_t j = i + 1; j < t.tables.size(); ++j)
            Require(t.tables[i].id != t.tables[j].id);
        if (!t.tables[i].wide)
            Require(std::all_of(t.tables[i].values.begin(), t.tables[i].values.end(), [](uint16_t v) { return v <= 255; }));
    }
    bool ones = !t.components.empty();
    for (const FrameComponent& c : t.components) {
        Require(c.h >= 1 && c.h <= 4 && c.v >= 1 && c.v <= 4 && c.table <= 3);
        const auto q = std::find_if(t.tables.begin(), t.tables.end(), [&](const QuantTable& x) { return x.id == c.table; });
        ones = ones && q != t.tables.end() &&
               std::all_of(q->values.begin(), q->values.end(), [](uint16_t v) { return v == 1; });
    }
    Require(IsQualityHundred(t) == ones);
    return 0;
}
