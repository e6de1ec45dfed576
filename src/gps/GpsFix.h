// The main window's fix record. The reader thread is its only writer while
// it runs; the snapshot worker takes a whole copy, the window reads and sets
// the status. A small lock keeps every copy consistent (a position never
// mixes two fixes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/Handles.h"
#include "gps/GpsInfo.h"

namespace tamsel {

class CGpsFix {
public:
    CGpsFix() = default;
    CGpsFix(const CGpsFix&) = delete;
    CGpsFix& operator=(const CGpsFix&) = delete;

    SGpsInfo Copy() const;
    int32_t Status() const;
    void SetStatus(int32_t status);
    // Parses the bytes of one read into the record, counting sentences without
    // a fix in the process-wide g_nNoFixCount. True when the status changed
    // and the window must be told.
    bool Parse(const char* bytes, size_t count, uint32_t now);

private:
    mutable fw::Lock m_lock;
    SGpsInfo m_info;
};

} // namespace tamsel
