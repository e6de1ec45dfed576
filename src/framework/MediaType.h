// Owners of DirectShow media types, beside the rest of the ownership kit
// (kept apart because <strmif.h> clashes with the audio headers).
#pragma once

#include <windows.h>
#include <strmif.h>

#include "framework/Handles.h"

namespace fw {

// Frees a media type's format block and its extra interface.
inline void FreeMediaTypeContents(AM_MEDIA_TYPE& mt) noexcept
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
    MediaTypePtr() noexcept = default;
    ~MediaTypePtr() { reset(); }
    MediaTypePtr(const MediaTypePtr&) = delete;
    MediaTypePtr& operator=(const MediaTypePtr&) = delete;
    AM_MEDIA_TYPE** put() noexcept
    {
        reset();
        return &m_mt;
    }
    AM_MEDIA_TYPE* get() const noexcept { return m_mt; }
    AM_MEDIA_TYPE* operator->() const noexcept { return m_mt; }
    explicit operator bool() const noexcept { return m_mt != nullptr; }
    void reset() noexcept
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

// A media type filled in place (GetConnectedMediaType): its contents are
// freed on scope exit, the record itself lives on the stack.
class MediaTypeContents {
public:
    MediaTypeContents() noexcept = default;
    ~MediaTypeContents() { FreeMediaTypeContents(m_mt); }
    MediaTypeContents(const MediaTypeContents&) = delete;
    MediaTypeContents& operator=(const MediaTypeContents&) = delete;
    AM_MEDIA_TYPE* put() noexcept
    {
        FreeMediaTypeContents(m_mt);
        return &m_mt;
    }
    const AM_MEDIA_TYPE& get() const noexcept { return m_mt; }

private:
    AM_MEDIA_TYPE m_mt{};
};

} // namespace fw
