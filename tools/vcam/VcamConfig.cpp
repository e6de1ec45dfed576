#include "VcamConfig.h"

#include "VcamCommon.h"

#include <dbt.h>
#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <set>

using Microsoft::WRL::ComPtr;

namespace vcam {

const wchar_t kDevicesKeyPath[] = L"Software\\TamselVcam\\Devices";
const wchar_t kFlashKeyPath[] = L"Software\\TamselVcam";

namespace {

constexpr int kMinSize = 2;
constexpr int kMaxSize = 8192;
constexpr wchar_t kCategoryText[] = L"{860BB310-5D01-11D0-BD3B-00A0C911CE86}";

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[64] = {};
    ::StringFromGUID2(guid, text, 64);
    return text;
}

HRESULT FromWin32(LONG rc)
{
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG SetDword(HKEY key, const wchar_t* name, DWORD value)
{
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
}

bool GetString(HKEY key, const wchar_t* name, std::wstring* value)
{
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_MULTI_SZ) || size > 1 << 20)
        return false;
    std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]),
                           &size) != ERROR_SUCCESS)
        return false;
    buffer.resize(size / sizeof(wchar_t));
    if (type == REG_SZ) {
        buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
    }
    *value = std::move(buffer);
    return true;
}

bool GetDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0, data = 0, size = sizeof data;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    *value = data;
    return true;
}

// Every entry of this camera in the video input category, by instance name.
HRESULT ListedInstances(std::vector<std::wstring>* instances)
{
    instances->clear();
    ComPtr<ICreateDevEnum> devEnum;
    HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&devEnum));
    if (FAILED(hr))
        return hr;
    ComPtr<IEnumMoniker> monikers;
    hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    if (hr != S_OK || !monikers)
        return SUCCEEDED(hr) ? S_OK : hr;
    const std::wstring ours = GuidText(CLSID_TamselVcam);
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        Variant clsid;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) ||
            FAILED(bag->Read(L"CLSID", clsid.put(), nullptr)) || clsid.get().vt != VT_BSTR ||
            _wcsicmp(clsid.get().bstrVal, ours.c_str()) != 0)
            continue;
        ComPtr<IBindCtx> ctx;
        LPOLESTR name = nullptr;
        if (FAILED(::CreateBindCtx(0, &ctx)) ||
            FAILED(moniker->GetDisplayName(ctx.Get(), nullptr, &name)) || !name)
            continue;
        std::wstring display(name);
        ::CoTaskMemFree(name);
        size_t slash = display.rfind(L'\\');
        if (slash != std::wstring::npos)
            instances->push_back(display.substr(slash + 1));
    }
    return S_OK;
}

HRESULT ListOne(IFilterMapper2* mapper, int number, const DeviceConfig& config)
{
    static const REGPINTYPES kTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
                                         {&MEDIATYPE_Video, &MEDIASUBTYPE_MJPG}};
    REGFILTERPINS2 pins[2] = {};
    for (auto& pin : pins) {
        pin.dwFlags = REG_PINFLAG_B_OUTPUT;
        pin.cInstances = 1;
        pin.nMediaTypes = 2;
        pin.lpMediaType = kTypes;
    }
    pins[0].clsPinCategory = &PIN_CATEGORY_CAPTURE;
    pins[1].clsPinCategory = &PIN_CATEGORY_STILL;
    REGFILTER2 filter = {};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = config.stillPin ? 2 : 1;
    filter.rgPins2 = pins;

    const std::wstring instance = InstanceName(number);
    ComPtr<IMoniker> moniker;
    HRESULT hr = mapper->RegisterFilter(CLSID_TamselVcam, config.friendlyName.c_str(), &moniker,
                                        &CLSID_VideoInputDeviceCategory, instance.c_str(),
                                        &filter);
    if (FAILED(hr))
        return hr;
    if (!moniker) {
        // Some mappers hand back no moniker: find the entry by its name.
        ComPtr<IBindCtx> ctx;
        ULONG eaten = 0;
        hr = ::CreateBindCtx(0, &ctx);
        if (SUCCEEDED(hr))
            hr = ::MkParseDisplayName(ctx.Get(), DisplayName(number).c_str(), &eaten, &moniker);
        if (FAILED(hr))
            return hr;
    }
    // The filter learns from this value which record it is (IPersistPropertyBag::Load).
    ComPtr<IPropertyBag> bag;
    hr = moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag));
    if (FAILED(hr))
        return hr;
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    return bag->Write(kBagDeviceValue, &value);
}

} // namespace

std::vector<Format> DeviceConfig::DefaultFormats()
{
    return {{Subtype::YUY2, 640, 480},
            {Subtype::YUY2, 800, 600},
            {Subtype::YUY2, 1024, 768},
            {Subtype::MJPG, 1024, 768}};
}

std::wstring FormatToString(const Format& format)
{
    wchar_t text[96];
    int n = _snwprintf(text, 96, L"%ls %dx%d", format.subtype == Subtype::MJPG ? L"MJPG" : L"YUY2",
                       format.width, format.height);
    if (n > 0 && format.Announced()) {
        if (format.announcedBits)
            _snwprintf(text + n, 96 - n, L" as %ldx%ldx%d", format.HeaderWidth(), format.HeaderHeight(),
                       format.announcedBits);
        else
            _snwprintf(text + n, 96 - n, L" as %ldx%ld", format.HeaderWidth(), format.HeaderHeight());
    }
    text[95] = L'\0';
    return text;
}

namespace {

// " as WxH" or " as WxHxBITS" after a capability, or nothing.
bool ParseAnnouncement(const wchar_t* rest, Format* f)
{
    while (std::iswspace(*rest))
        ++rest;
    if (!*rest)
        return true;
    long width = 0, height = 0;
    int used = 0;
    if (swscanf(rest, L"as %ldx%ld%n", &width, &height, &used) != 2 || width == 0 || height == 0)
        return false;
    rest += used;
    int bits = 0;
    if (*rest == L'x') {
        used = 0;
        if (swscanf(rest, L"x%d%n", &bits, &used) != 1 || bits < 1 || bits > 65535)
            return false;
        rest += used;
    }
    while (std::iswspace(*rest))
        ++rest;
    if (*rest)
        return false;
    f->announcedWidth = width;
    f->announcedHeight = height;
    f->announcedBits = bits;
    return true;
}

} // namespace

bool ParseFormat(const std::wstring& text, Format* format)
{
    wchar_t name[8] = {};
    int width = 0, height = 0, used = 0;
    if (swscanf(text.c_str(), L" %4ls %dx%d%n", name, &width, &height, &used) != 3)
        return false;
    Format parsed;
    if (_wcsicmp(name, L"YUY2") == 0)
        parsed.subtype = Subtype::YUY2;
    else if (_wcsicmp(name, L"MJPG") == 0)
        parsed.subtype = Subtype::MJPG;
    else
        return false;
    if (width < kMinSize || height < kMinSize || width > kMaxSize || height > kMaxSize ||
        width % 2 != 0)
        return false;
    parsed.width = width;
    parsed.height = height;
    if (!ParseAnnouncement(text.c_str() + used, &parsed))
        return false;
    *format = parsed;
    return true;
}

std::wstring DeviceKeyPath(int number)
{
    return std::wstring(kDevicesKeyPath) + L"\\" + std::to_wstring(number);
}

HRESULT WriteDevice(int number, const DeviceConfig& config)
{
    return Guarded([&]() -> HRESULT {
        if (number < 0 || number > kMaxDevice)
            return E_INVALIDARG;
        RegKey key;
        LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, DeviceKeyPath(number).c_str(), 0, nullptr,
                                    0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
        if (rc != ERROR_SUCCESS)
            return FromWin32(rc);
        std::wstring formats;
        for (const Format& f : config.formats) {
            formats += FormatToString(f);
            formats += L'\0';
        }
        formats += L'\0';
        LONG results[] = {
            SetString(key.get(), L"FriendlyName", config.friendlyName),
            ::RegSetValueExW(key.get(), L"Formats", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(formats.data()),
                             static_cast<DWORD>(formats.size() * sizeof(wchar_t))),
            SetDword(key.get(), L"FrameRate", config.frameRate),
            SetDword(key.get(), L"StillPin", config.stillPin ? 1 : 0),
            SetString(key.get(), L"CapturePinName", config.capturePinName),
            SetString(key.get(), L"StillPinName", config.stillPinName),
            SetDword(key.get(), L"Roll", config.roll ? 1 : 0),
            SetDword(key.get(), L"IgnoreTrigger", config.ignoreTrigger ? 1 : 0),
            SetDword(key.get(), L"Unplugged", config.unplugged ? 1 : 0),
        };
        for (LONG r : results)
            if (r != ERROR_SUCCESS)
                return FromWin32(r);
        return S_OK;
    });
}

HRESULT ReadDevice(int number, DeviceConfig* config)
{
    if (!config)
        return E_POINTER;
    return Guarded([&]() -> HRESULT {
        *config = DeviceConfig();
        if (number < 0 || number > kMaxDevice)
            return E_INVALIDARG;
        RegKey key;
        LONG rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, DeviceKeyPath(number).c_str(), 0,
                                  KEY_QUERY_VALUE, key.put());
        if (rc == ERROR_FILE_NOT_FOUND)
            return S_FALSE;
        if (rc != ERROR_SUCCESS)
            return FromWin32(rc);

        std::wstring text;
        DWORD value = 0;
        if (GetString(key.get(), L"FriendlyName", &text) && !text.empty())
            config->friendlyName = text;
        if (GetString(key.get(), L"Formats", &text)) {
            std::vector<Format> formats;
            for (size_t pos = 0; pos < text.size();) {
                size_t end = text.find(L'\0', pos);
                if (end == std::wstring::npos)
                    end = text.size();
                Format f;
                if (end > pos && ParseFormat(text.substr(pos, end - pos), &f) &&
                    std::find(formats.begin(), formats.end(), f) == formats.end())
                    formats.push_back(f);
                else if (end > pos)
                    Trace(L"device %d: format \"%ls\" ignored", number,
                          text.substr(pos, end - pos).c_str());
                pos = end + 1;
            }
            if (!formats.empty())
                config->formats = std::move(formats);
        }
        if (GetDword(key.get(), L"FrameRate", &value) && value >= kMinFrameRate &&
            value <= kMaxFrameRate)
            config->frameRate = value;
        if (GetDword(key.get(), L"StillPin", &value))
            config->stillPin = value != 0;
        if (GetString(key.get(), L"CapturePinName", &text) && !text.empty())
            config->capturePinName = text;
        if (GetString(key.get(), L"StillPinName", &text) && !text.empty())
            config->stillPinName = text;
        if (GetDword(key.get(), L"Roll", &value))
            config->roll = value != 0;
        if (GetDword(key.get(), L"IgnoreTrigger", &value))
            config->ignoreTrigger = value != 0;
        if (GetDword(key.get(), L"Unplugged", &value))
            config->unplugged = value != 0;
        return S_OK;
    });
}

HRESULT DeleteDevice(int number)
{
    return Guarded([&]() -> HRESULT {
        if (number < 0 || number > kMaxDevice)
            return E_INVALIDARG;
        LONG rc = ::RegDeleteTreeW(HKEY_CURRENT_USER, DeviceKeyPath(number).c_str());
        return rc == ERROR_FILE_NOT_FOUND ? S_FALSE : FromWin32(rc);
    });
}

HRESULT DeleteAllDevices()
{
    return Guarded([&]() -> HRESULT {
        for (int n : ListDevices()) {
            HRESULT hr = DeleteDevice(n);
            if (FAILED(hr))
                return hr;
        }
        RegKey key;
        return FromWin32(::RegCreateKeyExW(HKEY_CURRENT_USER, kDevicesKeyPath, 0, nullptr, 0,
                                           KEY_READ, nullptr, key.put(), nullptr));
    });
}

std::vector<int> ListDevices()
{
    std::vector<int> numbers;
    try {
        RegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kDevicesKeyPath, 0, KEY_ENUMERATE_SUB_KEYS,
                            key.put()) != ERROR_SUCCESS)
            return numbers;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD size = 256;
            LONG rc = ::RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr,
                                      nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            if (rc != ERROR_SUCCESS)
                continue;
            wchar_t* end = nullptr;
            long n = wcstol(name, &end, 10);
            if (end && *end == L'\0' && end != name && n >= 0 && n <= kMaxDevice &&
                std::iswdigit(name[0]) && std::to_wstring(n) == name)
                numbers.push_back(static_cast<int>(n));
        }
        std::sort(numbers.begin(), numbers.end());
    } catch (...) {
        numbers.clear();
    }
    return numbers;
}

bool DevicesKeyExists()
{
    RegKey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, kDevicesKeyPath, 0, KEY_READ, key.put()) ==
           ERROR_SUCCESS;
}

std::wstring InstanceName(int number)
{
    wchar_t text[32];
    _snwprintf(text, 32, L"TamselVcam%04d", number);
    text[31] = L'\0';
    return text;
}

std::wstring DisplayName(int number)
{
    return std::wstring(L"@device:sw:") + kCategoryText + L"\\" + InstanceName(number);
}

HRESULT RegisterDevices()
{
    return Guarded([&]() -> HRESULT {
        ComScope com;
        ComPtr<IFilterMapper2> mapper;
        HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(&mapper));
        if (FAILED(hr))
            return hr;

        std::vector<std::pair<int, DeviceConfig>> wanted;
        std::set<std::wstring> wantedNames;
        for (int n : ListDevices()) {
            DeviceConfig config;
            if (ReadDevice(n, &config) == S_OK && !config.unplugged) {
                wantedNames.insert(InstanceName(n));
                wanted.emplace_back(n, std::move(config));
            }
        }
        std::vector<std::wstring> listed;
        hr = ListedInstances(&listed);
        if (FAILED(hr))
            return hr;
        for (const std::wstring& name : listed) {
            if (wantedNames.count(name) == 0) {
                HRESULT un = mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory,
                                                      name.c_str(), CLSID_TamselVcam);
                if (FAILED(un))
                    Trace(L"removing %ls from the category failed: 0x%08lx", name.c_str(), un);
            }
        }
        HRESULT result = S_OK;
        for (const auto& [n, config] : wanted) {
            hr = ListOne(mapper.Get(), n, config);
            if (FAILED(hr)) {
                Trace(L"listing device %d failed: 0x%08lx", n, hr);
                result = hr;
            }
        }
        return result;
    });
}

HRESULT UnregisterDevices()
{
    return Guarded([&]() -> HRESULT {
        ComScope com;
        ComPtr<IFilterMapper2> mapper;
        HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(&mapper));
        if (FAILED(hr))
            return hr;
        std::vector<std::wstring> listed;
        hr = ListedInstances(&listed);
        if (FAILED(hr))
            return hr;
        HRESULT result = S_OK;
        for (const std::wstring& name : listed) {
            hr = mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, name.c_str(),
                                          CLSID_TamselVcam);
            if (FAILED(hr))
                result = hr;
        }
        return result;
    });
}

namespace {

// An existing device record opened for changing one of its values.
HRESULT OpenDeviceForWriting(int number, RegKey& key)
{
    if (number < 0 || number > kMaxDevice)
        return E_INVALIDARG;
    return FromWin32(::RegOpenKeyExW(HKEY_CURRENT_USER, DeviceKeyPath(number).c_str(), 0, KEY_SET_VALUE,
                                     key.put()));
}

} // namespace

HRESULT SetRunDelay(int number, DWORD ms)
{
    return Guarded([&]() -> HRESULT {
        RegKey key;
        const HRESULT hr = OpenDeviceForWriting(number, key);
        return FAILED(hr) ? hr : FromWin32(SetDword(key.get(), L"RunDelayMs", ms));
    });
}

HRESULT SetUnplugged(int number, bool unplugged)
{
    return Guarded([&]() -> HRESULT {
        RegKey key;
        const HRESULT opened = OpenDeviceForWriting(number, key);
        if (FAILED(opened))
            return opened;
        if (unplugged) {
            // Gone from the list before the running filter notices the switch.
            ComScope com;
            ComPtr<IFilterMapper2> mapper;
            HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_PPV_ARGS(&mapper));
            if (FAILED(hr))
                return hr;
            hr = mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory,
                                          InstanceName(number).c_str(), CLSID_TamselVcam);
            if (FAILED(hr))
                Trace(L"removing device %d from the category: 0x%08lx", number, hr);
            return FromWin32(SetDword(key.get(), L"Unplugged", 1));
        }
        const LONG rc = SetDword(key.get(), L"Unplugged", 0);
        if (rc != ERROR_SUCCESS)
            return FromWin32(rc);
        return RegisterDevices();
    });
}

void BroadcastDeviceChange(UINT timeoutMs)
{
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0,
                          SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result);
}

namespace {

HRESULT CallServerEntry(const std::wstring& dllPath, const char* entry)
{
    Module dll(::LoadLibraryW(dllPath.c_str()));
    if (!dll)
        return HRESULT_FROM_WIN32(::GetLastError());
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto fn = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(::GetProcAddress(dll.get(), entry)));
    if (!fn)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComScope com;
    return fn();
}

} // namespace

HRESULT RegisterServer(const std::wstring& dllPath)
{
    return Guarded([&] { return CallServerEntry(dllPath, "DllRegisterServer"); });
}

HRESULT UnregisterServer(const std::wstring& dllPath)
{
    return Guarded([&] { return CallServerEntry(dllPath, "DllUnregisterServer"); });
}

HRESULT RegisterComClass(const std::wstring& dllPath)
{
    return Guarded([&]() -> HRESULT {
        const std::wstring path = L"CLSID\\" + GuidText(CLSID_TamselVcam);
        RegKey key;
        LONG rc = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, key.put(),
                                    nullptr);
        if (rc != ERROR_SUCCESS)
            return FromWin32(rc);
        rc = SetString(key.get(), nullptr, L"Tamsel Virtual Camera");
        if (rc != ERROR_SUCCESS)
            return FromWin32(rc);
        RegKey server;
        rc = ::RegCreateKeyExW(key.get(), L"InprocServer32", 0, nullptr, 0, KEY_SET_VALUE,
                               nullptr, server.put(), nullptr);
        if (rc == ERROR_SUCCESS)
            rc = SetString(server.get(), nullptr, dllPath);
        if (rc == ERROR_SUCCESS)
            rc = SetString(server.get(), L"ThreadingModel", L"Both");
        return FromWin32(rc);
    });
}

HRESULT UnregisterComClass()
{
    return Guarded([&]() -> HRESULT {
        const std::wstring path = L"CLSID\\" + GuidText(CLSID_TamselVcam);
        LONG rc = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        return rc == ERROR_FILE_NOT_FOUND ? S_FALSE : FromWin32(rc);
    });
}

namespace {

HRESULT SetFlashValue(const wchar_t* name, DWORD value)
{
    RegKey key;
    LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, kFlashKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                key.put(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = SetDword(key.get(), name, value);
    return FromWin32(rc);
}

} // namespace

HRESULT SetFlashLit(bool lit)
{
    return SetFlashValue(L"FlashLit", lit ? (::GetTickCount() | 1) : 0);
}

HRESULT SetFlashWarmUp(DWORD ms)
{
    return SetFlashValue(L"FlashWarmUpMs", ms);
}

bool FlashShowsInFrames()
{
    RegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kFlashKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD litAt = 0, warmUp = 0;
    if (!GetDword(key.get(), L"FlashLit", &litAt) || litAt == 0)
        return false;
    GetDword(key.get(), L"FlashWarmUpMs", &warmUp);
    return ::GetTickCount() - litAt >= warmUp;
}

} // namespace vcam
