// One snapshot, as the snapshot worker takes it: the flash, the grab, the
// JPEG with its GPS tags, and the file under the day's next free name. The
// settings it uses are copied on the window's thread when the request is
// accepted; the window's own state (picture list, thumbnail, idle clock) is
// changed by the window thread with the outcome, never here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "gps/GpsInfo.h"
#include "snapshot/JpegEncoder.h"

namespace tamsel {

// What one snapshot reads of the controller's settings and state.
struct SnapshotSettings {
    bool flashOn = false;          // FlashOn
    bool cameraHasFlash = false;   // m_bCameraHasFlash
    int flashWaitTime = 0;         // FlashWaitTime
    int audioThreashold = 0;       // AudioThreashold
    int brightnessThreashold = 20; // BrightnessThreashold
    int osLevel = 3;               // m_nOsLevel
    bool gpsOn = false;            // GPS_ON
    std::wstring picFolder;        // m_szPicFolder, no trailing backslash
    std::wstring appFolder;        // where the camera controller library lies
    HWND owner = nullptr;          // shows the flash library's error box (UM_FLASH_ERROR is posted to it)
    HANDLE stop = nullptr;         // the worker's stop event: set, it ends the flash wait at once
};

class CSnapshot {
public:
    using CaptureStillFn = std::function<bool(std::vector<uint8_t>& image)>;
    using FixCopyFn = std::function<SGpsInfo()>;

    CSnapshot(const CJpegEncoder& jpeg, CaptureStillFn captureStill, FixCopyFn fixCopy)
        : m_jpeg(jpeg), m_captureStill(std::move(captureStill)), m_fixCopy(std::move(fixCopy)) {}
    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;

    // Window thread, when a request is accepted: the settings the next
    // snapshot uses.
    void Prepare(SnapshotSettings settings);

    // Worker thread: one snapshot. The full path of the new picture, or
    // empty when the attempt failed (traced). With `copy`, a saved picture
    // also comes back stretched to `copySize`, for the window to show
    // without decoding the file again.
    std::wstring TakeSnapshot(fw::GpImagePtr* copy = nullptr, SIZE copySize = {});

private:
    bool Grab(const SnapshotSettings& s, std::vector<uint8_t>& image);
    bool SavePicture(const SnapshotSettings& s, Gdiplus::GpImage* image, std::wstring& path);

    const CJpegEncoder& m_jpeg;
    CaptureStillFn m_captureStill;
    FixCopyFn m_fixCopy;
    fw::Lock m_lock;
    SnapshotSettings m_next;
    std::vector<uint8_t> m_image; // the worker thread's, kept between snapshots
    std::vector<uint8_t> m_encoderMemory; // likewise, for the JPEG encoder that honours the quality
};

// The picture folder made when it is missing (one level, as the folder
// resolver gives it). False when it is neither there nor could be made.
bool EnsurePictureFolder(const std::wstring& folder);

// The day's next free name in the folder, by the local date.
bool MakePictureFileName(const std::wstring& picFolder, std::wstring& name);

// Whether a picture name is taken: it exists, or its attributes cannot be
// read for another reason than "not found".
bool PictureNameTaken(const std::wstring& path);

} // namespace tamsel
