#include "gps/SerialPort.h"

#include <cstdio>
#include <cstring>

#include "framework/Debug.h"

namespace tamsel {

namespace {

// How long a cancelled read may take to report its end before the port is
// closed under it, and again after that.
constexpr DWORD kCancelWaitMs = 2000;

} // namespace

bool ConfigurePort(HANDLE port)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb))
        return fw::TraceLastError(L"GetCommState");
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port, &dcb))
        return fw::TraceLastError(L"SetCommState");
    return true;
}

bool CSerialPort::Open(int number)
{
    Close();
    wchar_t name[32];
    std::swprintf(name, sizeof name / sizeof name[0], L"//./COM%d", number);
    m_port.reset(::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr));
    m_lastError = m_port ? 0 : ::GetLastError();
    return static_cast<bool>(m_port);
}

bool CSerialPort::PrepareReads()
{
    if (!::PurgeComm(m_port.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        fw::TraceLastError(L"PurgeComm");
    if (!m_slot)
        m_slot = std::make_unique<ReadSlot>();
    return m_done.Create(fw::Event::kManualReset);
}

void CSerialPort::Close() noexcept
{
    CancelRead();
    m_done.Close();
    m_port.reset();
}

CSerialPort::Start CSerialPort::StartRead(DWORD& bytes)
{
    bytes = 0;
    if (m_inFlight)
        CancelRead(); // never two reads into one buffer
    if (!m_port || !m_slot) {
        m_lastError = ERROR_INVALID_HANDLE;
        return Start::Failed;
    }
    std::memset(m_slot->buffer, 0, sizeof m_slot->buffer);
    m_slot->overlapped = OVERLAPPED{};
    m_slot->overlapped.hEvent = m_done.get();
    m_done.Reset();
    // A read done at once leaves the last error as it was; start from none so
    // that what is read afterwards belongs to this read.
    ::SetLastError(ERROR_SUCCESS);
    if (::ReadFile(m_port.get(), m_slot->buffer, kReadSize, &bytes, &m_slot->overlapped)) {
        m_lastError = ::GetLastError();
        if (bytes > 0)
            return Start::Data;
        if (m_lastError == ERROR_HANDLE_EOF)
            return Start::EmptyEof;
        return m_lastError == ERROR_IO_PENDING ? Start::EmptyPending : Start::EmptyOther;
    }
    m_lastError = ::GetLastError();
    if (m_lastError == ERROR_IO_PENDING) {
        m_inFlight = true;
        return Start::Pending;
    }
    return Start::Failed;
}

CSerialPort::Wait CSerialPort::WaitRead(DWORD ms, HANDLE stop) const noexcept
{
    const HANDLE waits[] = {stop, m_done.get()};
    // The stop event first: a stop wins over a read that completes with it.
    switch (::WaitForMultipleObjects(2, waits, FALSE, ms)) {
    case WAIT_OBJECT_0: return Wait::Stopped;
    case WAIT_OBJECT_0 + 1: return Wait::Done;
    default: return Wait::Timeout;
    }
}

bool CSerialPort::FetchResult(DWORD& bytes) noexcept
{
    bytes = 0;
    // Only asked once the event has come, so the wait inside ends at once.
    const BOOL ok = ::GetOverlappedResult(m_port.get(), &m_slot->overlapped, &bytes, TRUE);
    m_lastError = ok ? 0 : ::GetLastError();
    m_inFlight = false;
    return ok != FALSE;
}

DWORD CSerialPort::CancelRead() noexcept
{
    if (!m_inFlight)
        return 0;
    if (!::CancelIo(m_port.get()))
        fw::TraceLastError(L"CancelIo");
    if (!m_done.Wait(kCancelWaitMs)) {
        // A driver that does not end the read on request still ends it when
        // its handle goes.
        fw::DebugTrace(L"read not cancelled, closing the port\n");
        m_port.reset();
        if (!m_done.Wait(kCancelWaitMs)) {
            // The system may still write into the buffer: it stays allocated.
            fw::DebugTrace(L"read did not end, its buffer is left to it\n");
            (void)m_slot.release();
            m_inFlight = false;
            return 0;
        }
    }
    DWORD bytes = 0;
    // Done: the count is valid whether the read finished or was cancelled.
    ::GetOverlappedResult(m_port ? m_port.get() : nullptr, &m_slot->overlapped, &bytes, FALSE);
    m_inFlight = false;
    return bytes;
}

} // namespace tamsel
