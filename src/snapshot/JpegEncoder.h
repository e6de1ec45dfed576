// GDI+ start-up and the JPEG encoder that every snapshot is saved with.
#pragma once

#include "framework/Gdiplus.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
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
    // the GPS tags are written into these bytes afterwards. GDI+ encodes it,
    // and its quantisation tables are read back: where they show that the
    // quality was ignored (Wine's GDI+ writes quality 75 whatever it is
    // asked), the same pixels are encoded again by an encoder that honours
    // it, and every later picture goes to that encoder directly. `scratch`
    // is that encoder's working memory, kept by the caller between pictures.
    bool EncodeJpeg(Gdiplus::GpImage* image, std::vector<uint8_t>& jpeg, std::vector<uint8_t>* scratch = nullptr) const;

    // Whether GDI+ has been seen to ignore the quality it is asked for.
    bool QualityIgnored() const noexcept { return m_qualityIgnored.load(std::memory_order_acquire); }

    bool IsStarted() const noexcept { return m_bGdiplusStarted; }
    const CLSID& Clsid() const noexcept { return m_jpegClsid; }
    const Gdiplus::EncoderParameters& Params() const noexcept { return m_jpegParams; }

private:
    bool EncodeWithGdiplus(Gdiplus::GpImage* image, std::vector<uint8_t>& jpeg) const;

    bool m_bGdiplusStarted = false;
    ULONG_PTR m_gdiplusToken = 0;
    CLSID m_jpegClsid{};
    Gdiplus::EncoderParameters m_jpegParams{};
    ULONG m_nJpegQuality = 100;
    // Set by the snapshot worker, read by any thread.
    mutable std::atomic<bool> m_qualityIgnored{false};
};

// Gives the name to try after `taken` turned out to be taken at the rename
// (another program, or a copy of this one on another desktop, saved into the
// folder meanwhile); nothing gives up.
using NextPictureName = std::function<std::optional<std::wstring>(const std::wstring& taken)>;

// Writes the bytes under a temporary name in the folder and renames the file
// to `finalPath` (in that folder) only once it is complete; an existing file
// of that name is never replaced. With `next`, a name taken meanwhile moves
// the picture on to the name `next` gives (a bounded number of times), and
// `savedAs` receives the name it got. On failure no file is left behind.
bool WritePictureFile(const std::wstring& folder, const std::wstring& finalPath, const uint8_t* bytes,
                      size_t size, const NextPictureName& next = {}, std::wstring* savedAs = nullptr);

// The same with the writing done by `write` on the open temporary file.
bool WritePictureFileWith(const std::wstring& folder, const std::wstring& finalPath,
                          const std::function<bool(HANDLE file)>& write, const NextPictureName& next = {},
                          std::wstring* savedAs = nullptr);

// The temporary name a picture is written under: "~t" and this process's id
// in eight hex digits, ".tmp". Shorter than a picture's name, so a folder
// with room for the picture has room for it; not a .jpg name, so nothing
// half-written ever passes for a picture; and one per process, so two copies
// of the program (one per desktop) sharing a picture folder never write into
// one file.
std::wstring PictureTempName();

// Renames taken before a picture gives up.
constexpr int kPictureRenameAttempts = 20;

} // namespace tamsel
