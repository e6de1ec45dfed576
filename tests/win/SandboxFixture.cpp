#include "SandboxFixture.h"

#include <shlobj.h>

namespace tamsel::test {

bool PathExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadBytes(const std::wstring& path, std::string& bytes)
{
    // Shared for writing and deleting so that a log still open can be read.
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bytes.clear();
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    ::CloseHandle(h);
    return true;
}

void RemoveTree(const std::wstring& path)
{
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (::FindNextFileW(find, &fd));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}

std::wstring AppDataFolder()
{
    wchar_t buf[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)))
        return L"";
    return buf;
}

std::wstring TempFolder()
{
    wchar_t buf[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, buf);
    return buf;
}

namespace {

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

} // namespace

std::vector<IniSection> ParseIniText(const std::string& text)
{
    std::vector<IniSection> ini;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = Trim(line);
        if (line.empty())
            continue;
        if (line.front() == '[' && line.back() == ']') {
            ini.push_back({Trim(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        const size_t eq = line.find('=');
        if (ini.empty())
            ini.push_back({"", {}}); // lines before any section
        if (eq == std::string::npos)
            ini.back().entries.emplace_back(line, "");
        else
            ini.back().entries.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return ini;
}

const IniSection* FindSection(const std::vector<IniSection>& ini, const std::string& name)
{
    const IniSection* found = nullptr;
    for (const IniSection& s : ini) {
        if (s.name == name) {
            EXPECT_EQ(found, nullptr) << "section [" << name << "] appears twice";
            found = &s;
        }
    }
    return found;
}

void SettingsSandbox::SetUp()
{
    ASSERT_FALSE(AppDataFolder().empty()) << "no Application Data folder";
    Clean();
    ASSERT_FALSE(PathExists(DefaultFolder()));
    ASSERT_FALSE(PathExists(LogPath()));
    HKEY key = nullptr;
    ASSERT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_READ, &key),
              ERROR_SUCCESS)
        << "the uninstall key could not be removed";
}

void SettingsSandbox::TearDown()
{
    Clean();
}

void SettingsSandbox::Clean()
{
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    RemoveTree(DefaultFolder());
    for (const std::wstring& name : m_folderNames)
        RemoveTree(AppDataFolder() + L"\\" + name);
    ::DeleteFileW(LogPath().c_str());
}

void SettingsSandbox::SetRegisteredFolderName(const std::wstring& name)
{
    m_folderNames.push_back(name);
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const LSTATUS st = ::RegSetValueExW(key, L"AppFolderName", 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(name.c_str()),
                                        static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    ASSERT_EQ(st, ERROR_SUCCESS);
}

void SettingsSandbox::CreateUninstallKeyOnly()
{
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
}

void SettingsSandbox::WriteIni(const std::wstring& folder, const wchar_t* file, const std::string& text)
{
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(folder + L"\\" + file, text));
}

std::string SettingsSandbox::ReadIni(const std::wstring& folder, const wchar_t* file)
{
    std::string bytes;
    EXPECT_TRUE(ReadBytes(folder + L"\\" + file, bytes)) << "cannot read " << file;
    EXPECT_EQ(bytes.find('\0'), std::string::npos) << file << " is not 8-bit text";
    return bytes;
}

} // namespace tamsel::test
