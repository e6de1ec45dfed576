#include "snapshot/JpegEncoder.h"

#include <cwchar>
#include <functional>
#include <vector>

#include <objidl.h>
#include <wrl/client.h>

#include "framework/Debug.h"
#include "framework/Handles.h"
#include "snapshot/JpegTables.h"
#include "snapshot/QualityJpeg.h"

namespace tamsel {

bool CJpegEncoder::StartGdiplus()
{
    if (m_bGdiplusStarted)
        return true;
    Gdiplus::GdiplusStartupInput input; // version 1, no callback, nothing suppressed
    const Gdiplus::Status status = Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);
    if (status != Gdiplus::Ok) {
        fw::DebugTrace(L"GdiplusStartup failed: status %d\n", static_cast<int>(status));
        return false;
    }
    m_bGdiplusStarted = true;
    return true;
}

void CJpegEncoder::Shutdown()
{
    if (m_bGdiplusStarted) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_bGdiplusStarted = false;
        m_gdiplusToken = 0;
    }
}

int CJpegEncoder::GetEncoderClsid(const wchar_t* mimeType, CLSID& clsid)
{
    UINT count = 0, bytes = 0;
    if (fw::gp::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0)
        return -1;
    // ImageCodecInfo records followed by their strings, suitably aligned.
    std::vector<Gdiplus::ImageCodecInfo> buf(bytes / sizeof(Gdiplus::ImageCodecInfo) + 1);
    if (fw::gp::GdipGetImageEncoders(count, bytes, buf.data()) != Gdiplus::Ok)
        return -1;
    for (UINT i = 0; i < count; ++i) {
        if (buf[i].MimeType && std::wcscmp(buf[i].MimeType, mimeType) == 0) {
            clsid = buf[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CJpegEncoder::InitJpegEncoder()
{
    if (!m_bGdiplusStarted || GetEncoderClsid(L"image/jpeg", m_jpegClsid) < 0) {
        ::OutputDebugStringW(L"No JPEG encoder\n");
        return false;
    }
    m_jpegParams.Count = 1;
    m_jpegParams.Parameter[0].Guid = Gdiplus::EncoderQuality;
    m_jpegParams.Parameter[0].NumberOfValues = 1;
    m_jpegParams.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    m_jpegParams.Parameter[0].Value = &m_nJpegQuality;
    return true;
}

namespace {

// The image's pixels through the encoder that honours the quality.
bool EncodeAtQuality(Gdiplus::GpImage* image, int quality, std::vector<uint8_t>& jpeg, std::vector<uint8_t>& scratch)
{
    const fw::GpBitmapBits bits(image, PixelFormat24bppRGB);
    if (!bits) {
        ::OutputDebugStringW(L"The picture's pixels cannot be read for the JPEG encoder\n");
        return false;
    }
    return EncodeQualityJpeg(bits.Top(), static_cast<int>(bits.Width()), static_cast<int>(bits.Height()), bits.Stride(),
                             quality, scratch, jpeg);
}

} // namespace

bool CJpegEncoder::EncodeJpeg(Gdiplus::GpImage* image, std::vector<uint8_t>& jpeg, std::vector<uint8_t>* scratch) const
{
    std::vector<uint8_t> ownScratch;
    std::vector<uint8_t>& work = scratch ? *scratch : ownScratch;
    const int quality = static_cast<int>(m_nJpegQuality);
    // GDI+ does not change its mind within a process: once it has ignored
    // the quality, its encoding would only be thrown away.
    if (QualityIgnored() && EncodeAtQuality(image, quality, jpeg, work))
        return true;
    if (!EncodeWithGdiplus(image, jpeg))
        return false;
    // Only the tables show the quality a file was coded at; quality 100 is
    // the one whose tables are all ones.
    if (quality != 100 || QualityIgnored() || IsQualityHundred(ReadJpegTables(jpeg.data(), jpeg.size())))
        return true;
    ::OutputDebugStringW(L"GDI+ ignored the JPEG quality: the picture is encoded again\n");
    std::vector<uint8_t> again;
    if (!EncodeAtQuality(image, quality, again, work))
        return true; // GDI+'s picture, at its quality, rather than none
    m_qualityIgnored.store(true, std::memory_order_release);
    jpeg.swap(again);
    return true;
}

bool CJpegEncoder::EncodeWithGdiplus(Gdiplus::GpImage* image, std::vector<uint8_t>& jpeg) const
{
    jpeg.clear();
    Microsoft::WRL::ComPtr<IStream> stream;
    if (FAILED(fw::TraceHr(L"CreateStreamOnHGlobal", ::CreateStreamOnHGlobal(nullptr, TRUE, &stream))))
        return false;
    const Gdiplus::Status status = fw::gp::GdipSaveImageToStream(image, stream.Get(), &m_jpegClsid, &m_jpegParams);
    if (status != Gdiplus::Ok) {
        fw::DebugTrace(L"GdipSaveImageToStream failed: status %d\n", static_cast<int>(status));
        return false;
    }
    STATSTG stat{};
    HGLOBAL memory = nullptr;
    if (FAILED(fw::TraceHr(L"IStream::Stat", stream->Stat(&stat, STATFLAG_NONAME))) ||
        FAILED(fw::TraceHr(L"GetHGlobalFromStream", ::GetHGlobalFromStream(stream.Get(), &memory))))
        return false;
    const SIZE_T size = static_cast<SIZE_T>(stat.cbSize.QuadPart);
    if (::GlobalSize(memory) < size)
        return false;
    const void* bytes = ::GlobalLock(memory);
    if (!bytes)
        return fw::TraceLastError(L"GlobalLock(JPEG)");
    jpeg.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
    ::GlobalUnlock(memory);
    return !jpeg.empty();
}

std::wstring PictureTempName()
{
    wchar_t name[16];
    wsprintfW(name, L"~t%08lX.tmp", static_cast<unsigned long>(::GetCurrentProcessId()));
    return name;
}

bool WritePictureFileWith(const std::wstring& folder, const std::wstring& finalPath,
                          const std::function<bool(HANDLE file)>& write, const NextPictureName& next,
                          std::wstring* savedAs)
{
    const std::wstring temp = folder + L"\\" + PictureTempName();
    bool written = false;
    {
        fw::FileHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return fw::TraceLastError(L"CreateFileW(picture)");
        written = write(file.get());
    }
    // No replacing: a picture that appeared under this name meanwhile stays,
    // and this one moves on to the next free name.
    std::wstring target = finalPath;
    for (int attempt = 1; written; ++attempt) {
        if (::MoveFileExW(temp.c_str(), target.c_str(), 0))
            break;
        const DWORD error = ::GetLastError();
        const bool taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
        std::optional<std::wstring> other;
        if (taken && next && attempt < kPictureRenameAttempts)
            other = next(target);
        if (!other || *other == target) {
            ::SetLastError(error);
            written = fw::TraceLastError(L"MoveFileExW(picture)");
            break;
        }
        fw::DebugTrace(L"%ls was taken meanwhile, the picture goes to %ls\n", target.c_str(), other->c_str());
        target = std::move(*other);
    }
    if (!written)
        ::DeleteFileW(temp.c_str());
    else if (savedAs)
        *savedAs = target;
    return written;
}

bool WritePictureFile(const std::wstring& folder, const std::wstring& finalPath, const uint8_t* bytes, size_t size,
                      const NextPictureName& next, std::wstring* savedAs)
{
    const auto writeAll = [&](HANDLE file) {
        while (size > 0) {
            const DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
            DWORD done = 0;
            if (!::WriteFile(file, bytes, chunk, &done, nullptr) || done != chunk)
                return fw::TraceLastError(L"WriteFile(picture)");
            bytes += done;
            size -= done;
        }
        return true;
    };
    return WritePictureFileWith(folder, finalPath, writeAll, next, savedAs);
}

} // namespace tamsel
