// One COM port opened for overlapped 512-byte reads, shared by the GPS reader
// and the auto-scan. At most one read is in flight; its buffer and completion
// event are never reused or freed while the system may still write to them.
#pragma once

#include <windows.h>

#include <memory>

#include "framework/Handles.h"

// The print spooler's ConfigurePort macro is not ours.
#ifdef ConfigurePort
#undef ConfigurePort
#endif

namespace tamsel {

// Reads the port's line settings, makes them 115200 baud 8N1 without flow
// control and writes them back; false when either call fails. The driver's
// time-outs stay as they are.
bool ConfigurePort(HANDLE port);

class CSerialPort {
public:
    static constexpr DWORD kReadSize = 512;

    // How a read left ReadFile.
    enum class Start {
        Data,         // done at once with bytes
        EmptyEof,     // done at once, nothing, end-of-file
        EmptyPending, // done at once, nothing, "pending" set
        EmptyOther,   // done at once, nothing, any other error
        Failed,       // not started: an error other than "pending"
        Pending,      // in flight
    };
    enum class Wait { Done, Timeout, Stopped };

    CSerialPort() = default;
    virtual ~CSerialPort() { Close(); }
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens "//./COM<number>" for overlapped reading, sharing reads; false
    // with the system's error code in LastError().
    bool Open(int number);
    bool IsOpen() const noexcept { return static_cast<bool>(m_port); }
    HANDLE Handle() const noexcept { return m_port.get(); }
    // Drops whatever is queued in both directions and makes the completion event.
    bool PrepareReads();
    // Ends a read in flight (see CancelRead), then closes the event and the port.
    void Close() noexcept;

    // Zeroes the buffer and starts a 512-byte read. `bytes` is the count of a
    // read done at once. Virtual so that a test can play a driver's rarer
    // answers.
    virtual Start StartRead(DWORD& bytes);
    // Waits up to `ms` for the read to complete, returning early when `stop`
    // is signalled. A read done at once completes at once.
    Wait WaitRead(DWORD ms, HANDLE stop) const noexcept;
    // The result of a completed read: false when it failed (LastError()).
    bool FetchResult(DWORD& bytes) noexcept;
    // Cancels the read in flight and waits for the cancellation; the bytes it
    // had received by then (the driver hands them over) are returned.
    DWORD CancelRead() noexcept;
    bool ReadInFlight() const noexcept { return m_inFlight; }

    const char* Data() const noexcept { return m_slot ? m_slot->buffer : nullptr; }
    DWORD LastError() const noexcept { return m_lastError; }

private:
    // The buffer and the OVERLAPPED a read writes into, kept together so
    // that a read the system never ends can keep them for good.
    struct ReadSlot {
        OVERLAPPED overlapped{};
        char buffer[kReadSize];
    };

    fw::FileHandle m_port;
    fw::Event m_done;
    std::unique_ptr<ReadSlot> m_slot;
    bool m_inFlight = false;
    DWORD m_lastError = 0;
};

} // namespace tamsel
