#include "gps/AutoScan.h"

#include <cstdio>

#include "framework/Debug.h"
#include "gps/GpsRules.h"
#include "gps/Nmea.h"
#include "gps/SerialPort.h"

namespace tamsel {

namespace {

class Scanner {
public:
    Scanner(fw::Worker& self, CSerialPort& port) : m_self(self), m_port(port) {}
    // The port is closed before the dialog hears that the scan is over.
    ~Scanner() { m_port.Close(); }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // True when `number` has a receiver.
    bool TryPort(int number)
    {
        m_port.Close();
        if (!m_port.Open(number)) {
            wchar_t name[32];
            std::swprintf(name, sizeof name / sizeof name[0], L"//./COM%d", number);
            fw::DebugTrace(L"Can not open %ls\n", name);
            return false;
        }
        if (!ConfigurePort(m_port.Handle()))
            return false;
        if (Pause(kScanSettleMs) || !m_port.PrepareReads())
            return false;

        // A fresh record without owner: the scan posts nothing while it listens.
        m_info = SGpsInfo{};
        m_info.nStatus = GPS_SEARCHING;
        PortScan decisions;
        for (;;) {
            DWORD bytes = 0;
            ScanStep step = ScanStep::ReadAgain;
            switch (m_port.StartRead(bytes)) {
            case CSerialPort::Start::Failed:
                step = decisions.AfterFailedRead();
                break;
            case CSerialPort::Start::Pending:
                if (!WaitPending(bytes))
                    return Heard(m_port.CancelRead());
                step = Parse(bytes, decisions);
                break;
            case CSerialPort::Start::Data:
                step = Parse(bytes, decisions);
                break;
            case CSerialPort::Start::EmptyEof:
                return false;
            case CSerialPort::Start::EmptyPending:
                if (m_port.WaitRead(kScanEmptyPendingMs, m_self.StopEvent()) != CSerialPort::Wait::Done ||
                    !m_port.FetchResult(bytes) || bytes == 0)
                    return false;
                step = Parse(bytes, decisions);
                break;
            case CSerialPort::Start::EmptyOther:
                step = decisions.AfterEmptyRead();
                break;
            }
            if (step != ScanStep::ReadAgain || m_self.StopRequested())
                return step == ScanStep::Found;
        }
    }

private:
    // Waits for a read in flight through the silence budget; true with the
    // byte count when it completed.
    bool WaitPending(DWORD& bytes)
    {
        for (const SScanWait& wait : kScanPendingWaits) {
            if (!wait.bForRead) {
                if (Pause(wait.dwMs))
                    return false;
                continue;
            }
            switch (m_port.WaitRead(wait.dwMs, m_self.StopEvent())) {
            case CSerialPort::Wait::Stopped:
                return false;
            case CSerialPort::Wait::Done:
                // A read that failed gives the port up like a silent one.
                return m_port.FetchResult(bytes);
            case CSerialPort::Wait::Timeout:
                break;
            }
        }
        return false;
    }

    ScanStep Parse(DWORD bytes, PortScan& decisions)
    {
        ParseNmeaBuffer(m_info, m_port.Data(), bytes, ::GetTickCount(), g_nNoFixCount);
        return decisions.AfterParse(m_info);
    }

    // What a read cut short had brought may still hold the verdict.
    bool Heard(DWORD bytes)
    {
        if (bytes == 0 || m_self.StopRequested())
            return false;
        ParseNmeaBuffer(m_info, m_port.Data(), bytes, ::GetTickCount(), g_nNoFixCount);
        return m_info.nStatus != GPS_SEARCHING;
    }

    bool Pause(DWORD ms) const { return ::WaitForSingleObject(m_self.StopEvent(), ms) == WAIT_OBJECT_0; }

    fw::Worker& m_self;
    CSerialPort& m_port;
    SGpsInfo m_info;
};

} // namespace

void AutoScanThreadProc(fw::Worker& self, SAutoScan& scan)
{
    CSerialPort port;
    AutoScanThreadProc(self, scan, port);
}

void AutoScanThreadProc(fw::Worker& self, SAutoScan& scan, CSerialPort& port)
{
    struct DoneNote {
        HWND dialog;
        // Also when an exception ends the scan: the dialog waits for this.
        ~DoneNote()
        {
            if (dialog && !::PostMessageW(dialog, UM_SCAN_DONE, 0, 0))
                fw::TraceLastError(L"PostMessageW");
        }
    } note{scan.hDialog};

    Scanner scanner(self, port);
    for (int number : scan.m_vecPorts) {
        if (self.StopRequested())
            break;
        if (scanner.TryPort(number)) {
            scan.m_bFound = true;
            scan.m_nPort = number;
            break;
        }
    }
}

} // namespace tamsel
