// The GPS reader: a worker thread that owns one COM port, reads what the
// receiver sends and keeps the fix record up to date, telling the window by
// posted messages. Every wait also watches the worker's stop event, so a
// stop is seen within a moment whatever the port is doing.
#pragma once

#include <windows.h>

#include "framework/Worker.h"
#include "gps/GpsFix.h"
#include "gps/SerialPort.h"

namespace tamsel {

// UM_GPS_STOP's wParam when the reader itself posts it on its way out. The
// window tells by it that the note belongs to a reader it may already have
// stopped (a request to stop carries 0).
constexpr WPARAM kGpsReaderEnded = 1;

// The reader's waits, in milliseconds.
constexpr DWORD kGpsStartPauseMs = 100;   // before the first open
constexpr DWORD kGpsRetryMs = 1000;       // after a failure, before trying again
constexpr DWORD kGpsReadWaitMs = 3000;    // for a read in flight, twice
constexpr DWORD kGpsEmptyPendingMs = 5000; // for a read done at once with "pending" set

struct SGpsReaderParams {
    int nPort = -1;          // "//./COM<nPort>"; -1 never opens
    HWND hOwner = nullptr;   // receives UM_GPS_ICON and, at the end, UM_GPS_STOP
    CGpsFix* pFix = nullptr;
};

// The reader thread's body: sets the status to searching, then opens,
// configures and reads the port until the worker is asked to stop, reopening
// it after a failed read and retrying a missing port once a second. Posts
// UM_GPS_ICON before each read, after each failure and when a sentence
// changes the status, and UM_GPS_STOP (kGpsReaderEnded) when it ends.
void GpsThreadProc(fw::Worker& self, const SGpsReaderParams& params);

} // namespace tamsel
