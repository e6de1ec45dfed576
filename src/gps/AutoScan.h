// The port scan of the GPS settings dialog: tries the discovered ports in
// their order and stops at the first one on which a receiver talks NMEA at
// 115200 baud.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/Worker.h"

namespace tamsel {

// Messages the GPS settings dialog sends itself.
enum : UINT {
    UM_NO_COMPORT = WM_USER + 1001,
    UM_SCAN_DONE = WM_USER + 1002,
};

// What the dialog hands the scan thread and reads back once the thread has
// ended.
struct SAutoScan {
    std::vector<int> m_vecPorts; // tried in this order; not changed during the scan
    HWND hDialog = nullptr;      // receives UM_SCAN_DONE
    bool m_bFound = false;       // set when a port has a receiver ...
    int m_nPort = -1;            // ... and this is the port; unchanged otherwise
};

// The scan thread's body. A port is given up after four reads without a
// verdict, after about 3 s of silence, after five reads that fail to start
// or five that bring nothing for no known reason. Ends early when the worker
// is asked to stop. Always posts UM_SCAN_DONE to the dialog last.
void AutoScanThreadProc(fw::Worker& self, SAutoScan& scan);

class CSerialPort;
// The same over a given port object (tests play a driver's rarer answers).
void AutoScanThreadProc(fw::Worker& self, SAutoScan& scan, CSerialPort& port);

} // namespace tamsel
