// GDI+ start-up and the JPEG encoder that every snapshot is saved with.
#pragma once

#include "framework/Gdiplus.h"

namespace tamsel {

class CJpegEncoder {
public:
    CJpegEncoder() = default;
    ~CJpegEncoder() { Shutdown(); }
    CJpegEncoder(const CJpegEncoder&) = delete;
    CJpegEncoder& operator=(const CJpegEncoder&) = delete;

    bool StartGdiplus();
    // Needs GDI+ started; finds the "image/jpeg" encoder and sets quality 100.
    bool InitJpegEncoder();
    void Shutdown();

    // Index of the encoder with exactly this MIME type, or -1.
    static int GetEncoderClsid(const wchar_t* mimeType, CLSID& clsid);

    bool IsStarted() const noexcept { return m_bGdiplusStarted; }
    const CLSID& Clsid() const noexcept { return m_jpegClsid; }
    const Gdiplus::EncoderParameters& Params() const noexcept { return m_jpegParams; }

private:
    bool m_bGdiplusStarted = false;
    ULONG_PTR m_gdiplusToken = 0;
    CLSID m_jpegClsid{};
    Gdiplus::EncoderParameters m_jpegParams{};
    ULONG m_nJpegQuality = 100;
};

} // namespace tamsel
