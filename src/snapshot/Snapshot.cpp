#include "snapshot/Snapshot.h"

#include <objidl.h>
#include <wrl/client.h>

#include <climits>
#include <cstring>
#include <memory>
#include <optional>

#include "framework/Debug.h"
#include "snapshot/ExifWriter.h"
#include "snapshot/FlashControl.h"
#include "snapshot/SnapshotRules.h"
#include "snapshot/StealthControls.h"

namespace tamsel {

namespace {

struct GlobalFreeDeleter {
    void operator()(void* block) const noexcept
    {
        ::GlobalUnlock(block);
        ::GlobalFree(block);
    }
};
// A fixed global block: its handle is its address.
using GlobalBlock = std::unique_ptr<void, GlobalFreeDeleter>;

// The layout of a BMP file image with 24-bit rows and no compression, the
// form the capture engine gives a YUY2 or RGB frame.
struct PlainBmpLayout {
    int width = 0, height = 0, stride = 0;
    size_t pixelOffset = 0;
    bool bottomUp = true;
};

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::optional<PlainBmpLayout> PlainBmp(const std::vector<uint8_t>& image)
{
    constexpr size_t kHeaders = 14 + 40;
    if (image.size() < kHeaders || image[0] != 'B' || image[1] != 'M')
        return std::nullopt;
    const uint8_t* info = image.data() + 14;
    const int32_t width = static_cast<int32_t>(Le32(info + 4));
    const int32_t height = static_cast<int32_t>(Le32(info + 8));
    const uint16_t bits = static_cast<uint16_t>(info[14] | info[15] << 8);
    if (Le32(info) < 40 || bits != 24 || Le32(info + 16) != BI_RGB || width <= 0 || height == 0 ||
        height == INT32_MIN || width > 0x8000 || height > 0x8000 || height < -0x8000)
        return std::nullopt;
    PlainBmpLayout out;
    out.width = width;
    out.height = height < 0 ? -height : height;
    out.bottomUp = height > 0;
    out.stride = (width * 3 + 3) & ~3;
    out.pixelOffset = Le32(image.data() + 10);
    if (out.pixelOffset < kHeaders ||
        out.pixelOffset + static_cast<uint64_t>(out.stride) * out.height > image.size())
        return std::nullopt;
    return out;
}

} // namespace

bool PictureNameTaken(const std::wstring& path)
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    // Only a name the system says is not there is free; one it cannot answer
    // for (no access, a sharing or network error) may hold a picture.
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool EnsurePictureFolder(const std::wstring& folder)
{
    const DWORD attr = ::GetFileAttributesW(folder.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES)
        return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return ::CreateDirectoryW(folder.c_str(), nullptr) ? true : fw::TraceLastError(L"CreateDirectoryW(pictures)");
}

bool MakePictureFileName(const std::wstring& picFolder, std::wstring& name)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const auto found = MakePictureFileName(picFolder, LocalDate{now.wYear, now.wMonth, now.wDay}, &PictureNameTaken);
    if (!found)
        return false;
    name = *found;
    return true;
}

void CSnapshot::Prepare(SnapshotSettings settings)
{
    auto guard = m_lock.Acquire();
    m_next = std::move(settings);
}

std::wstring CSnapshot::TakeSnapshot(fw::GpImagePtr* copy, SIZE copySize)
{
    ::OutputDebugStringW(L"Execute snapshot\n");
    SnapshotSettings s;
    {
        auto guard = m_lock.Acquire();
        s = m_next;
    }
    // The stealth controls and the image codecs are COM objects of this
    // thread's own apartment.
    fw::ComApartment com(COINIT_MULTITHREADED);

    // The image buffer is kept for the next snapshot: filling mapped memory
    // is far cheaper than faulting in a fresh buffer of a large frame.
    std::vector<uint8_t>& image = m_image;
    image.clear();
    if (!Grab(s, image) || image.empty())
        return {};

    // A JPEG from the camera is decoded from a stream on a global block,
    // which must outlive the image.
    GlobalBlock block;
    Microsoft::WRL::ComPtr<IStream> stream;
    fw::GpImagePtr picture;
    if (const auto bmp = PlainBmp(image)) {
        // The BMP image that a YUY2 or RGB frame becomes is taken as it lies:
        // decoding it through a stream would copy the frame twice more.
        Gdiplus::GpBitmap* raw = nullptr;
        const uint8_t* firstRow = image.data() + bmp->pixelOffset +
                                  (bmp->bottomUp ? static_cast<size_t>(bmp->height - 1) * bmp->stride : 0);
        fw::gp::GdipCreateBitmapFromScan0(bmp->width, bmp->height, bmp->bottomUp ? -bmp->stride : bmp->stride,
                                          PixelFormat24bppRGB, const_cast<uint8_t*>(firstRow), &raw);
        picture.reset(raw);
    } else {
        const size_t length = image.size();
        block.reset(::GlobalAlloc(GMEM_FIXED, length));
        void* bytes = block ? ::GlobalLock(block.get()) : nullptr;
        if (!bytes) {
            ::OutputDebugStringW(L"Get global memory error\n");
            return {};
        }
        memcpy(bytes, image.data(), length);
        std::vector<uint8_t>().swap(image); // the frame is not held twice
        Gdiplus::GpImage* raw = nullptr;
        if (SUCCEEDED(fw::TraceHr(L"CreateStreamOnHGlobal", ::CreateStreamOnHGlobal(block.get(), FALSE, &stream))))
            fw::gp::GdipLoadImageFromStream(stream.Get(), &raw);
        picture.reset(raw);
    }
    std::wstring path;
    if (!picture || !SavePicture(s, picture.get(), path)) {
        ::OutputDebugStringW(L"Save pic error\n");
        return {};
    }
    if (copy)
        *copy = fw::ScaledCopy(picture.get(), static_cast<UINT>(copySize.cx), static_cast<UINT>(copySize.cy));
    return path;
}

bool CSnapshot::Grab(const SnapshotSettings& s, std::vector<uint8_t>& image)
{
    const CFlashControl flash(s.appFolder, s.owner);
    bool switchedOn = false;
    CStealthControls stealth; // opened only when the levels are read
    bool stealthOpened = false;
    auto openStealth = [&] {
        if (!stealthOpened)
            stealth.OpenAudioControl(s.osLevel);
        stealthOpened = true;
    };
    const FlashSettings rule{s.flashOn, s.cameraHasFlash, s.audioThreashold, s.brightnessThreashold, s.osLevel};
    const bool fires = FlashFires(
        rule,
        [&] {
            openStealth();
            return stealth.GetAudioLevel(s.osLevel);
        },
        [&] { return stealth.GetScreenBrightness(); });
    stealth.Release();
    bool stopped = false;
    if (fires) {
        switchedOn = flash.SetFlash(true);
        // The light needs its time, whether or not the switch worked. The
        // program's end does not wait for it: the stop event cuts it short.
        const DWORD waitMs = FlashWaitMs(s.flashWaitTime);
        if (s.stop)
            stopped = ::WaitForSingleObject(s.stop, waitMs) == WAIT_OBJECT_0;
        else
            ::Sleep(waitMs);
        if (stopped)
            ::OutputDebugStringW(L"Flash wait ended by the stop\n");
    }

    // Nobody waits for a picture taken after the stop.
    const bool grabbed = !stopped && m_captureStill && m_captureStill(image);

    // Off after every grab the flash was switched on for, failed ones too.
    if (FlashOffAfterGrab(s.flashOn, switchedOn))
        flash.SetFlash(false);
    return grabbed;
}

bool CSnapshot::SavePicture(const SnapshotSettings& s, Gdiplus::GpImage* image, std::wstring& path)
{
    std::vector<uint8_t> jpeg;
    if (!m_jpeg.EncodeJpeg(image, jpeg, &m_encoderMemory))
        return false;

    const SGpsInfo fix = m_fixCopy ? m_fixCopy() : SGpsInfo{};
    if (FixIsCurrent(fix, s.gpsOn, ::GetTickCount())) {
        std::vector<uint8_t> tagged;
        const ExifOutcome outcome = InsertGpsExif(jpeg.data(), jpeg.size(), GpsExifItems(fix), tagged);
        if (Succeeded(outcome))
            jpeg.swap(tagged);
        else
            fw::DebugTrace(L"GPS tags not written (%d): picture saved without them\n", static_cast<int>(outcome));
    }

    if (!EnsurePictureFolder(s.picFolder) || !MakePictureFileName(s.picFolder, path))
        return false;
    // A name taken between the choice and the rename: the day's next free one.
    const NextPictureName next = [&](const std::wstring&) {
        std::wstring other;
        return MakePictureFileName(s.picFolder, other) ? std::optional<std::wstring>(other) : std::nullopt;
    };
    return WritePictureFile(s.picFolder, path, jpeg.data(), jpeg.size(), next, &path);
}

} // namespace tamsel
