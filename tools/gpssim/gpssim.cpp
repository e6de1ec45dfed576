// gpssim: simulated GPS receivers for Wine. Each receiver is a pty whose
// slave side is linked as $WINEPREFIX/dosdevices/comN, so a Windows program
// opens it as COMN; the simulator writes a receiver's burst of sentences into
// the master side once a second. Receivers are made on the command line or
// through a control FIFO (see README.md), and can go silent, vanish and come
// back.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Scenario.h"

namespace gpssim {
namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_quit = 0;
void OnSignal(int) { g_quit = 1; }

class Receiver {
public:
    Receiver(std::string link, Scenario scenario) : m_link(std::move(link)), m_scenario(std::move(scenario)) {}
    ~Receiver() { Vanish(); }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    bool Plug(std::string& error)
    {
        Vanish();
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            error = std::string("pty: ") + std::strerror(errno);
            Vanish();
            return false;
        }
        const char* slave = ptsname(m_master);
        // Holding the slave open keeps the line up between the program's opens.
        m_slave = slave ? open(slave, O_RDWR | O_NOCTTY) : -1;
        termios raw{};
        if (m_slave < 0 || tcgetattr(m_slave, &raw) != 0) {
            error = std::string("pty slave: ") + std::strerror(errno);
            Vanish();
            return false;
        }
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
        if (!GuardTerminal(slave, error)) {
            Vanish();
            return false;
        }
        unlink(m_link.c_str());
        if (symlink(slave, m_link.c_str()) != 0) {
            error = "link " + m_link + ": " + std::strerror(errno);
            Vanish();
            return false;
        }
        m_second = 0;
        m_next = Clock::now();
        m_pending.clear();
        return true;
    }

    // The receiver is pulled out: the port disappears and the open handle breaks.
    void Vanish()
    {
        if (m_master >= 0 || m_slave >= 0 || m_guard > 0)
            unlink(m_link.c_str());
        if (m_slave >= 0)
            close(m_slave);
        if (m_master >= 0)
            close(m_master);
        m_master = m_slave = -1;
        m_pending.clear();
        // The guard leaves once the hangup is over.
        if (m_hold >= 0)
            close(m_hold);
        if (m_guard > 0)
            waitpid(m_guard, nullptr, 0);
        m_hold = -1;
        m_guard = -1;
    }

    bool Plugged() const { return m_master >= 0; }
    void SetScenario(Scenario scenario)
    {
        m_scenario = std::move(scenario);
        m_pending.clear();
    }

    // Writes what is due; returns when something is due next.
    Clock::time_point Feed(Clock::time_point now)
    {
        if (!Plugged())
            return now + std::chrono::hours(1);
        if (now >= m_next) {
            for (Chunk& chunk : m_scenario.Burst(m_second++))
                m_pending.push_back({m_next + std::chrono::milliseconds(chunk.delayMs), std::move(chunk.bytes)});
            m_next += std::chrono::seconds(1);
            if (m_next < now)
                m_next = now + std::chrono::seconds(1); // fell behind: no catch-up burst
        }
        while (!m_pending.empty() && m_pending.front().due <= now) {
            Write(m_pending.front().bytes);
            m_pending.pop_front();
        }
        return m_pending.empty() ? m_next : std::min(m_next, m_pending.front().due);
    }

private:
    // The wineserver opens ports itself, and as a session leader without a
    // terminal it would take the pty as its controlling terminal: closing the
    // master (a receiver pulled out) would then send it SIGHUP, on which it
    // dumps its objects and at times crashes. A small child process that
    // holds the pty as its own controlling terminal, ignoring the hangup,
    // keeps it from being taken.
    bool GuardTerminal(const char* slave, std::string& error)
    {
        int ready[2], hold[2];
        if (pipe(ready) != 0)
            return Fail("pipe", error);
        if (pipe(hold) != 0) {
            close(ready[0]);
            close(ready[1]);
            return Fail("pipe", error);
        }
        const pid_t child = fork();
        if (child == 0) {
            for (int fd = 3; fd < 1024; ++fd)
                if (fd != ready[1] && fd != hold[0])
                    close(fd);
            signal(SIGHUP, SIG_IGN);
            char answer = 'n';
            if (setsid() >= 0) {
                const int terminal = open(slave, O_RDWR);
                if (terminal >= 0 && ioctl(terminal, TIOCSCTTY, 0) == 0)
                    answer = 'y';
            }
            (void)!write(ready[1], &answer, 1);
            char c;
            while (read(hold[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(hold[0]);
        if (child < 0) {
            close(ready[0]);
            close(hold[1]);
            return Fail("fork", error);
        }
        m_guard = child;
        m_hold = hold[1];
        char answer = 'n';
        const bool told = read(ready[0], &answer, 1) == 1;
        close(ready[0]);
        if (!told || answer != 'y') {
            error = "the pty could not be made a controlling terminal";
            return false;
        }
        return true;
    }

    static bool Fail(const char* what, std::string& error)
    {
        error = std::string(what) + ": " + std::strerror(errno);
        return false;
    }

    void Write(const std::string& bytes)
    {
        // Nobody reading: the bytes are lost, as on a real line.
        if (!bytes.empty() && write(m_master, bytes.data(), bytes.size()) < 0 && errno != EAGAIN)
            std::fprintf(stderr, "gpssim: %s: %s\n", m_link.c_str(), std::strerror(errno));
    }

    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };
    std::string m_link;
    Scenario m_scenario;
    int m_master = -1, m_slave = -1;
    pid_t m_guard = -1; // holds the pty as its controlling terminal
    int m_hold = -1;    // closing it lets the guard go
    unsigned m_second = 0;
    Clock::time_point m_next;
    std::deque<Pending> m_pending;
};

// comN pointing at something that is not a receiver (/dev/null: a port that
// opens but takes no line settings).
class DeviceLink {
public:
    explicit DeviceLink(std::string link) : m_link(std::move(link)) {}
    ~DeviceLink()
    {
        if (m_plugged)
            unlink(m_link.c_str());
    }
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    bool Plug(const std::string& target, std::string& error)
    {
        unlink(m_link.c_str());
        m_plugged = symlink(target.c_str(), m_link.c_str()) == 0;
        if (!m_plugged)
            error = "link " + m_link + ": " + std::strerror(errno);
        return m_plugged;
    }

private:
    std::string m_link;
    bool m_plugged = false;
};

class Simulator {
public:
    Simulator(std::string dosdevices, std::string dataDir)
        : m_dosdevices(std::move(dosdevices)), m_dataDir(std::move(dataDir)) {}

    // One command: add N SCENARIO [ARG] | send N SCENARIO [ARG] | vanish N |
    // back N | device N PATH | remove N | quit. Returns "ok" or the reason it failed.
    std::string Execute(const std::string& line)
    {
        std::istringstream words(line);
        std::string verb, scenarioName, arg, error;
        int number = -1;
        words >> verb;
        if (verb.empty())
            return "ok";
        if (verb == "quit") {
            g_quit = 1;
            return "ok";
        }
        if (!(words >> number) || number < 1 || number > 256)
            return "error: no port number";
        words >> scenarioName >> arg;
        if (verb == "device") {
            // A port that is no receiver at all: comN linked to any path.
            m_receivers.erase(number);
            m_devices.erase(number);
            if (scenarioName.empty())
                return "error: no device path";
            auto device = std::make_unique<DeviceLink>(Link(number));
            if (!device->Plug(scenarioName, error))
                return "error: " + error;
            m_devices[number] = std::move(device);
            return "ok";
        }
        if (verb == "remove" && m_devices.erase(number))
            return "ok";
        auto it = m_receivers.find(number);
        if (verb == "add" || verb == "send") {
            Scenario scenario;
            if (!scenario.Load(scenarioName, scenarioName == "log" ? ResolveData(arg) : arg, error))
                return "error: " + error;
            if (verb == "send") {
                if (it == m_receivers.end())
                    return "error: no receiver on com" + std::to_string(number);
                it->second->SetScenario(std::move(scenario));
                return "ok";
            }
            m_receivers.erase(number);
            m_devices.erase(number);
            auto receiver = std::make_unique<Receiver>(Link(number), std::move(scenario));
            if (!receiver->Plug(error))
                return "error: " + error;
            m_receivers[number] = std::move(receiver);
            return "ok";
        }
        if (it == m_receivers.end())
            return "error: no receiver on com" + std::to_string(number);
        if (verb == "vanish") {
            it->second->Vanish();
            return "ok";
        }
        if (verb == "back")
            return it->second->Plug(error) ? "ok" : "error: " + error;
        if (verb == "remove") {
            m_receivers.erase(it);
            return "ok";
        }
        return "error: unknown command " + verb;
    }

    Clock::time_point Feed(Clock::time_point now)
    {
        Clock::time_point next = now + std::chrono::seconds(1);
        for (auto& entry : m_receivers)
            next = std::min(next, entry.second->Feed(now));
        return next;
    }

private:
    std::string Link(int number) const { return m_dosdevices + "/com" + std::to_string(number); }
    std::string ResolveData(const std::string& arg) const
    {
        if (arg.empty() || arg[0] == '/' || m_dataDir.empty())
            return arg;
        return m_dataDir + "/" + arg;
    }

    std::string m_dosdevices, m_dataDir;
    std::map<int, std::unique_ptr<Receiver>> m_receivers;
    std::map<int, std::unique_ptr<DeviceLink>> m_devices;
};

// The control FIFO: commands one a line; after each, "<count> <result>" is
// written to the acknowledgement file (replaced whole, never seen half written).
class Control {
public:
    bool Open(const std::string& path)
    {
        m_path = path;
        if (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) {
            std::perror(("gpssim: mkfifo " + path).c_str());
            return false;
        }
        // Read and write: the FIFO never reports an end when a writer closes.
        m_fd = open(path.c_str(), O_RDWR | O_NONBLOCK);
        if (m_fd < 0) {
            std::perror(("gpssim: open " + path).c_str());
            return false;
        }
        Acknowledge("ready");
        return true;
    }
    ~Control()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int Fd() const { return m_fd; }

    void Drain(Simulator& simulator)
    {
        char buf[4096];
        ssize_t got;
        while ((got = read(m_fd, buf, sizeof buf)) > 0)
            m_text.append(buf, static_cast<size_t>(got));
        size_t end;
        while ((end = m_text.find('\n')) != std::string::npos) {
            const std::string line = m_text.substr(0, end);
            m_text.erase(0, end + 1);
            ++m_count;
            const std::string result = simulator.Execute(line);
            if (result != "ok")
                std::fprintf(stderr, "gpssim: %s: %s\n", line.c_str(), result.c_str());
            Acknowledge(result);
        }
    }

private:
    void Acknowledge(const std::string& result)
    {
        const std::string ack = m_path + ".ack", temp = ack + ".tmp";
        if (FILE* file = std::fopen(temp.c_str(), "w")) {
            std::fprintf(file, "%u %s\n", m_count, result.c_str());
            std::fclose(file);
            std::rename(temp.c_str(), ack.c_str());
        }
    }

    std::string m_path, m_text;
    int m_fd = -1;
    unsigned m_count = 0;
};

int Usage()
{
    std::fprintf(stderr,
                 "usage: gpssim --prefix WINEPREFIX [--control FIFO] [--data DIR]\n"
                 "              [--receiver N:SCENARIO[:ARG]]...\n"
                 "scenarios: fix nofix silent split garbage baud9600 log:FILE\n");
    return 2;
}

int Main(int argc, char** argv)
{
    std::string prefix, control, data;
    std::vector<std::string> receivers;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return Usage();
        if (option == "--prefix")
            prefix = argv[++i];
        else if (option == "--control")
            control = argv[++i];
        else if (option == "--data")
            data = argv[++i];
        else if (option == "--receiver")
            receivers.push_back(argv[++i]);
        else
            return Usage();
    }
    if (prefix.empty())
        return Usage();

    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Simulator simulator(prefix + "/dosdevices", data);
    for (std::string receiver : receivers) {
        for (char& c : receiver)
            if (c == ':')
                c = ' ';
        const std::string result = simulator.Execute("add " + receiver);
        if (result != "ok") {
            std::fprintf(stderr, "gpssim: --receiver %s: %s\n", receiver.c_str(), result.c_str());
            return 1;
        }
    }
    Control commands;
    if (!control.empty() && !commands.Open(control))
        return 1;

    while (!g_quit) {
        const auto now = Clock::now();
        const auto next = simulator.Feed(now);
        const int waitMs = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) + 1;
        pollfd fd{commands.Fd(), POLLIN, 0};
        const int ready = poll(&fd, commands.Fd() >= 0 ? 1 : 0, std::max(waitMs, 1));
        if (ready > 0)
            commands.Drain(simulator);
    }
    return 0; // the receivers' links go with them
}

} // namespace
} // namespace gpssim

int main(int argc, char** argv) { return gpssim::Main(argc, argv); }
