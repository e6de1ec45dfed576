#include "snapshot/FlashControl.h"

#include "framework/Debug.h"
#include "framework/Handles.h"
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
    wchar_t wide[kMaxPathChars] = {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, displayName.data(), static_cast<int>(displayName.size()), wide,
                                        static_cast<int>(kMaxPathChars) - 1);
    return CameraHasFlash(std::wstring_view(wide, n > 0 ? static_cast<size_t>(n) : 0), flashSupportDev);
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
        fw::ShowMessage(m_owner, L"Get process error");
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
