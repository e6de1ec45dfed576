#include "gps/GpsFix.h"

#include "gps/Nmea.h"

namespace tamsel {

SGpsInfo CGpsFix::Copy() const
{
    auto guard = m_lock.Acquire();
    return m_info;
}

int32_t CGpsFix::Status() const
{
    auto guard = m_lock.Acquire();
    return m_info.nStatus;
}

void CGpsFix::SetStatus(int32_t status)
{
    auto guard = m_lock.Acquire();
    m_info.nStatus = status;
}

bool CGpsFix::Parse(const char* bytes, size_t count, uint32_t now)
{
    // One read is at most 512 bytes: the lock is held for microseconds.
    auto guard = m_lock.Acquire();
    return ParseNmeaBuffer(m_info, bytes, count, now, g_nNoFixCount);
}

} // namespace tamsel
