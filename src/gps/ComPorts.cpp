#include "gps/ComPorts.h"

#include <cstdio>
#include <memory>

#include "framework/Debug.h"
#include "framework/DeviceInfo.h"
#include "gps/GpsRules.h"

namespace tamsel {

namespace {

// The COM-port device interface class.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// One detail buffer for the whole enumeration: room for a device path of
// 128 characters.
constexpr DWORD kDetailBytes = 262;
constexpr DWORD kPropertyBytes = 512;

bool ReadProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, wchar_t (&text)[kPropertyBytes / 2])
{
    text[0] = L'\0';
    const bool ok = ::SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                                        kPropertyBytes, nullptr) != FALSE;
    text[kPropertyBytes / 2 - 1] = L'\0';
    return ok;
}

bool Fail(const wchar_t* what, std::wstring* error)
{
    const DWORD code = ::GetLastError();
    wchar_t text[96];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ls failed. (err=%lx)", what, code);
    fw::DebugTrace(L"%ls\n", text);
    if (error)
        *error = text;
    return false;
}

bool Enumerate(std::vector<int>& ports, std::wstring* error)
{
    fw::DevInfoList set(::SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set)
        return Fail(L"SetupDiGetClassDevs", error);

    auto detailBytes = std::make_unique<BYTE[]>(kDetailBytes);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBytes.get());
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kComPortInterface, index, &iface)) {
            if (::GetLastError() == ERROR_NO_MORE_ITEMS)
                break;
            return Fail(L"SetupDiEnumDeviceInterfaces", error);
        }
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!::SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, kDetailBytes, nullptr, &device))
            return Fail(L"SetupDiGetDeviceInterfaceDetail", error);

        // Interfaces without a friendly name or a description are not listed.
        wchar_t friendly[kPropertyBytes / 2], description[kPropertyBytes / 2];
        if (!ReadProperty(set.get(), device, SPDRP_FRIENDLYNAME, friendly) ||
            !ReadProperty(set.get(), device, SPDRP_DEVICEDESC, description))
            continue;
        ports.push_back(ComPortNumberFromName(friendly));
    }
    return true;
}

} // namespace

bool EnumComPorts(std::vector<int>& ports, std::wstring* error)
{
    if (Enumerate(ports, error))
        return true;
    ports.clear();
    return false;
}

} // namespace tamsel
