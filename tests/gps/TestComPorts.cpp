#include "TestComPorts.h"

#include <windows.h>
#include <setupapi.h>

#include <cwctype>

#include "framework/DeviceInfo.h"
#include "framework/Handles.h"

namespace gpstest {

namespace {

constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr DWORD kMaxDeviceId = 200; // kMaxDeviceId of cfgmgr32
constexpr wchar_t kInterfaceKey[] =
    L"System\\CurrentControlSet\\Control\\DeviceClasses\\{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

std::wstring Describe(const wchar_t* what)
{
    return std::wstring(what) + L" failed: " + std::to_wstring(::GetLastError());
}

bool SetText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const std::wstring& value)
{
    return value.empty() ||
           ::SetupDiSetDeviceRegistryPropertyW(set, &device, property, reinterpret_cast<const BYTE*>(value.c_str()),
                                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Another process lists an interface only once it is marked as linked (a
// running driver does that on Windows).
bool MarkLinked(const std::wstring& devicePath)
{
    // "\\?\root#ports#0000#{guid}" is kept under the key "##?#root#ports#0000#{guid}".
    std::wstring name = devicePath;
    if (name.compare(0, 4, L"\\\\?\\") == 0)
        name = L"##?#" + name.substr(4);
    const std::wstring path = std::wstring(kInterfaceKey) + L"\\" + name + L"\\#\\Control";
    fw::RegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    const DWORD linked = 1;
    return ::RegSetValueExW(key.get(), L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                            sizeof linked) == ERROR_SUCCESS;
}

bool RemoveByInstanceId(const std::wstring& id)
{
    fw::DevInfoList set(::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    return set && ::SetupDiOpenDeviceInfoW(set.get(), id.c_str(), nullptr, 0, &device) &&
           ::SetupDiRemoveDevice(set.get(), &device);
}

} // namespace

bool TestComPorts::Add(const TestPortEntry& port, std::wstring& error)
{
    fw::DevInfoList set(::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr));
    if (!set) {
        error = Describe(L"SetupDiCreateDeviceInfoList");
        return false;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const bool generated = port.instanceName.empty();
    if (!::SetupDiCreateDeviceInfoW(set.get(), generated ? L"PORTS" : port.instanceName.c_str(), &kPortsClass,
                                    nullptr, nullptr, generated ? DICD_GENERATE_ID : 0, &device)) {
        error = Describe(L"SetupDiCreateDeviceInfoW");
        return false;
    }
    if (!SetText(set.get(), device, SPDRP_FRIENDLYNAME, port.friendlyName) ||
        !SetText(set.get(), device, SPDRP_DEVICEDESC, port.description) ||
        !SetText(set.get(), device, SPDRP_LOCATION_INFORMATION, port.location)) {
        error = Describe(L"SetupDiSetDeviceRegistryPropertyW");
        return false;
    }
    if (!::SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr)) {
        error = Describe(L"SetupDiRegisterDeviceInfo");
        return false;
    }
    wchar_t id[kMaxDeviceId] = {};
    ::SetupDiGetDeviceInstanceIdW(set.get(), &device, id, kMaxDeviceId, nullptr);
    m_instanceIds.push_back(id);

    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!::SetupDiCreateDeviceInterfaceW(set.get(), &device, &kComPortInterface, nullptr, 0, &iface)) {
        error = Describe(L"SetupDiCreateDeviceInterfaceW");
        return false;
    }
    DWORD needed = 0;
    ::SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, nullptr, 0, &needed, nullptr);
    std::vector<BYTE> bytes(needed + sizeof(wchar_t));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(bytes.data());
    detail->cbSize = sizeof *detail;
    if (!::SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, static_cast<DWORD>(bytes.size()), nullptr,
                                            nullptr)) {
        error = Describe(L"SetupDiGetDeviceInterfaceDetailW");
        return false;
    }
    if (!MarkLinked(detail->DevicePath)) {
        error = L"cannot mark " + std::wstring(detail->DevicePath) + L" linked";
        return false;
    }
    return true;
}

void TestComPorts::RemoveAll()
{
    for (const std::wstring& id : m_instanceIds)
        RemoveByInstanceId(id);
    m_instanceIds.clear();
}

void RemoveStrayTestPorts()
{
    fw::DevInfoList set(::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, 0));
    if (!set)
        return;
    std::vector<std::wstring> ids;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        wchar_t id[kMaxDeviceId] = {};
        if (::SetupDiGetDeviceInstanceIdW(set.get(), &device, id, kMaxDeviceId, nullptr)) {
            std::wstring upper(id);
            for (wchar_t& c : upper)
                c = static_cast<wchar_t>(std::towupper(c));
            if (upper.compare(0, 11, L"ROOT\\PORTS\\") == 0)
                ids.push_back(id);
        }
    }
    set.reset();
    for (const std::wstring& id : ids)
        RemoveByInstanceId(id);
}

} // namespace gpstest
