#include "settings/SettingsStore.h"

#include "framework/Debug.h"

#include <windows.h>
#include <shlobj.h>

#include "framework/Files.h"
#include "framework/Handles.h"

#include <algorithm>
#include <vector>

namespace tamsel {
namespace {

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VarnexApplication";

std::wstring FolderName()
{
    wchar_t name[100] = {}; // 200 bytes
    fw::RegKey key;
    if (::RegOpenKeyW(HKEY_LOCAL_MACHINE, kUninstallKey, key.put()) != ERROR_SUCCESS)
        return kDefaultFolderName;
    DWORD bytes = sizeof name;
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), L"AppFolderName", nullptr, &type,
                           reinterpret_cast<BYTE*>(name), &bytes) != ERROR_SUCCESS)
        return kDefaultFolderName;
    name[sizeof name / sizeof name[0] - 1] = L'\0'; // a value without terminator
    return name;
}

std::wstring IniPath(const std::wstring& folder, const wchar_t* file)
{
    return folder + L"\\" + file;
}

int ReadInt(const wchar_t* section, const wchar_t* key, int def, const std::wstring& path)
{
    return static_cast<int>(::GetPrivateProfileIntW(section, key, def, path.c_str()));
}

std::wstring ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* def,
                      size_t chars, const std::wstring& path)
{
    std::wstring buf(chars, L'\0');
    const DWORD n = ::GetPrivateProfileStringW(section, key, def, buf.data(),
                                               static_cast<DWORD>(chars), path.c_str());
    buf.resize(n);
    return buf;
}

bool IsFile(const std::wstring& path)
{
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes sure an (empty) file exists; false when it cannot be made.
bool EnsureFile(const std::wstring& path)
{
    if (IsFile(path))
        return true;
    fw::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? true : fw::TraceLastError(L"CreateFileW(settings file)");
}

// Every key name of a section: the profile function's list of
// zero-terminated names, read into a buffer grown until the list fits.
std::vector<std::wstring> KeyNames(const wchar_t* section, const std::wstring& path)
{
    std::vector<wchar_t> buf(4096);
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(section, nullptr, L"", buf.data(),
                                                   static_cast<DWORD>(buf.size()), path.c_str());
        // A list that did not fit comes back as size - 2.
        if (n + 2 < buf.size() || buf.size() >= (1u << 26)) {
            std::vector<std::wstring> names;
            for (size_t at = 0; at < n && buf[at];) {
                names.emplace_back(buf.data() + at);
                at += names.back().size() + 1;
            }
            return names;
        }
        buf.resize(buf.size() * 4);
    }
}

// Whether a listed picture stays in the list at a load (a folder counts as
// present, as a file does). It goes only when its folder can be read and the
// picture is not in it: a folder that cannot be reached at all (a network or
// redirected folder not back yet after a resume) says nothing about its
// pictures, and pruning them would empty the list for good.
bool PictureStillThere(const std::wstring& path)
{
    if (path.empty())
        return false;
    if (fw::PathExists(path))
        return true;
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0)
        return false;
    std::wstring folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\'; // "C:" alone would be the drive's current folder
    return !fw::PathExists(folder);
}

} // namespace

bool ResolveFolder(int kind, std::wstring& out)
{
    wchar_t buf[MAX_PATH] = {};
    switch (kind) {
    case kFolderApp: {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
        std::wstring path(buf, n < MAX_PATH ? n : MAX_PATH - 1);
        const size_t slash = path.rfind(L'\\');
        out = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        return true;
    }
    case kFolderTemp:
        ::GetTempPathW(MAX_PATH, buf);
        out = buf;
        return true;
    case kFolderPictures:
    case kFolderAppData:
        if (FAILED(fw::TraceHr(L"SHGetFolderPathW",
                               ::SHGetFolderPathW(nullptr, kind == kFolderPictures ? CSIDL_MYPICTURES : CSIDL_APPDATA,
                                                  nullptr, SHGFP_TYPE_CURRENT, buf))))
            return false;
        out = buf;
        return true;
    default:
        return false;
    }
}

std::wstring SettingsFolder()
{
    std::wstring appData; // stays empty when the folder cannot be resolved
    ResolveFolder(kFolderAppData, appData);
    return appData + L"\\" + FolderName();
}

LoadOutcome LoadSettingsFromFiles(AppSettings& s, int screenHeight, PictureList* pics)
{
    const std::wstring folder = SettingsFolder();
    const std::wstring setup = IniPath(folder, kSetupIni);
    const std::wstring reserve = IniPath(folder, kReserveIni);
    LoadOutcome out;

    const int previewSize = ReadInt(L"App_Setting", L"PreviewSize", 1, setup);
    const int resolution = ReadInt(L"App_Setting", L"Resolution", 4, setup);
    const int idleTime = ReadInt(L"App_Setting", L"IdleTime", 1, setup);
    const int geotagging = ReadInt(L"App_Setting", L"Geotagging", 1, setup);
    s.GPSComport = ReadInt(L"App_Setting", L"GPSComport", 1, setup);
    s.FlashOn = ReadInt(L"App_Setting", L"Flsah_on", 0, setup) != 0;
    s.FlashWaitTime = CorrectFlashWaitTime(ReadInt(L"App_Setting", L"FlashWaitTime", 100, setup));
    s.AudioThreashold = ReadInt(L"StealMode", L"AudioThreashold", 0, setup);
    s.BrightnessThreashold = ReadInt(L"StealMode", L"BrightnessThreashold", 20, setup);

    s.TrayDisplayString = ReadText(L"App_Setting", L"TrayDisplayString", L"Varnex Application",
                                   kTrayTextChars, setup);
    s.WinTitle = ReadText(L"AppDescription", L"WinTitle", L"Win title", kWinTitleChars, setup);
    s.CopyRight = ReadText(L"AppDescription", L"CopyRight", L"All reserved.", kCopyRightChars, setup);

    s.FlashSupportDev.clear();
    for (int n = 1; n <= kMaxFlashDevs; ++n) {
        std::wstring entry = ReadText(L"FlashSupportDev", (L"Dev" + std::to_wstring(n)).c_str(),
                                      L"", kFlashDevChars, setup);
        if (entry.empty())
            break; // entries after a gap are never read
        s.FlashSupportDev.push_back(std::move(entry));
    }

    const HwKeyParse key =
        ParseHwKeyCode(ReadText(L"App_Setting", L"SanpHwKey", L"", kHwKeyChars, setup));
    out.hwKeyCode = key.code;
    out.hwKeyInvalid = !key.valid;

    out.logFile = ReadInt(L"App_Setting", L"LogFile", 0, setup);

    s.WindowSizeMod = CorrectWindowSizeMod(previewSize, screenHeight);
    s.ResolutionMode = CorrectResolutionMode(resolution);
    s.IdleTimeMode = CorrectIdleTimeMode(idleTime);
    s.GPS_ON = CorrectGpsOn(geotagging);

    s.TotalDevNum = ReadInt(L"Device", L"TotalDevNum", 0, reserve);
    s.CurDevIndex = CorrectCurDevIndex(ReadInt(L"Device", L"CurDevIndex", -1, reserve));
    if (pics)
        out.picSaveNeeded = LoadPictureListFromFile(reserve, *pics);
    return out;
}

bool LoadPictureListFromFile(const std::wstring& reservePath, PictureList& list)
{
    const wchar_t* path = reservePath.c_str();
    PicSection stored;
    stored.total = static_cast<int>(::GetPrivateProfileIntW(kPicSection, L"Total", 0, path));
    stored.cur = static_cast<int>(::GetPrivateProfileIntW(kPicSection, L"Cur", 0, path));
    // Only a "Total" beyond what a save writes needs the names of the keys.
    if (stored.total > kMaxStoredPics)
        stored.keyNames = KeyNames(kPicSection, reservePath);
    PicListLoad load = LoadPictureList(
        stored,
        [&](const std::wstring& key) { return ReadText(kPicSection, key.c_str(), L"", kPicPathChars, reservePath); },
        &PictureStillThere);
    for (const std::wstring& key : load.removeKeys)
        ::WritePrivateProfileStringW(kPicSection, key.c_str(), nullptr, path);
    list = std::move(load.list);
    return load.saveNeeded;
}

void SaveSettingsToFiles(const AppSettings& s, const PictureList* pics)
{
    const std::wstring folder = SettingsFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr); // fails harmlessly when it exists
    const std::wstring setup = IniPath(folder, kSetupIni);
    const std::wstring reserve = IniPath(folder, kReserveIni);
    if (!EnsureFile(setup) || !EnsureFile(reserve))
        return;
    for (const ProfileWrite& w : SettingsWrites(s)) {
        const std::wstring& path = (w.file == IniFile::Setup) ? setup : reserve;
        ::WritePrivateProfileStringW(w.section, w.key, w.value.c_str(), path.c_str());
    }
    if (!pics)
        return;
    std::vector<std::wstring> written;
    // Each profile write rewrites the whole file, so only the keys the list
    // has are written here; the pass below removes whatever else is there.
    for (const PicKeyWrite& w : PictureListWrites(*pics)) {
        if (w.remove)
            continue;
        ::WritePrivateProfileStringW(kPicSection, w.key.c_str(), w.value.c_str(), reserve.c_str());
        written.push_back(w.key);
    }
    // Keys the list no longer has (a shorter list's old "fileN", one far
    // beyond "file99" that a load took in, a stray one written by hand) go
    // too: the section holds exactly what this save wrote.
    for (const std::wstring& name : KeyNames(kPicSection, reserve)) {
        const bool ours = std::any_of(written.begin(), written.end(),
                                      [&](const std::wstring& k) { return ::lstrcmpiW(k.c_str(), name.c_str()) == 0; });
        if (!ours)
            ::WritePrivateProfileStringW(kPicSection, name.c_str(), nullptr, reserve.c_str());
    }
}

} // namespace tamsel
