#include "settings/DebugLog.h"

#include <windows.h>

#include "settings/SettingsStore.h"

namespace tamsel {

std::wstring DebugLog::Path()
{
    std::wstring temp;
    ResolveFolder(kFolderTemp, temp);
    return temp + L"VarnexApDbg.log";
}

void DebugLog::Open(const AppSettings& loaded)
{
    if (!m_file) {
        const std::wstring path = Path();
        ::DeleteFileW(path.c_str()); // a missing file is fine
        // Text mode: the stream stores each line feed as CR LF.
        m_file = ::_wfopen(path.c_str(), L"a+");
        if (!m_file)
            return;
    }
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    Write(FormatLogHeader(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond), false);
    Write(FormatSettingsDump(loaded), true);
}

void DebugLog::Write(const std::string& line, bool flush)
{
    if (!m_file)
        return;
    std::fwrite(line.data(), 1, line.size(), m_file);
    if (flush)
        std::fflush(m_file);
}

void DebugLog::Flush()
{
    if (m_file)
        std::fflush(m_file);
}

void DebugLog::Close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

} // namespace tamsel
