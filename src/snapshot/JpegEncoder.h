// GDI+ start-up and the JPEG encoder that every snapshot is saved with.
#pragma once

#include "framework/Gdiplus.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

    // The image as a JPEG at quality 100, in memory. No property item is set:
    // the GPS tags are written into these bytes afterwards.
    bool EncodeJpeg(Gdiplus::GpImage* image, std::vector<uint8_t>& jpeg) const;

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

// Writes the bytes under a temporary name in the folder and renames the file
// to `finalPath` (in that folder) only once it is complete; an existing file
// of that name is never replaced. On failure no file is left behind.
bool WritePictureFile(const std::wstring& folder, const std::wstring& finalPath, const uint8_t* bytes,
                      size_t size);

// The temporary name a picture is written under: short, fixed and not a .jpg
// name, so a long folder still has room for it and nothing half-written ever
// passes for a picture.
// The same with the writing done by `write` on the open temporary file.
bool WritePictureFileWith(const std::wstring& folder, const std::wstring& finalPath,
                          const std::function<bool(HANDLE file)>& write);

inline constexpr wchar_t kPictureTempName[] = L"~tamsel.tmp";

} // namespace tamsel
