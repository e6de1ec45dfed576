#include "snapshot/SnapshotRules.h"

#include "settings/AppSettings.h"

#include <climits>
#include <cmath>

namespace tamsel {

namespace {

// printf's "%0<width>d": the sign counts towards the width, zeros go after it.
void AppendPadded(std::wstring& out, int value, int width)
{
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(value))
                                            : static_cast<unsigned long long>(value);
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        out += L'-';
    for (int n = static_cast<int>(digits.size()) + (negative ? 1 : 0); n < width; ++n)
        out += L'0';
    out += digits;
}

wchar_t Upper(wchar_t c)
{
    if (c >= L'a' && c <= L'z')
        return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // Latin-1 small letters, not the division sign
        return static_cast<wchar_t>(c - 0x20);
    return c;
}

std::wstring UpperCopy(std::wstring_view s)
{
    std::wstring out(s);
    for (wchar_t& c : out)
        c = Upper(c);
    return out;
}

} // namespace

std::optional<std::wstring> MakePictureFileName(std::wstring_view picFolder, const LocalDate& date,
                                                const std::function<bool(const std::wstring&)>& exists)
{
    std::wstring name(picFolder);
    name += L'\\';
    AppendPadded(name, date.year - 2000, 2);
    name += L'-';
    AppendPadded(name, date.month, 2);
    name += L'-';
    AppendPadded(name, date.day, 2);
    name += L'-';
    const size_t counterAt = name.size();
    name += L"0000.jpg";
    if (name.size() > kMaxPathChars - 1)
        return std::nullopt;

    for (int n = 0; n < kPicturesPerDay; ++n) {
        name.resize(counterAt);
        AppendPadded(name, n, 4);
        name += L".jpg";
        if (!exists(name))
            return name;
    }
    return std::nullopt;
}

bool FlashFires(const FlashSettings& s, const std::function<int()>& audioLevel,
                const std::function<int()>& screenBrightness)
{
    if (!s.flashOn || !s.cameraHasFlash)
        return false;
    if (audioLevel() > s.audioThreashold)
        return true;
    const bool vistaOrLater = s.osLevel >= 2;
    return vistaOrLater && screenBrightness() > s.brightnessThreashold;
}

int AudioLevelFromScalar(float scalar)
{
    // The sum is stored as a float before truncation: 0.005 gives 0.99999999,
    // which the float makes 1.0, so the level is 1.
    const float level = static_cast<float>(scalar * 100 + 0.5);
    if (std::isnan(level))
        return 0;
    if (level >= static_cast<float>(INT_MAX))
        return INT_MAX;
    if (level <= static_cast<float>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(level);
}

uint32_t FlashWaitMs(int flashWaitTime)
{
    return static_cast<uint32_t>(CorrectFlashWaitTime(flashWaitTime));
}

bool CameraHasFlash(std::wstring_view displayName, const std::vector<std::wstring>& flashSupportDev)
{
    const std::wstring name = UpperCopy(displayName);
    for (const std::wstring& entry : flashSupportDev) {
        if (name.find(UpperCopy(entry)) != std::wstring::npos)
            return true;
    }
    return false;
}

std::vector<IspWrite> FlashRegisterWrites(bool on, uint8_t statusRead)
{
    // Bit 6 of the status register lights the LED; the light register then
    // takes its on or off pattern.
    const uint8_t status = on ? static_cast<uint8_t>(statusRead | 0x40) : static_cast<uint8_t>(statusRead & 0xBF);
    return {{kFlashStatusReg, status}, {kFlashLightReg, static_cast<uint8_t>(on ? 0x4F : 0x0F)}};
}

} // namespace tamsel
