// COM-port devices for discovery tests, registered through SetupAPI in the
// test prefix exactly as a port driver's installation would leave them, and
// removed again. Wine's port interface class is empty otherwise.
#pragma once

#include <string>
#include <vector>

namespace gpstest {

struct TestPortEntry {
    TestPortEntry(std::wstring friendly, std::wstring desc, std::wstring loc = {}, std::wstring instance = {})
        : friendlyName(std::move(friendly)), description(std::move(desc)), location(std::move(loc)),
          instanceName(std::move(instance)) {}
    std::wstring friendlyName;    // empty: the property is not set
    std::wstring description;     // empty: the property is not set
    std::wstring location;        // empty: the property is not set
    std::wstring instanceName;    // empty: a generated ROOT\PORTS\NNNN
};

// Registers the devices in order, each with a COM-port interface that other
// processes see too. Each is removed when the object goes.
class TestComPorts {
public:
    TestComPorts() = default;
    ~TestComPorts() { RemoveAll(); }
    TestComPorts(const TestComPorts&) = delete;
    TestComPorts& operator=(const TestComPorts&) = delete;

    // False (with the reason in `error`) when a device cannot be made.
    bool Add(const TestPortEntry& port, std::wstring& error);
    void RemoveAll();

private:
    std::vector<std::wstring> m_instanceIds;
};

// Removes every device of the Ports class under ROOT\PORTS: what a test
// that did not end cleanly left behind in the prefix.
void RemoveStrayTestPorts();

} // namespace gpstest
