// The picture the virtual camera shows: a synthetic document page.
//
// Layout, in page coordinates (pw x ph; u = min(pw, ph), m = max(2, u/32),
// s = max(6, u/8)):
//   white background, a one-pixel grey border along the page edge;
//   top-left      filled red square   (255,0,0)  [m, m+s) x [m, m+s)
//   top-right     filled green circle (0,160,0)  in [pw-m-s, pw-m) x [m, m+s)
//   bottom-left   filled blue triangle (0,0,255) apex up, in [m, m+s) x [ph-m-s, ph-m)
//   bottom-right  black bar           (0,0,0)    [pw-m-s, pw-m) x [ph-m-3s/4, ph-m-s/4)
//   the friendly name between the two top marks, the pin name, format and
//   frame counter in a band under it, and rows of dark grey "words" below.
// The centre of each mark's s x s square lies inside the mark.
//
// Roll turns the page clockwise by 0, 90, 180 or -90 degrees inside the
// frame. For 90 and -90 the page is laid out portrait (pw = frame height,
// ph = frame width), so the marks stay at the frame's corners, each moved
// to the corner the rotation takes it to.
//
// The page is drawn once per format and roll; each frame only redraws the
// counter band and copies the result out.
#pragma once

#include "VcamCommon.h"
#include "VcamConfig.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vcam {

class TestPage {
public:
    TestPage() = default;
    ~TestPage();
    TestPage(const TestPage&) = delete;
    TestPage& operator=(const TestPage&) = delete;

    // Largest number of bytes one frame of this format takes.
    static DWORD MaxFrameBytes(const Format& format);

    HRESULT Build(const Format& format, int roll, const std::wstring& title,
                  const std::wstring& label);
    bool Matches(const Format& format, int roll) const
    {
        return m_built && m_format == format && m_roll == roll;
    }
    // Writes frame `counter` into dst; *written receives the byte count.
    // `flash`: the frame is lit by the camera's flash (brighter).
    HRESULT Render(uint64_t counter, BYTE* dst, DWORD capacity, DWORD* written, bool flash = false);

private:
    struct Rect {
        int left, top, right, bottom;
    };

    void Reset();
    HRESULT DrawStatic(const std::wstring& title);
    void DrawBand(uint64_t counter);
    // Frame pixel (fx, fy) shows page pixel (*dx, *dy).
    void PageFromFrame(int fx, int fy, int* dx, int* dy) const;
    Rect FrameRectOf(const Rect& page) const;
    void UpdateRgb(const Rect& frame);
    void UpdateYuy2(const Rect& frame);
    HRESULT EncodeJpeg(BYTE* dst, DWORD capacity, DWORD* written);

    bool m_built = false;
    Format m_format;
    int m_roll = 0;
    int m_pw = 0, m_ph = 0;
    Rect m_band = {};
    std::wstring m_label;
    bool m_flash = false;

    // Page, drawn with GDI into a top-down 32-bit DIB section.
    GdiObject m_bitmap;
    MemoryDc m_dc;
    HGDIOBJ m_oldBitmap = nullptr;
    GdiObject m_bandFont;
    const uint32_t* m_pageBits = nullptr;

    // The frame as 24-bit BGR rows (top-down, 4-byte aligned) and, for YUY2, packed.
    std::vector<BYTE> m_rgb;
    int m_rgbStride = 0;
    std::vector<BYTE> m_yuy2;

    // GDI+ for the JPEG encoder, started only for MJPG.
    ULONG_PTR m_gdiplusToken = 0;
    CLSID m_jpegClsid = {};
};

} // namespace vcam
