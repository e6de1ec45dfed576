// IEnumPins and IEnumMediaTypes over a snapshot taken when the enumerator is
// made; the filter's pins never change after they exist, and a media type
// list is copied.
#pragma once

#include "VcamCommon.h"

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

namespace vcam {

extern std::atomic<long> g_serverRefs;

template <typename Interface, typename Item>
class SnapshotEnum : public Interface {
public:
    explicit SnapshotEnum(std::vector<Item> items, size_t pos = 0)
        : m_items(std::move(items)), m_pos(pos)
    {
        ++g_serverRefs;
    }
    virtual ~SnapshotEnum() { --g_serverRefs; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == __uuidof(Interface)) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    std::vector<Item> m_items;
    size_t m_pos;
    std::atomic<ULONG> m_refs{1};

    template <typename Out, typename Make>
    HRESULT NextItems(ULONG count, Out* out, ULONG* fetched, Make make)
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_pos < m_items.size()) {
            HRESULT hr = make(m_items[m_pos], &out[n]);
            if (FAILED(hr))
                break;
            ++n;
            ++m_pos;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT SkipItems(ULONG count)
    {
        size_t left = m_items.size() - m_pos;
        if (count > left) {
            m_pos = m_items.size();
            return S_FALSE;
        }
        m_pos += count;
        return S_OK;
    }
};

class PinEnum final : public SnapshotEnum<IEnumPins, Microsoft::WRL::ComPtr<IPin>> {
public:
    using SnapshotEnum::SnapshotEnum;
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override
    {
        return NextItems(count, pins, fetched,
                         [](const Microsoft::WRL::ComPtr<IPin>& pin, IPin** out) {
                             *out = pin.Get();
                             (*out)->AddRef();
                             return S_OK;
                         });
    }
    STDMETHODIMP Skip(ULONG count) override { return SkipItems(count); }
    STDMETHODIMP Reset() override
    {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** out) override
    {
        return Guarded([&]() -> HRESULT {
            if (!out)
                return E_POINTER;
            *out = new PinEnum(m_items, m_pos);
            return S_OK;
        });
    }
};

class MediaTypeEnum final : public SnapshotEnum<IEnumMediaTypes, MediaType> {
public:
    using SnapshotEnum::SnapshotEnum;
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override
    {
        return NextItems(count, types, fetched, [](const MediaType& mt, AM_MEDIA_TYPE** out) {
            return mt.CopyToNew(out);
        });
    }
    STDMETHODIMP Skip(ULONG count) override { return SkipItems(count); }
    STDMETHODIMP Reset() override
    {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMediaTypes** out) override
    {
        return Guarded([&]() -> HRESULT {
            if (!out)
                return E_POINTER;
            *out = new MediaTypeEnum(m_items, m_pos);
            return S_OK;
        });
    }
};

} // namespace vcam
