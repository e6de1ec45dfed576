// Decisions of a snapshot that need no platform: the picture's file name, when
// the flash fires, which cameras have one and which register values switch it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// ---- File name ----

// Paths hold 259 characters and the terminator.
constexpr size_t kMaxPathChars = 260;
constexpr int kPicturesPerDay = 10000;

struct LocalDate {
    int year;  // e.g. 2026
    int month; // 1..12
    int day;   // 1..31
};

// "<folder>\YY-MM-DD-NNNN.jpg" with the smallest N (0..9999) whose file does
// not exist. Nothing when all 10000 names of the day are taken, or when the
// folder is too long for a name of at most 259 characters.
std::optional<std::wstring> MakePictureFileName(std::wstring_view picFolder, const LocalDate& date,
                                                const std::function<bool(const std::wstring&)>& exists);

// ---- Flash and stealth ----

struct FlashSettings {
    bool flashOn = false;          // FlashOn
    bool cameraHasFlash = false;   // m_bCameraHasFlash
    int audioThreashold = 0;       // AudioThreashold
    int brightnessThreashold = 20; // BrightnessThreashold
    int osLevel = 3;               // 1 XP / Server 2003, 2 Vista, 3 Windows 7 or later
};

// Whether the flash fires for this snapshot. The levels are read only when
// they decide: neither without the flash wanted and a camera that has one,
// the brightness only on Vista and later and only when the volume is at or
// below its threshold (quiet and dim keeps the flash dark).
bool FlashFires(const FlashSettings& s, const std::function<int()>& audioLevel,
                const std::function<int()>& screenBrightness);

// The Core Audio master volume scalar (0.0..1.0) as a whole percentage: the
// scalar times 100 plus one half, stored as a float, then truncated.
int AudioLevelFromScalar(float scalar);

// The milliseconds to wait after switching the flash on, within
// 0..kMaxFlashWaitTime: a negative setting waits not at all (it would
// otherwise become an endless sleep), a larger one the bound.
uint32_t FlashWaitMs(int flashWaitTime);

// After the grab the flash goes off when it is still wanted and switching it
// on succeeded.
constexpr bool FlashOffAfterGrab(bool flashOnNow, bool switchedOn)
{
    return flashOnNow && switchedOn;
}

// A camera has a flash when its display name, upper-cased, contains one of the
// entries, upper-cased. Letters a-z and the Latin-1 small letters are
// upper-cased; other characters compare as they are.
bool CameraHasFlash(std::wstring_view displayName, const std::vector<std::wstring>& flashSupportDev);

// The controller library's register traffic for one switch: read register
// 0x20 into a byte, then write the bytes below in order.
constexpr int kFlashStatusReg = 0x20;
constexpr int kFlashLightReg = 0x22;
struct IspWrite {
    int reg;
    uint8_t value;
};
std::vector<IspWrite> FlashRegisterWrites(bool on, uint8_t statusRead);

} // namespace tamsel
