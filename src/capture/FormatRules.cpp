#include "capture/FormatRules.h"

#include <cstdint>

namespace tamsel {

bool CapabilityUsable(const StreamCapability& cap)
{
    return cap.height > 0 && FrameSizeAllowed(cap.width, cap.height, cap.bitsPerPixel);
}

void LargestSides(const std::vector<StreamCapability>& caps, int& width, int& height)
{
    width = height = 0;
    for (const StreamCapability& cap : caps) {
        if (!CapabilityUsable(cap))
            continue;
        if (cap.width > width)
            width = static_cast<int>(cap.width);
        if (cap.height > height)
            height = static_cast<int>(cap.height);
    }
}

CaptureFormatChoice ChooseNativeFormat(const std::vector<StreamCapability>& caps)
{
    int maxWidth = 0, maxHeight = 0;
    LargestSides(caps, maxWidth, maxHeight);
    const CaptureFormatChoice largest = ChooseCaptureFormat(4, maxWidth, maxHeight);
    if (largest.useStillPin || largest.width == 0)
        return largest;

    const StreamCapability* best = nullptr;
    uint64_t bestArea = 0;
    for (const StreamCapability& cap : caps) {
        if (!cap.yuy2 || !CapabilityUsable(cap))
            continue;
        if (cap.width == largest.width && cap.height == largest.height)
            return largest;
        const uint64_t area = static_cast<uint64_t>(cap.width) * static_cast<uint64_t>(cap.height);
        if (area > bestArea) {
            best = &cap;
            bestArea = area;
        }
    }
    if (!best)
        return {};
    return {static_cast<int>(best->width), static_cast<int>(best->height), false};
}

CaptureFormatChoice ChooseStreamFormat(int resMode, const std::vector<StreamCapability>& caps)
{
    if (resMode == 4)
        return ChooseNativeFormat(caps);
    return ChooseCaptureFormat(resMode, 0, 0);
}

} // namespace tamsel
