// The choice of the capture pin's format from what the camera announces,
// free of DirectShow so it can be tested as a table.
#pragma once

#include <vector>

#include "capture/FrameRules.h"

namespace tamsel {

// One capability of the capture pin (a VIDEOINFOHEADER format), as the camera
// announces it.
struct StreamCapability {
    long width = 0;
    long height = 0;
    int bitsPerPixel = 0;
    bool yuy2 = false;
};

// A capability whose size may take part in any arithmetic: within the frame
// bounds and upright (a negative height is never a size to ask for).
bool CapabilityUsable(const StreamCapability& cap);

// The largest width and, separately, the largest height over the usable
// capabilities, any subtype; 0 x 0 when there is none.
void LargestSides(const std::vector<StreamCapability>& caps, int& width, int& height);

// The native format (resolution mode 4). Cameras reaching 2592 x 1944 preview
// at VGA and snapshot through the still pin. Otherwise the largest width and
// height, when the camera offers that size in YUY2; many cameras offer their
// larger sizes only compressed, and then the largest YUY2 capability by area
// is used (the first listed of equal area). 0 x 0 when nothing usable is
// offered in YUY2.
CaptureFormatChoice ChooseNativeFormat(const std::vector<StreamCapability>& caps);

// The format for a resolution mode 1..4 (VGA, SVGA, XVGA, native).
CaptureFormatChoice ChooseStreamFormat(int resMode, const std::vector<StreamCapability>& caps);

} // namespace tamsel
