#include "gps/GpsReader.h"

#include "framework/Debug.h"
#include "framework/Messages.h"

namespace tamsel {

namespace {

class Reader {
public:
    Reader(fw::Worker& self, const SGpsReaderParams& params) : m_self(self), m_params(params) {}
    ~Reader()
    {
        // Also when an exception ends the thread: the window must learn that
        // the reader is gone.
        m_port.Close();
        Post(UM_GPS_STOP, kGpsReaderEnded);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    void Run()
    {
        m_params.pFix->SetStatus(GPS_SEARCHING);
        if (Pause(kGpsStartPauseMs))
            return;
        while (!m_self.StopRequested()) {
            m_port.Close();
            if (!m_port.Open(m_params.nPort)) {
                ::OutputDebugStringW(L"Can not open comport\n");
                if (Pause(kGpsRetryMs))
                    return;
                PostIcon();
                continue;
            }
            // A port that opens but takes no line settings is tried again a
            // second later, not in a tight loop.
            if (!ConfigurePort(m_port.Handle()) || !m_port.PrepareReads()) {
                if (Pause(kGpsRetryMs))
                    return;
                continue;
            }
            if (!ReadUntilReopen())
                return;
        }
    }

private:
    // Reads one buffer after another; false when a stop was requested, true
    // when the port must be closed and opened again.
    bool ReadUntilReopen()
    {
        while (!m_self.StopRequested()) {
            PostIcon();
            DWORD bytes = 0;
            switch (m_port.StartRead(bytes)) {
            case CSerialPort::Start::Data:
                Parse(bytes);
                break;
            case CSerialPort::Start::EmptyEof:
            case CSerialPort::Start::EmptyOther:
                if (Pause(kGpsRetryMs))
                    return false;
                break;
            case CSerialPort::Start::EmptyPending:
                switch (m_port.WaitRead(kGpsEmptyPendingMs, m_self.StopEvent())) {
                case CSerialPort::Wait::Stopped:
                    return false;
                case CSerialPort::Wait::Timeout:
                    if (Pause(kGpsRetryMs))
                        return false;
                    break;
                case CSerialPort::Wait::Done:
                    if (!m_port.FetchResult(bytes)) {
                        if (Pause(kGpsRetryMs))
                            return false;
                    } else if (bytes == 0) {
                        return true;
                    } else {
                        Parse(bytes);
                    }
                    break;
                }
                break;
            case CSerialPort::Start::Failed:
                fw::DebugTrace(L"read = 0,but dwErr = %d\n", static_cast<int>(m_port.LastError()));
                ::CancelIo(m_port.Handle());
                // The handle is most likely dead (the receiver was pulled
                // out): a fresh open finds the receiver again once it is back.
                return !Pause(kGpsRetryMs);
            case CSerialPort::Start::Pending:
                switch (WaitPending()) {
                case Outcome::Stopped: return false;
                case Outcome::Reopen: return true;
                case Outcome::Next: break;
                }
                break;
            }
        }
        return false;
    }

    enum class Outcome { Next, Reopen, Stopped };

    // A read in flight: two waits of three seconds with a pause between; a
    // read still not done then is cancelled (what it had is parsed) before
    // the next one starts.
    Outcome WaitPending()
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            switch (m_port.WaitRead(kGpsReadWaitMs, m_self.StopEvent())) {
            case CSerialPort::Wait::Stopped:
                return Outcome::Stopped;
            case CSerialPort::Wait::Done: {
                DWORD bytes = 0;
                if (m_port.FetchResult(bytes)) {
                    Parse(bytes);
                    return Outcome::Next;
                }
                fw::DebugTrace(L"GPS read failed: %lu\n", m_port.LastError());
                PostIcon();
                return Pause(kGpsRetryMs) ? Outcome::Stopped : Outcome::Reopen;
            }
            case CSerialPort::Wait::Timeout:
                // Silence: the status stays as it was, the indicator moves on.
                PostIcon();
                if (attempt == 1)
                    Parse(m_port.CancelRead());
                if (Pause(kGpsRetryMs))
                    return Outcome::Stopped;
                break;
            }
        }
        return Outcome::Next;
    }

    void Parse(DWORD bytes)
    {
        if (bytes > 0 && m_params.pFix->Parse(m_port.Data(), bytes, ::GetTickCount()))
            PostIcon();
    }

    // True when a stop was requested during the pause.
    bool Pause(DWORD ms) const { return ::WaitForSingleObject(m_self.StopEvent(), ms) == WAIT_OBJECT_0; }
    void PostIcon() const { Post(UM_GPS_ICON, 0); }
    void Post(UINT msg, WPARAM wp) const
    {
        if (m_params.hOwner && !::PostMessageW(m_params.hOwner, msg, wp, 0))
            fw::TraceLastError(L"PostMessageW");
    }

    fw::Worker& m_self;
    const SGpsReaderParams m_params;
    CSerialPort m_port;
};

} // namespace

void GpsThreadProc(fw::Worker& self, const SGpsReaderParams& params)
{
    Reader reader(self, params);
    reader.Run();
}

} // namespace tamsel
