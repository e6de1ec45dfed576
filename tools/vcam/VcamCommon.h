// Small pieces shared by the camera DLL, its registration helper and its
// tests: the class id, owning wrappers for handles and media types, and the
// guard that keeps exceptions inside COM methods and threads.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <new>
#include <string>
#include <utility>

namespace vcam {

// {D36C94ED-09A4-4AC0-A8D3-0FA31868F7E4}
inline constexpr GUID CLSID_TamselVcam = {
    0xd36c94ed, 0x09a4, 0x4ac0, {0xa8, 0xd3, 0x0f, 0xa3, 0x18, 0x68, 0xf7, 0xe4}};

// Property of the device's moniker property bag that names its record.
inline constexpr wchar_t kBagDeviceValue[] = L"VcamDevice";

// Runs a COM method body: exceptions become HRESULTs and never reach the caller.
template <typename F>
HRESULT Guarded(F&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void Trace(const wchar_t* format, ...) noexcept;

template <typename T, typename Close, T Invalid>
class Owned {
public:
    Owned() noexcept = default;
    explicit Owned(T h) noexcept : m_h(h) {}
    Owned(Owned&& o) noexcept : m_h(std::exchange(o.m_h, Invalid)) {}
    Owned& operator=(Owned&& o) noexcept
    {
        if (this != &o)
            reset(std::exchange(o.m_h, Invalid));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    T get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Invalid; }
    T* put() noexcept
    {
        reset();
        return &m_h;
    }
    T release() noexcept { return std::exchange(m_h, Invalid); }
    void reset(T h = Invalid) noexcept
    {
        T old = std::exchange(m_h, h);
        if (old != Invalid)
            Close()(old);
    }

private:
    T m_h = Invalid;
};

struct CloseKey {
    void operator()(HKEY h) const noexcept { ::RegCloseKey(h); }
};
struct CloseKernel {
    void operator()(HANDLE h) const noexcept { ::CloseHandle(h); }
};
struct FreeModule {
    void operator()(HMODULE h) const noexcept { ::FreeLibrary(h); }
};
struct DeleteGdi {
    void operator()(HGDIOBJ h) const noexcept { ::DeleteObject(h); }
};
struct DeleteDc {
    void operator()(HDC h) const noexcept { ::DeleteDC(h); }
};

using RegKey = Owned<HKEY, CloseKey, nullptr>;
using Handle = Owned<HANDLE, CloseKernel, nullptr>;
using Module = Owned<HMODULE, FreeModule, nullptr>;
using GdiObject = Owned<HGDIOBJ, DeleteGdi, nullptr>;
using MemoryDc = Owned<HDC, DeleteDc, nullptr>;

// COM for the calling thread while the object lives. A thread already in the
// other apartment kind keeps it (the calls work there too).
class ComScope {
public:
    explicit ComScope(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_started(SUCCEEDED(::CoInitializeEx(nullptr, model)))
    {
    }
    ~ComScope()
    {
        if (m_started)
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool m_started = false;
};

struct SysFree {
    void operator()(BSTR s) const noexcept { ::SysFreeString(s); }
};
using Bstr = Owned<BSTR, SysFree, nullptr>;

// A VARIANT that is cleared when it goes.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&m_v); }
    ~Variant() { ::VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* put() noexcept
    {
        ::VariantClear(&m_v);
        return &m_v;
    }
    const VARIANT& get() const noexcept { return m_v; }
    VARIANT* ptr() noexcept { return &m_v; }

private:
    VARIANT m_v;
};

// Releases the fields of a media type (format block and its IUnknown).
void FreeMediaTypeFields(AM_MEDIA_TYPE& mt) noexcept;
// Frees a media type that was allocated with CoTaskMemAlloc.
void DeleteMediaType(AM_MEDIA_TYPE* mt) noexcept;
// Deep copy into *dst (whose old fields are not freed). E_OUTOFMEMORY on failure.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE& src) noexcept;

// An owned AM_MEDIA_TYPE with a deep-copied format block.
class MediaType {
public:
    MediaType() noexcept { ZeroMemory(&m_mt, sizeof m_mt); }
    explicit MediaType(const AM_MEDIA_TYPE& src);
    MediaType(const MediaType& o);
    MediaType& operator=(const MediaType& o);
    MediaType(MediaType&& o) noexcept;
    MediaType& operator=(MediaType&& o) noexcept;
    ~MediaType() { FreeMediaTypeFields(m_mt); }

    const AM_MEDIA_TYPE& get() const noexcept { return m_mt; }
    AM_MEDIA_TYPE& get() noexcept { return m_mt; }
    bool empty() const noexcept { return m_mt.majortype == GUID_NULL; }
    // The VIDEOINFOHEADER, or null when the format is something else.
    const VIDEOINFOHEADER* vih() const noexcept;
    // A CoTaskMemAlloc'd copy for callers that free it with DeleteMediaType.
    HRESULT CopyToNew(AM_MEDIA_TYPE** out) const noexcept;

private:
    AM_MEDIA_TYPE m_mt;
};

} // namespace vcam
