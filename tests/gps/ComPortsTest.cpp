// Port discovery through SetupAPI, against COM-port devices registered in
// the test prefix.
#include <windows.h>

#include <algorithm>

#include "GpsTestSupport.h"
#include "TestComPorts.h"
#include "framework/Handles.h"
#include "gps/ComPorts.h"

namespace gpstest {

// Lists the ports as another process sees them: run by the test below.
int PrintComPortsForParent()
{
    std::vector<int> ports;
    if (!tamsel::EnumComPorts(ports))
        return 2;
    for (int port : ports)
        std::printf("%d\n", port);
    return 0;
}

namespace {

using tamsel::EnumComPorts;

class ComPortsTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveStrayTestPorts(); }
    void TearDown() override { m_ports.RemoveAll(); }

    void Add(const TestPortEntry& port)
    {
        std::wstring error;
        ASSERT_TRUE(m_ports.Add(port, error)) << testing::PrintToString(error);
    }

    TestComPorts m_ports;
};

TEST_F(ComPortsTest, NoPortIsAnEmptyListAndSuccess)
{
    std::vector<int> ports;
    std::wstring error;
    EXPECT_TRUE(EnumComPorts(ports, &error));
    EXPECT_TRUE(ports.empty());
    EXPECT_TRUE(error.empty());
}

TEST_F(ComPortsTest, PortsComeInEnumerationOrderWithTheirNumbers)
{
    struct Case {
        TestPortEntry port;
        int expected; // 0: not listed
    };
    const Case cases[] = {
        {{L"USB Serial Port (COM12)", L"USB Serial Port", L"Port_#0001.Hub_#0002"}, 12},
        {{L"Communications Port (COM1)", L"Communications Port", L""}, 1},
        {{L"Bluetooth Link (COM123)", L"Standard Serial over Bluetooth link", L""}, 12},
        {{L"Modem without a port name", L"Modem", L""}, -1},
        {{L"", L"No friendly name", L""}, 0},
        {{L"No description (COM9)", L"", L""}, 0},
        {{L"USB Serial Port (COM7)", L"USB Serial Port", L""}, 7},
        {{L"Another USB Serial Port (COM7)", L"USB Serial Port", L""}, 7},
        {{L"Port (COM3)", L"Serial port", L""}, 3},
    };
    std::vector<int> expected;
    for (const Case& c : cases) {
        Add(c.port);
        if (c.expected != 0)
            expected.push_back(c.expected);
    }
    std::vector<int> ports = {99}; // appended to, never cleared by discovery
    ASSERT_TRUE(EnumComPorts(ports));
    expected.insert(expected.begin(), 99);
    EXPECT_EQ(ports, expected);
}

TEST_F(ComPortsTest, ADevicePathTooLongForTheDetailBufferFailsDiscovery)
{
    Add({L"Short (COM4)", L"Serial port", L""});
    // \\?\root#ports#<name>#{guid} longer than the 128 characters the buffer holds.
    Add({L"Long (COM5)", L"Serial port", L"", L"ROOT\\PORTS\\" + std::wstring(90, L'L')});
    std::vector<int> ports;
    std::wstring error;
    EXPECT_FALSE(EnumComPorts(ports, &error));
    EXPECT_EQ(error, L"SetupDiGetDeviceInterfaceDetail failed. (err=7a)");
    EXPECT_TRUE(ports.empty()) << "a failed discovery is no port at all";
}

TEST_F(ComPortsTest, AnotherProcessSeesTheRegisteredPorts)
{
    Add({L"USB Serial Port (COM8)", L"USB Serial Port", L""});
    Add({L"Communications Port (COM2)", L"Communications Port", L""});

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    fw::Handle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --print-com-ports";
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    fw::Handle child(process.hProcess), thread(process.hThread);
    writer.reset();
    std::string output;
    char buf[256];
    DWORD got = 0;
    while (::ReadFile(reader.get(), buf, sizeof buf, &got, nullptr) && got > 0)
        output.append(buf, got);
    ASSERT_EQ(::WaitForSingleObject(child.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 1;
    ::GetExitCodeProcess(child.get(), &code);
    EXPECT_EQ(code, 0u);
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    EXPECT_EQ(output, "8\n2\n");
}

} // namespace
} // namespace gpstest
