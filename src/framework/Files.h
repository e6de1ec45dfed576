// Small file-system questions shared by the parts.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// Whether a file or a folder of that name exists.
inline bool PathExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace fw
