// The optional debug log "VarnexApDbg.log" in the temporary folder: 8-bit text
// lines ending in "\r\n", written through a text-mode stream.
#pragma once

#include <cstdio>
#include <string>

#include "settings/AppSettings.h"

namespace tamsel {

class DebugLog {
public:
    DebugLog() = default;
    ~DebugLog() { Close(); }
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    // Starts the log with its header and the settings dump. A log of an
    // earlier run is replaced; when this run's log is already open (a reload),
    // the header and dump are appended to it.
    void Open(const AppSettings& loaded);
    // Writes one whole line; nothing when the log is not open.
    void Write(const std::string& line, bool flush = true);
    void Flush();
    void Close();
    bool IsOpen() const noexcept { return m_file != nullptr; }

    static std::wstring Path();

private:
    std::FILE* m_file = nullptr;
};

} // namespace tamsel
