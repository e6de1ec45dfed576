// GPS decisions that need no window, port or thread: the port number in a
// device's friendly name, the indicator's animation, switching the reader on
// and off, and when the auto-scan has heard enough of a candidate port.
#pragma once

#include "gps/GpsInfo.h"

#include <cstdint>
#include <string_view>

namespace tamsel {

// The number of the last "COM" in a port's friendly name: "USB Serial Port
// (COM12)" gives 12. Two digits at most are read ("(COM123)" gives 12) and the
// first is not checked to be one; -1 when the name holds no "COM".
int ComPortNumberFromName(std::wstring_view friendlyName);

// What the GPS indicator shows.
enum class GpsImage {
    Keep,      // leave the image as it is
    Searching1,
    Searching2,
    Searching3,
    Good,
    Off,
};

// The skin file of an image ("GPS_unknow_1.png" ...); null for Keep.
const wchar_t* GpsImageFile(GpsImage image);

constexpr uint32_t kGpsFrameMs = 1000;

// The indicator's animation. It has no timer of its own: each refresh moves
// it on when more than a second has passed since its last frame, so it runs
// at most one frame a second, and a fix or GPS_OFF restarts it.
class GpsAnimation {
public:
    GpsImage OnRefresh(int32_t nStatus, uint32_t dwNow);

    int Frame() const { return m_nFrame; }

private:
    int m_nFrame = 0;             // 0 not animating, 1..3 the frame shown
    uint32_t m_dwLastFrame = 0;   // tick of the last frame change
};

// What the window thread does on UM_GPS_START (bStart) or UM_GPS_STOP, in
// this order.
struct SGpsSwitch {
    // Set hOwner to the main window and create the reader thread. When that
    // fails: keep no handle, post UM_GPS_STOP, and do nothing more here.
    bool bCreateReader = false;
    // Set m_bGpsStop, wait for the reader in 1000 ms steps, close its
    // handle; m_bGpsStop is cleared afterwards.
    bool bEndReader = false;
    // Then: nStatus and GPS_ON as below, the setup dialog's geotagging flag
    // and buttons, the indicator refreshed, m_dwLastActivity := now.
    bool bApply = false;
    int32_t nStatus = GPS_OFF;
    bool bGpsOn = false;
};

SGpsSwitch DecideGpsSwitch(bool bStart, bool bReaderRunning);

// The auto-scan on one candidate port.
enum class ScanStep { ReadAgain, NextPort, Found };

constexpr int kScanDataReads = 4;    // reads parsed before a port is given up
constexpr int kScanFailedReads = 5;  // reads that failed to start
constexpr int kScanEmptyReads = 5;   // reads done at once with nothing and no known reason
constexpr uint32_t kScanSettleMs = 100;         // after configuring, before the purge
constexpr uint32_t kScanEmptyPendingMs = 5000;  // a read done at once with "pending" set

// One wait for a read left pending. A port silent through all of them
// (about 3 s) has no receiver.
struct SScanWait {
    bool bForRead;   // wait for the read's event; otherwise a plain pause
    uint32_t dwMs;
};
constexpr SScanWait kScanPendingWaits[] = {{true, 1000}, {false, 1000}, {true, 1000}};

class PortScan {
public:
    // After the bytes of a read went through ParseNmeaBuffer into the scan's
    // own record (fresh for each port, status GPS_SEARCHING, no owner): a
    // verdict (a fix, or the seventh sentence in a row without one) finds the
    // receiver; the fourth read without one gives the port up.
    ScanStep AfterParse(const SGpsInfo& info);
    // A read that failed to start (an error other than "pending").
    ScanStep AfterFailedRead();
    // A read done at once with no bytes and an error other than end-of-file
    // or "pending": read again, but a port that only does this must not keep
    // the scan for ever.
    ScanStep AfterEmptyRead();

private:
    int m_nDataReads = 0;
    int m_nFailedReads = 0;
    int m_nEmptyReads = 0;
};

} // namespace tamsel
