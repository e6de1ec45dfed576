#include "snapshot/FlashControl.h"

#include <algorithm>
#include <climits>

#include "framework/Debug.h"
#include "framework/Handles.h"
#include "framework/Messages.h"
#include "snapshot/SnapshotRules.h"

namespace tamsel {

namespace {

// An export of the library as the function type it has.
template <typename Fn>
Fn Export(HMODULE library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

} // namespace

bool CheckCameraFlash(const std::string& displayName, const std::vector<std::wstring>& flashSupportDev)
{
    if (flashSupportDev.empty())
        return false;
    // The name is compared as a path buffer holds it: its first 259
    // characters. A longer name is cut there, not lost (a conversion into a
    // buffer too small for it fails as a whole).
    const int length = static_cast<int>(std::min<size_t>(displayName.size(), INT_MAX));
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, displayName.data(), length, nullptr, 0);
    std::wstring wide(needed > 0 ? static_cast<size_t>(needed) : 0, L'\0');
    const int n = wide.empty() ? 0 : ::MultiByteToWideChar(CP_ACP, 0, displayName.data(), length, wide.data(), needed);
    wide.resize(n > 0 ? std::min(static_cast<size_t>(n), kMaxPathChars - 1) : 0);
    return CameraHasFlash(wide, flashSupportDev);
}

bool CFlashControl::SetFlash(bool on) const
{
    const std::wstring path = m_appFolder + L"\\" + kCamDllName;
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fw::DebugTrace(L"Can not find %ls\n", path.c_str());
        return false;
    }
    // By its full path only: a library of that name elsewhere on the search
    // path is never picked up.
    fw::Module library(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) {
        fw::DebugTrace(L"Load Cam dll error , error code = %d\n", static_cast<int>(::GetLastError()));
        return false;
    }
    const auto init = Export<AlcInitFn>(library.get(), "ALC_Initialization");
    const auto uninit = Export<AlcInitFn>(library.get(), "ALC_UnInitialization");
    const auto read = Export<AlcIspFn>(library.get(), "ALC_ProcReadFromISP");
    const auto write = Export<AlcIspFn>(library.get(), "ALC_ProcWriteToISP");
    if (!init || !uninit || !read || !write) {
        // The box is the window thread's: one shown here, owned by a window
        // whose thread may be waiting for this worker, could hold the end.
        ::PostMessageW(m_owner, UM_FLASH_ERROR, 0, 0);
        ::OutputDebugStringW(L"Get process error");
        return false;
    }
    // The library's results are not looked at: a failed register call still
    // counts as switched.
    init();
    unsigned char buffer = 0;
    read(kFlashStatusReg, 1, &buffer);
    for (const IspWrite& w : FlashRegisterWrites(on, buffer)) {
        buffer = w.value;
        write(w.reg, 1, &buffer);
    }
    uninit();
    return true;
}

} // namespace tamsel
