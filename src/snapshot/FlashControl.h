// The camera's flash, switched through the camera maker's controller library
// "ACamDll.dll" in the application folder, and which cameras have one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tamsel {

// The controller library's exports, as the flash uses them.
inline constexpr wchar_t kCamDllName[] = L"ACamDll.dll";
using AlcInitFn = int(__cdecl*)();
using AlcIspFn = int(__cdecl*)(int reg, int count, unsigned char* buffer);

// Whether the camera with this moniker display name (ANSI) is listed in
// FlashSupportDev, letter case ignored.
bool CheckCameraFlash(const std::string& displayName, const std::vector<std::wstring>& flashSupportDev);

class CFlashControl {
public:
    // appFolder: where the library must lie (it is loaded by its full path
    // only, never searched for). owner: the window told (UM_FLASH_ERROR) to
    // show the error box on its own thread.
    CFlashControl(std::wstring appFolder, HWND owner) : m_appFolder(std::move(appFolder)), m_owner(owner) {}

    // One load, initialise, register write, uninitialise, unload cycle. True
    // when the library loaded and has all four exports.
    bool SetFlash(bool on) const;

private:
    std::wstring m_appFolder;
    HWND m_owner;
};

} // namespace tamsel
