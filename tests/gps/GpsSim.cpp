#include "GpsSim.h"

#include <cstdlib>

#include "Driver.h"
#include "framework/Handles.h"

namespace gpssim {

Client::Client()
{
    const std::string control = tdrv::Env("TAMSEL_GPSSIM_CONTROL");
    if (!control.empty()) {
        m_control = tdrv::ToWindowsPath(control);
        m_ack = tdrv::ToWindowsPath(control + ".ack");
    }
}

Client::~Client()
{
    for (int port : std::set<int>(m_ports))
        Remove(port);
}

unsigned Client::AckCount(std::string* result) const
{
    fw::FileHandle file(::CreateFileW(m_ack.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return 0;
    char text[512] = {};
    DWORD got = 0;
    ::ReadFile(file.get(), text, sizeof text - 1, &got, nullptr);
    char* rest = nullptr;
    const unsigned long count = std::strtoul(text, &rest, 10);
    if (result) {
        std::string line = rest && *rest == ' ' ? rest + 1 : "";
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        *result = line;
    }
    return static_cast<unsigned>(count);
}

std::string Client::Command(const std::string& line, DWORD timeoutMs)
{
    if (!Available())
        return "no simulator";
    const unsigned before = AckCount(nullptr);
    // Read and write: opening a FIFO only for writing would wait for ever if
    // the simulator were gone.
    fw::FileHandle fifo(::CreateFileW(m_control.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!fifo)
        return "cannot open the control FIFO";
    const std::string text = line + "\n";
    DWORD written = 0;
    if (!::WriteFile(fifo.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return "cannot write the control FIFO";
    std::string result = "no answer";
    tdrv::WaitUntil([&] { return AckCount(&result) > before; }, timeoutMs, 10);
    return result;
}

bool Client::Add(int port, const std::string& scenario)
{
    const bool ok = Command("add " + std::to_string(port) + " " + scenario) == "ok";
    if (ok)
        m_ports.insert(port);
    return ok;
}

bool Client::Send(int port, const std::string& scenario)
{
    return Command("send " + std::to_string(port) + " " + scenario) == "ok";
}

bool Client::Vanish(int port) { return Command("vanish " + std::to_string(port)) == "ok"; }
bool Client::Back(int port) { return Command("back " + std::to_string(port)) == "ok"; }

bool Client::Device(int port, const std::string& path)
{
    const bool ok = Command("device " + std::to_string(port) + " " + path) == "ok";
    if (ok)
        m_ports.insert(port);
    return ok;
}

bool Client::Remove(int port)
{
    m_ports.erase(port);
    return Command("remove " + std::to_string(port)) == "ok";
}

} // namespace gpssim
