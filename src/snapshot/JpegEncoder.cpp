#include "snapshot/JpegEncoder.h"

#include <cwchar>
#include <vector>

#include "framework/Debug.h"

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

} // namespace tamsel
