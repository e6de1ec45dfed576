#include "VcamCommon.h"

#include <cstdarg>
#include <cwchar>

namespace vcam {

void Trace(const wchar_t* format, ...) noexcept
{
    wchar_t text[512];
    int n = _snwprintf(text, 500, L"TamselVcam: ");
    va_list args;
    va_start(args, format);
    int m = _vsnwprintf(text + n, 500 - n, format, args);
    va_end(args);
    if (m < 0)
        m = 0;
    text[n + m] = L'\n';
    text[n + m + 1] = L'\0';
    ::OutputDebugStringW(text);
}

void FreeMediaTypeFields(AM_MEDIA_TYPE& mt) noexcept
{
    if (mt.cbFormat != 0 || mt.pbFormat)
        ::CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) noexcept
{
    if (!mt)
        return;
    FreeMediaTypeFields(*mt);
    ::CoTaskMemFree(mt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE& src) noexcept
{
    *dst = src;
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
    if (src.cbFormat && src.pbFormat) {
        dst->pbFormat = static_cast<BYTE*>(::CoTaskMemAlloc(src.cbFormat));
        if (!dst->pbFormat) {
            dst->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(dst->pbFormat, src.pbFormat, src.cbFormat);
        dst->cbFormat = src.cbFormat;
    }
    if (dst->pUnk)
        dst->pUnk->AddRef();
    return S_OK;
}

MediaType::MediaType(const AM_MEDIA_TYPE& src) : MediaType()
{
    if (FAILED(CopyMediaType(&m_mt, src))) {
        ZeroMemory(&m_mt, sizeof m_mt);
        throw std::bad_alloc();
    }
}

MediaType::MediaType(const MediaType& o) : MediaType(o.m_mt) {}

MediaType& MediaType::operator=(const MediaType& o)
{
    if (this != &o) {
        MediaType copy(o);
        *this = std::move(copy);
    }
    return *this;
}

MediaType::MediaType(MediaType&& o) noexcept : m_mt(o.m_mt)
{
    ZeroMemory(&o.m_mt, sizeof o.m_mt);
}

MediaType& MediaType::operator=(MediaType&& o) noexcept
{
    if (this != &o) {
        FreeMediaTypeFields(m_mt);
        m_mt = o.m_mt;
        ZeroMemory(&o.m_mt, sizeof o.m_mt);
    }
    return *this;
}

const VIDEOINFOHEADER* MediaType::vih() const noexcept
{
    if (m_mt.formattype != FORMAT_VideoInfo || !m_mt.pbFormat ||
        m_mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(m_mt.pbFormat);
}

HRESULT MediaType::CopyToNew(AM_MEDIA_TYPE** out) const noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto* mt = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!mt)
        return E_OUTOFMEMORY;
    HRESULT hr = CopyMediaType(mt, m_mt);
    if (FAILED(hr)) {
        ::CoTaskMemFree(mt);
        return hr;
    }
    *out = mt;
    return S_OK;
}

} // namespace vcam
