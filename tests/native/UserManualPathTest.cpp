#include "ui/SetupRules.h"

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

TEST(UserManualPath, OnlyBesideAProgramWhosePathNamesAFolder)
{
    struct Case { const wchar_t* module; const wchar_t* manual; };
    const Case cases[] = {
        {L"C:\\Program Files\\Tamsel\\Tamsel.exe", L"C:\\Program Files\\Tamsel\\User Manual.pdf"},
        {L"C:\\Tamsel.exe", L"C:\\User Manual.pdf"},
        {L"\\\\server\\share\\Tamsel.exe", L"\\\\server\\share\\User Manual.pdf"},
        // No folder to look in: nothing, never the current folder's file.
        {L"", L""},
        {L"Tamsel.exe", L""},
        {L"bin\\Tamsel.exe", L""},
        {L"C:Tamsel.exe", L""},
        {L"\\Tamsel.exe", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(UserManualPath(c.module)), Narrow(c.manual)) << Narrow(c.module);
}

} // namespace
} // namespace tamsel
