#include "gps/GpsRules.h"

namespace tamsel {

int ComPortNumberFromName(std::wstring_view name)
{
    // The character after the name counts as its terminating zero, which is
    // no digit: "COM1" at the very end is port 1.
    const auto at = [&](size_t i) { return i < name.size() ? name[i] : L'\0'; };
    const auto digit = [](wchar_t c) { return static_cast<int>(c) - L'0'; };
    int number = -1;
    for (size_t i = 0; i + 3 < name.size(); ++i) {
        if (name.compare(i, 3, L"COM") != 0)
            continue;
        const wchar_t second = at(i + 4);
        if (second >= L'0' && second <= L'9')
            number = 10 * digit(name[i + 3]) + digit(second);
        else
            number = digit(name[i + 3]);
    }
    return number;
}

const wchar_t* GpsImageFile(GpsImage image)
{
    switch (image) {
    case GpsImage::Searching1: return L"GPS_unknow_1.png";
    case GpsImage::Searching2: return L"GPS_unknow_2.png";
    case GpsImage::Searching3: return L"GPS_unknow_3.png";
    case GpsImage::Good: return L"GPS_good.png";
    case GpsImage::Off: return L"GPS_off.png";
    case GpsImage::Keep: break;
    }
    return nullptr;
}

GpsImage GpsAnimation::OnRefresh(int32_t nStatus, uint32_t dwNow)
{
    if (nStatus == GPS_FIX) {
        m_nFrame = 0;
        return GpsImage::Good;
    }
    if (nStatus != GPS_SEARCHING && nStatus != GPS_NOFIX) {
        m_nFrame = 0;
        return GpsImage::Off;
    }
    if (static_cast<uint32_t>(dwNow - m_dwLastFrame) <= kGpsFrameMs)
        return GpsImage::Keep;
    m_dwLastFrame = dwNow;
    switch (m_nFrame) {
    case 1: m_nFrame = 2; return GpsImage::Searching2;
    case 2: m_nFrame = 3; return GpsImage::Searching3;
    default: m_nFrame = 1; return GpsImage::Searching1;
    }
}

SGpsSwitch DecideGpsSwitch(bool bStart, bool bReaderRunning)
{
    SGpsSwitch s;
    if (bStart) {
        if (bReaderRunning)
            return s;
        s.bCreateReader = true;
        s.bApply = true;
        s.nStatus = GPS_SEARCHING;
        s.bGpsOn = true;
        return s;
    }
    // Also without a reader: its own end message after a stop lands here.
    s.bEndReader = bReaderRunning;
    s.bApply = true;
    s.nStatus = GPS_OFF;
    s.bGpsOn = false;
    return s;
}

ScanStep PortScan::AfterParse(const SGpsInfo& info)
{
    if (info.nStatus != GPS_SEARCHING)
        return ScanStep::Found;
    return ++m_nDataReads >= kScanDataReads ? ScanStep::NextPort : ScanStep::ReadAgain;
}

ScanStep PortScan::AfterFailedRead()
{
    return ++m_nFailedReads >= kScanFailedReads ? ScanStep::NextPort : ScanStep::ReadAgain;
}

ScanStep PortScan::AfterEmptyRead()
{
    return ++m_nEmptyReads >= kScanEmptyReads ? ScanStep::NextPort : ScanStep::ReadAgain;
}

} // namespace tamsel
