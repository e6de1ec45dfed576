// Owner of a SetupAPI device information set, in its own header so that only
// the code that enumerates devices pulls in <setupapi.h>.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "framework/Handles.h"

namespace fw {

namespace detail {
inline void CloseDevInfo(HDEVINFO h) { ::SetupDiDestroyDeviceInfoList(h); }
} // namespace detail

using DevInfoList = Unique<InvalidValueTraits<detail::CloseDevInfo>>;

} // namespace fw
