// A clean settings environment for tests that go through the real profile,
// registry and file functions: no uninstall key, no settings folder and no
// debug log before and after each test. Files are made and read back as raw
// bytes here, never through the code under test.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tamsel::test {

inline constexpr wchar_t kUninstallKeyPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VarnexApplication";

// Plain file access, independent of the code under test.
bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Whole file as bytes; false when it cannot be opened.
bool ReadBytes(const std::wstring& path, std::string& bytes);
void RemoveTree(const std::wstring& path);

// The roaming Application Data folder and the temporary folder (with its
// trailing backslash), straight from the system.
std::wstring AppDataFolder();
std::wstring TempFolder();

// A profile file as text: sections in file order, each with its key=value
// lines in file order. Blanks around names and values are dropped.
struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
};
std::vector<IniSection> ParseIniText(const std::string& text);
const IniSection* FindSection(const std::vector<IniSection>& ini, const std::string& name);

class SettingsSandbox : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The folder where the settings live when the registry names none.
    std::wstring DefaultFolder() const { return AppDataFolder() + L"\\Corvane Varnex"; }
    std::wstring LogPath() const { return TempFolder() + L"VarnexApDbg.log"; }

    // Creates the uninstall key with "AppFolderName" = name (REG_SZ with its
    // terminator); the folder of that name is cleaned up after the test.
    void SetRegisteredFolderName(const std::wstring& name);
    // Creates the uninstall key without the value.
    void CreateUninstallKeyOnly();

    // Writes "setup.ini" / "reserve.ini" into `folder`, creating the folder.
    void WriteIni(const std::wstring& folder, const wchar_t* file, const std::string& text);
    std::string ReadIni(const std::wstring& folder, const wchar_t* file);

private:
    void Clean();
    std::vector<std::wstring> m_folderNames;
};

} // namespace tamsel::test
