// The Windows side of the GPS receiver simulator (tools/gpssim): commands go
// into its control FIFO through Wine's Z: drive, and each is confirmed by its
// acknowledgement file before the call returns.
#pragma once

#include <windows.h>

#include <set>
#include <string>

namespace gpssim {

class Client {
public:
    // Finds the simulator through TAMSEL_GPSSIM_CONTROL.
    Client();
    // Removes every port this client made.
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Available() const { return !m_control.empty(); }
    // Sends one command line and waits for its acknowledgement: "ok", the
    // simulator's error, or "no answer".
    std::string Command(const std::string& line, DWORD timeoutMs = 5000);

    // A receiver on COM<port>: "fix", "nofix", "nofix 7", "silent", "split",
    // "garbage", "baud9600", "log ublox-lea-5h.log".
    bool Add(int port, const std::string& scenario);
    // What an existing receiver sends from now on.
    bool Send(int port, const std::string& scenario);
    // Pulled out (the port disappears, its open handles break) and back.
    bool Vanish(int port);
    bool Back(int port);
    // COM<port> linked to a Unix path that is no receiver ("/dev/null").
    bool Device(int port, const std::string& path);
    bool Remove(int port);

private:
    unsigned AckCount(std::string* result) const;

    std::wstring m_control, m_ack;
    std::set<int> m_ports;
};

} // namespace gpssim
