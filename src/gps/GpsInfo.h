// The GPS fix record shared by the GPS reader and the snapshot worker.
#pragma once

namespace tamsel {

enum GpsStatus { GPS_SEARCHING = 0, GPS_NOFIX = 1, GPS_FIX = 2, GPS_OFF = 3 };

struct SGpsInfo {
    int nStatus = GPS_SEARCHING;
};

} // namespace tamsel
