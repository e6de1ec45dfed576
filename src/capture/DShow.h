// DirectShow declarations the SDK headers of MinGW leave out.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <d3d9.h> // vmr9.h needs the Direct3D 9 types
#include <vmr9.h>

// Interfaces whose identifiers MinGW's headers do not attach for __uuidof.
__CRT_UUID_DECL(IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IVMRFilterConfig, 0x9e5530c5, 0x7034, 0x48b4, 0xbb, 0x46, 0x0b, 0x8a, 0x6e, 0xfc, 0x8e, 0x36)

namespace tamsel {

// {C1F400A0-3F08-11D3-9F0B-006008039E37}
inline constexpr CLSID kClsidSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline constexpr CLSID kClsidNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// Frees a media type's format block and its extra interface.
inline void FreeMediaTypeContents(AM_MEDIA_TYPE& mt)
{
    if (mt.cbFormat && mt.pbFormat)
        ::CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

// An AM_MEDIA_TYPE allocated by a DirectShow call, freed with it.
class MediaTypePtr {
public:
    MediaTypePtr() = default;
    ~MediaTypePtr() { reset(); }
    MediaTypePtr(const MediaTypePtr&) = delete;
    MediaTypePtr& operator=(const MediaTypePtr&) = delete;
    AM_MEDIA_TYPE** put() { reset(); return &m_mt; }
    AM_MEDIA_TYPE* get() const { return m_mt; }
    AM_MEDIA_TYPE* operator->() const { return m_mt; }
    explicit operator bool() const { return m_mt != nullptr; }
    void reset()
    {
        if (m_mt) {
            FreeMediaTypeContents(*m_mt);
            ::CoTaskMemFree(m_mt);
            m_mt = nullptr;
        }
    }

private:
    AM_MEDIA_TYPE* m_mt = nullptr;
};

} // namespace tamsel
