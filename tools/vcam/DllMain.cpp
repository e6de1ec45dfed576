// Entry points of tamsel_vcam.dll: the class factory and self-registration.
#include "VcamCommon.h"
#include "VcamConfig.h"
#include "VcamFilter.h"

#include <atomic>

namespace vcam {

std::atomic<long> g_serverRefs{0};

namespace {

HMODULE g_module = nullptr;

class ClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory; handing it out counts as a server lock.
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++g_serverRefs) + 1; }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--g_serverRefs) + 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        return Guarded([&]() -> HRESULT {
            if (!ppv)
                return E_POINTER;
            *ppv = nullptr;
            if (outer)
                return CLASS_E_NOAGGREGATION;
            auto* filter = new VcamFilter();
            HRESULT hr = filter->QueryInterface(riid, ppv);
            filter->Release();
            return hr;
        });
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            ++g_serverRefs;
        else
            --g_serverRefs;
        return S_OK;
    }
};

ClassFactory g_factory;

std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(g_module, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace
} // namespace vcam

using namespace vcam;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    // Thread notifications stay on: the static runtime keeps per-thread data.
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_TamselVcam)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return g_serverRefs.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    return Guarded([]() -> HRESULT {
        const std::wstring path = ModulePath();
        if (path.empty())
            return HRESULT_FROM_WIN32(::GetLastError());
        HRESULT hr = RegisterComClass(path);
        if (FAILED(hr))
            return hr;
        // A prefix that has never been configured gets one camera with defaults.
        if (!DevicesKeyExists()) {
            hr = WriteDevice(0, DeviceConfig());
            if (FAILED(hr))
                return hr;
        }
        return RegisterDevices();
    });
}

STDAPI DllUnregisterServer()
{
    return Guarded([]() -> HRESULT {
        HRESULT devices = UnregisterDevices();
        HRESULT cls = UnregisterComClass();
        return FAILED(devices) ? devices : (FAILED(cls) ? cls : S_OK);
    });
}
