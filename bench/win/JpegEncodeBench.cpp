// The JPEG encoders at hand, on one frame the camera sent (a BMP file): GDI+
// asked for quality 100, Windows Imaging Component asked for ImageQuality
// 1.0 (4:2:0 and 4:4:4), stb_image_write at quality 100 in one band and in
// two at once (as the program calls it), and the program's own path
// (CJpegEncoder::EncodeJpeg, which reads GDI+'s tables and encodes again
// where they show the quality ignored), for the first picture of a run and
// for the later ones. For each: the median and spread of the wall time over
// the runs, the file's size, whether its tables are those of quality 100 and
// the sampling of its first component. Each result is written beside the
// frame for djpeg to look at.
//
//   tamsel_bench_jpeg.exe FRAME.bmp [RUNS]
#include <windows.h>

#include <objidl.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Timing.h"
#include "framework/Gdiplus.h"
#include "snapshot/JpegEncoder.h"
#include "snapshot/JpegTables.h"
#include "snapshot/QualityJpeg.h"

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<uint8_t>;

namespace {

bool ReadFileBytes(const wchar_t* path, Bytes& out)
{
    HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h, &size);
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    const BOOL ok = ::ReadFile(h, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
    ::CloseHandle(h);
    return ok && got == out.size();
}

void WriteFileBytes(const std::wstring& path, const Bytes& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD done = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    ::CloseHandle(h);
}

Bytes StreamBytes(IStream* stream)
{
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    Bytes bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
}

bool WicEncode(IWICImagingFactory* factory, const uint8_t* top, int w, int h, int stride, BYTE subsampling, Bytes& out)
{
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> bag;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &bag)))
        return false;
    PROPBAG2 option{};
    VARIANT value;
    ::VariantInit(&value);
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    value.vt = VT_R4;
    value.fltVal = 1.0f;
    bag->Write(1, &option, &value);
    if (subsampling) {
        option.pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
        value.vt = VT_UI1;
        value.bVal = subsampling;
        bag->Write(1, &option, &value);
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(bag.Get())) || FAILED(frame->SetSize(w, h)) ||
        FAILED(frame->SetPixelFormat(&format)))
        return false;
    // WritePixels takes rows top-down.
    for (int y = 0; y < h; ++y)
        if (FAILED(frame->WritePixels(1, static_cast<UINT>(stride < 0 ? -stride : stride),
                                      static_cast<UINT>(w * 3), const_cast<BYTE*>(top + static_cast<ptrdiff_t>(y) * stride))))
            return false;
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return false;
    out = StreamBytes(stream.Get());
    return true;
}

void Report(const char* name, const std::vector<double>& ms, const Bytes& jpeg, const std::wstring& file)
{
    const tamsel::JpegTables t = tamsel::ReadJpegTables(jpeg.data(), jpeg.size());
    char sampling[16] = "?";
    if (!t.components.empty())
        std::snprintf(sampling, sizeof sampling, "%dx%d", t.components[0].h, t.components[0].v);
    std::printf("%-34s median %7.1f ms (min %6.1f, max %6.1f)  %8zu bytes  quality 100: %-3s  luma sampling %s\n", name,
                benchwin::Median(ms), benchwin::Min(ms), benchwin::Max(ms), jpeg.size(),
                tamsel::IsQualityHundred(t) ? "yes" : "no", sampling);
    WriteFileBytes(file, jpeg);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::printf("usage: tamsel_bench_jpeg.exe FRAME.bmp [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? _wtoi(argv[2]) : 11;
    Bytes bmp;
    if (!ReadFileBytes(argv[1], bmp) || bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') {
        std::printf("cannot read %ls\n", argv[1]);
        return 1;
    }
    auto le32 = [&](size_t at) {
        return static_cast<int32_t>(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | static_cast<uint32_t>(bmp[at + 3]) << 24);
    };
    const int w = le32(18), rawH = le32(22), h = rawH < 0 ? -rawH : rawH;
    const int stride = (w * 3 + 3) & ~3;
    const uint8_t* pixels = bmp.data() + le32(10);
    // GDI+ and the encoders below take the top row and a signed stride.
    const uint8_t* top = rawH > 0 ? pixels + static_cast<size_t>(h - 1) * stride : pixels;
    const int signedStride = rawH > 0 ? -stride : stride;
    const std::wstring base = std::wstring(argv[1]).substr(0, std::wstring(argv[1]).rfind(L'.'));
    std::printf("frame %d x %d, %d runs each\n", w, h, runs);

    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    tamsel::CJpegEncoder gdiplus;
    if (!gdiplus.StartGdiplus() || !gdiplus.InitJpegEncoder())
        return 1;
    Gdiplus::GpBitmap* raw = nullptr;
    fw::gp::GdipCreateBitmapFromScan0(w, h, signedStride, PixelFormat24bppRGB, const_cast<uint8_t*>(top), &raw);
    fw::GpImagePtr image(raw);

    auto time = [&](const char* name, const wchar_t* suffix, const std::function<bool(Bytes&)>& encode) {
        std::vector<double> ms;
        Bytes out;
        encode(out); // codecs and pages loaded once, not counted
        for (int i = 0; i < runs; ++i) {
            const double start = benchwin::NowMs();
            if (!encode(out)) {
                std::printf("%-34s failed\n", name);
                return;
            }
            ms.push_back(benchwin::NowMs() - start);
        }
        Report(name, ms, out, base + suffix);
    };

    time("GDI+, EncoderQuality 100", L"-gdiplus.jpg", [&](Bytes& out) {
        ComPtr<IStream> stream;
        ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        if (fw::gp::GdipSaveImageToStream(image.get(), stream.Get(), &gdiplus.Clsid(), &gdiplus.Params()) != Gdiplus::Ok)
            return false;
        out = StreamBytes(stream.Get());
        return true;
    });
    ComPtr<IWICImagingFactory> factory;
    if (SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
        time("WIC, ImageQuality 1.0", L"-wic.jpg",
             [&](Bytes& out) { return WicEncode(factory.Get(), top, w, h, signedStride, 0, out); });
        time("WIC, ImageQuality 1.0, 4:4:4", L"-wic444.jpg",
             [&](Bytes& out) { return WicEncode(factory.Get(), top, w, h, signedStride, 3, out); });
    }
    Bytes scratch;
    time("stb_image_write, quality 100", L"-stb.jpg",
         [&](Bytes& out) { return tamsel::EncodeQualityJpeg(top, w, h, signedStride, 100, scratch, out, -1); });
    time("the same, two bands at once", L"-stb-bands.jpg",
         [&](Bytes& out) { return tamsel::EncodeQualityJpeg(top, w, h, signedStride, 100, scratch, out); });
    // The program's path on this system: a fresh encoder for the first
    // picture of a process (GDI+, its tables read, and again where needed),
    // then the one that has seen the first.
    {
        tamsel::CJpegEncoder first;
        first.StartGdiplus();
        first.InitJpegEncoder();
        std::vector<double> ms;
        Bytes out;
        for (int i = 0; i < runs; ++i) {
            tamsel::CJpegEncoder fresh;
            fresh.StartGdiplus();
            fresh.InitJpegEncoder();
            const double start = benchwin::NowMs();
            fresh.EncodeJpeg(image.get(), out, &scratch);
            ms.push_back(benchwin::NowMs() - start);
        }
        Report("program, first picture", ms, out, base + L"-program-first.jpg");
        first.EncodeJpeg(image.get(), out, &scratch);
        std::printf("  (GDI+ %s the quality here)\n", first.QualityIgnored() ? "ignores" : "honours");
    }
    {
        tamsel::CJpegEncoder program;
        program.StartGdiplus();
        program.InitJpegEncoder();
        Bytes scratch2;
        time("program, later pictures", L"-program.jpg",
             [&](Bytes& out) { return program.EncodeJpeg(image.get(), out, &scratch2); });
    }
    return 0;
}
