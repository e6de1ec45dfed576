#include "TestPage.h"

// gdiplus.h uses min and max unqualified.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

#include <wrl/client.h>

#include <cstring>
#include <cwchar>
#include <memory>

using Microsoft::WRL::ComPtr;

namespace vcam {

namespace {

namespace gp = Gdiplus::DllExports;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBorder = RGB(128, 128, 128);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kInk = RGB(48, 48, 48);
constexpr COLORREF kBandInk = RGB(0, 0, 96);
constexpr ULONG kJpegQuality = 85;

// {1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}, GDI+'s quality parameter.
constexpr GUID kEncoderQuality = {
    0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

struct Geometry {
    int m, s;
};

Geometry GeometryOf(int pw, int ph)
{
    int u = std::min(pw, ph);
    return {std::max(2, u / 32), std::max(6, u / 8)};
}

void Fill(HDC dc, int l, int t, int r, int b, COLORREF colour)
{
    if (r <= l || b <= t)
        return;
    GdiObject brush(::CreateSolidBrush(colour));
    RECT rc = {l, t, r, b};
    ::FillRect(dc, &rc, static_cast<HBRUSH>(brush.get()));
}

// Selects a GDI object into a DC for the lifetime of the guard.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
    ~Selected() { ::SelectObject(m_dc, m_old); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

GdiObject MakeFont(int height, int weight)
{
    return GdiObject(::CreateFontW(-std::max(height, 4), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
}

inline int Clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace

TestPage::~TestPage()
{
    Reset();
}

DWORD TestPage::MaxFrameBytes(const Format& format)
{
    DWORD pixels = static_cast<DWORD>(format.width) * static_cast<DWORD>(format.height);
    // A JPEG of this page is far smaller than its 24-bit pixels.
    return format.subtype == Subtype::YUY2 ? pixels * 2 : pixels * 3;
}

void TestPage::Reset()
{
    m_built = false;
    if (m_dc && m_oldBitmap)
        ::SelectObject(m_dc.get(), m_oldBitmap);
    m_oldBitmap = nullptr;
    m_dc.reset();
    m_bitmap.reset();
    m_bandFont.reset();
    m_pageBits = nullptr;
    m_rgb.clear();
    m_yuy2.clear();
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
}

HRESULT TestPage::Build(const Format& format, int roll, const std::wstring& title,
                        const std::wstring& label)
{
    Reset();
    if (format.width < 2 || format.height < 2 || format.width % 2 != 0)
        return E_INVALIDARG;
    m_format = format;
    m_roll = roll;
    m_label = label;
    const bool portrait = roll == 90 || roll == -90;
    m_pw = portrait ? format.height : format.width;
    m_ph = portrait ? format.width : format.height;

    m_rgbStride = (format.width * 3 + 3) & ~3;
    m_rgb.assign(static_cast<size_t>(m_rgbStride) * format.height, 0);
    if (format.subtype == Subtype::YUY2)
        m_yuy2.assign(static_cast<size_t>(format.width) * format.height * 2, 0);

    if (format.subtype == Subtype::MJPG) {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) {
            m_gdiplusToken = 0;
            return E_FAIL;
        }
        UINT count = 0, bytes = 0;
        if (gp::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0)
            return E_FAIL;
        std::vector<Gdiplus::ImageCodecInfo> codecs(bytes / sizeof(Gdiplus::ImageCodecInfo) + 1);
        if (gp::GdipGetImageEncoders(count, bytes, codecs.data()) != Gdiplus::Ok)
            return E_FAIL;
        bool found = false;
        for (UINT i = 0; i < count && !found; ++i) {
            if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/jpeg") == 0) {
                m_jpegClsid = codecs[i].Clsid;
                found = true;
            }
        }
        if (!found)
            return E_FAIL;
    }

    HRESULT hr = DrawStatic(title);
    if (FAILED(hr))
        return hr;
    UpdateRgb({0, 0, format.width, format.height});
    if (format.subtype == Subtype::YUY2)
        UpdateYuy2({0, 0, format.width, format.height});
    m_built = true;
    return S_OK;
}

HRESULT TestPage::DrawStatic(const std::wstring& title)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = m_pw;
    info.bmiHeader.biHeight = -m_ph; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    m_dc.reset(::CreateCompatibleDC(nullptr));
    if (!m_bitmap || !m_dc || !bits)
        return E_OUTOFMEMORY;
    m_oldBitmap = ::SelectObject(m_dc.get(), m_bitmap.get());
    m_pageBits = static_cast<const uint32_t*>(bits);
    HDC dc = m_dc.get();

    const int pw = m_pw, ph = m_ph;
    const Geometry g = GeometryOf(pw, ph);
    const int m = g.m, s = g.s;

    Fill(dc, 0, 0, pw, ph, kWhite);
    Fill(dc, 0, 0, pw, 1, kBorder);
    Fill(dc, 0, ph - 1, pw, ph, kBorder);
    Fill(dc, 0, 0, 1, ph, kBorder);
    Fill(dc, pw - 1, 0, pw, ph, kBorder);

    // Corner marks: four different shapes and colours, so that any rotation
    // or mirror image is obvious.
    Fill(dc, m, m, m + s, m + s, kRed);
    {
        GdiObject brush(::CreateSolidBrush(kGreen));
        Selected useBrush(dc, brush.get());
        Selected usePen(dc, ::GetStockObject(NULL_PEN));
        ::Ellipse(dc, pw - m - s, m, pw - m + 1, m + s + 1);
    }
    {
        GdiObject brush(::CreateSolidBrush(kBlue));
        Selected useBrush(dc, brush.get());
        Selected usePen(dc, ::GetStockObject(NULL_PEN));
        POINT apexUp[3] = {{m, ph - m}, {m + s, ph - m}, {m + s / 2, ph - m - s}};
        ::Polygon(dc, apexUp, 3);
    }
    Fill(dc, pw - m - s, ph - m - 3 * s / 4, pw - m, ph - m - s / 4, kBlack);

    ::SetBkMode(dc, TRANSPARENT);

    // The device's name between the top marks.
    RECT titleRect = {2 * m + s, m, pw - 2 * m - s, m + s};
    if (titleRect.right > titleRect.left) {
        GdiObject font = MakeFont(s * 3 / 5, FW_BOLD);
        Selected useFont(dc, font.get());
        ::SetTextColor(dc, kBlack);
        ::DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &titleRect,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }

    // The counter band; redrawn for every frame.
    const int bandHeight = std::max(8, s * 2 / 3);
    m_band = {m, m + s + m, pw - m, m + s + m + bandHeight};
    m_bandFont = MakeFont(bandHeight * 3 / 4, FW_NORMAL);

    // Rows of "words" filling the page between the band and the bottom marks.
    const int lineHeight = std::max(2, s / 6);
    const int top = m_band.bottom + m;
    const int bottom = ph - 2 * m - s;
    uint32_t seed = 0x2545F491u;
    auto next = [&seed](int range) {
        seed = seed * 1664525u + 1013904223u;
        return range > 0 ? static_cast<int>((seed >> 8) % static_cast<uint32_t>(range)) : 0;
    };
    int line = 0;
    for (int y = top; y + lineHeight <= bottom; y += 2 * lineHeight, ++line) {
        if (line % 7 == 6)
            continue; // paragraph break
        const int right = pw - 2 * m - next(std::max(1, s * 2));
        for (int x = 2 * m; x < right;) {
            int w = std::min(right - x, s / 3 + next(s));
            Fill(dc, x, y, x + w, y + lineHeight, kInk);
            x += w + lineHeight + 1;
        }
    }
    DrawBand(0);
    return S_OK;
}

void TestPage::DrawBand(uint64_t counter)
{
    HDC dc = m_dc.get();
    Fill(dc, m_band.left, m_band.top, m_band.right, m_band.bottom, kWhite);
    wchar_t text[160];
    // The counter comes first, so a narrow page cuts off the description, not it.
    _snwprintf(text, 160, L"#%06llu  %ls  %dx%d %ls", static_cast<unsigned long long>(counter),
               m_label.c_str(), m_format.width, m_format.height,
               m_format.subtype == Subtype::MJPG ? L"MJPG" : L"YUY2");
    text[159] = L'\0';
    RECT rc = {m_band.left, m_band.top, m_band.right, m_band.bottom};
    Selected useFont(dc, m_bandFont.get());
    ::SetTextColor(dc, kBandInk);
    ::DrawTextW(dc, text, -1, &rc, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::GdiFlush();
}

void TestPage::PageFromFrame(int fx, int fy, int* dx, int* dy) const
{
    switch (m_roll) {
    case 90: // clockwise: the page's left edge is the frame's top
        *dx = fy;
        *dy = m_ph - 1 - fx;
        break;
    case 180:
        *dx = m_pw - 1 - fx;
        *dy = m_ph - 1 - fy;
        break;
    case -90: // counter-clockwise: the page's top edge is the frame's left
        *dx = m_pw - 1 - fy;
        *dy = fx;
        break;
    default:
        *dx = fx;
        *dy = fy;
        break;
    }
}

TestPage::Rect TestPage::FrameRectOf(const Rect& page) const
{
    // The inverse of PageFromFrame, applied to two opposite corners.
    auto frameOf = [this](int dx, int dy, int* fx, int* fy) {
        switch (m_roll) {
        case 90:
            *fx = m_ph - 1 - dy;
            *fy = dx;
            break;
        case 180:
            *fx = m_pw - 1 - dx;
            *fy = m_ph - 1 - dy;
            break;
        case -90:
            *fx = dy;
            *fy = m_pw - 1 - dx;
            break;
        default:
            *fx = dx;
            *fy = dy;
            break;
        }
    };
    int x0, y0, x1, y1;
    frameOf(page.left, page.top, &x0, &y0);
    frameOf(page.right - 1, page.bottom - 1, &x1, &y1);
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
}

void TestPage::UpdateRgb(const Rect& r)
{
    for (int fy = r.top; fy < r.bottom; ++fy) {
        BYTE* row = m_rgb.data() + static_cast<size_t>(fy) * m_rgbStride;
        for (int fx = r.left; fx < r.right; ++fx) {
            int dx, dy;
            PageFromFrame(fx, fy, &dx, &dy);
            uint32_t px = m_pageBits[static_cast<size_t>(dy) * m_pw + dx];
            if (m_flash) // the flash takes every pixel half of the way to white
                px = ((px & 0xFEFEFE) >> 1) + 0x808080;
            BYTE* out = row + fx * 3;
            out[0] = static_cast<BYTE>(px);       // blue
            out[1] = static_cast<BYTE>(px >> 8);  // green
            out[2] = static_cast<BYTE>(px >> 16); // red
        }
    }
}

void TestPage::UpdateYuy2(const Rect& r)
{
    // BT.601 with studio range (Y 16..235), U and V shared by each pixel pair.
    const int left = r.left & ~1;
    const int right = std::min(m_format.width, (r.right + 1) & ~1);
    for (int fy = r.top; fy < r.bottom; ++fy) {
        const BYTE* in = m_rgb.data() + static_cast<size_t>(fy) * m_rgbStride;
        BYTE* out = m_yuy2.data() + static_cast<size_t>(fy) * m_format.width * 2;
        for (int fx = left; fx < right; fx += 2) {
            const BYTE* p0 = in + fx * 3;
            const BYTE* p1 = p0 + 3;
            int b0 = p0[0], g0 = p0[1], r0 = p0[2];
            int b1 = p1[0], g1 = p1[1], r1 = p1[2];
            int y0 = ((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16;
            int y1 = ((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16;
            int rs = r0 + r1, gs = g0 + g1, bs = b0 + b1;
            int u = ((-38 * rs - 74 * gs + 112 * bs + 256) >> 9) + 128;
            int v = ((112 * rs - 94 * gs - 18 * bs + 256) >> 9) + 128;
            BYTE* o = out + fx * 2;
            o[0] = static_cast<BYTE>(Clamp255(y0));
            o[1] = static_cast<BYTE>(Clamp255(u));
            o[2] = static_cast<BYTE>(Clamp255(y1));
            o[3] = static_cast<BYTE>(Clamp255(v));
        }
    }
}

HRESULT TestPage::EncodeJpeg(BYTE* dst, DWORD capacity, DWORD* written)
{
    Gdiplus::GpBitmap* raw = nullptr;
    if (gp::GdipCreateBitmapFromScan0(m_format.width, m_format.height, m_rgbStride,
                                      PixelFormat24bppRGB, m_rgb.data(), &raw) != Gdiplus::Ok ||
        !raw)
        return E_FAIL;
    struct Dispose {
        void operator()(Gdiplus::GpBitmap* b) const noexcept { gp::GdipDisposeImage(b); }
    };
    std::unique_ptr<Gdiplus::GpBitmap, Dispose> bitmap(raw);

    ComPtr<IStream> stream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (FAILED(hr))
        return hr;
    ULONG quality = kJpegQuality;
    Gdiplus::EncoderParameters params;
    params.Count = 1;
    params.Parameter[0].Guid = kEncoderQuality;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].Value = &quality;
    if (gp::GdipSaveImageToStream(bitmap.get(), stream.Get(), &m_jpegClsid, &params) !=
        Gdiplus::Ok)
        return E_FAIL;
    STATSTG stat = {};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr))
        return hr;
    if (stat.cbSize.QuadPart > capacity)
        return VFW_E_BUFFER_OVERFLOW;
    LARGE_INTEGER zero = {};
    hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    if (SUCCEEDED(hr))
        hr = stream->Read(dst, static_cast<ULONG>(stat.cbSize.QuadPart), &read);
    if (FAILED(hr))
        return hr;
    *written = read;
    return read == stat.cbSize.QuadPart ? S_OK : E_FAIL;
}

HRESULT TestPage::Render(uint64_t counter, BYTE* dst, DWORD capacity, DWORD* written, bool flash)
{
    *written = 0;
    if (!m_built)
        return E_UNEXPECTED;
    DrawBand(counter);
    Rect frame = FrameRectOf(m_band);
    if (flash != m_flash) { // the light changes the whole frame
        m_flash = flash;
        frame = {0, 0, m_format.width, m_format.height};
    }
    UpdateRgb(frame);
    if (m_format.subtype == Subtype::MJPG)
        return EncodeJpeg(dst, capacity, written);
    UpdateYuy2(frame);
    if (capacity < m_yuy2.size())
        return VFW_E_BUFFER_OVERFLOW;
    memcpy(dst, m_yuy2.data(), m_yuy2.size());
    *written = static_cast<DWORD>(m_yuy2.size());
    return S_OK;
}

} // namespace vcam
