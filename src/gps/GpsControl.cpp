#include "gps/GpsControl.h"


#include "framework/Debug.h"
#include "resources/resource.h"
#include "framework/Messages.h"

namespace tamsel {

namespace {

constexpr DWORD kReaderJoinStepMs = 1000;

} // namespace

CGpsControl::CGpsControl(std::function<HWND()> mainWindow, AppSettings& settings, IActivitySink& idle)
    : m_mainWindow(std::move(mainWindow)), m_settings(settings), m_idle(idle)
{
}

bool CGpsControl::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result)
{
    switch (msg) {
    case UM_GPS_START: OnGpsStart(); break;
    case UM_GPS_STOP: OnGpsStop(wp); break;
    case UM_GPS_ICON: RefreshIndicator(); break;
    default: return false;
    }
    result = 0;
    return true;
}

void CGpsControl::StopGpsReader()
{
    if (m_reader.Exists())
        m_reader.Stop(kReaderJoinStepMs, L"wait for gps thread out\n");
}

void CGpsControl::OnGpsStart()
{
    const SGpsSwitch change = DecideGpsSwitch(true, m_reader.Exists());
    if (!change.bCreateReader)
        return;
    m_readerParams.nPort = m_settings.GPSComport;
    m_readerParams.hOwner = m_mainWindow();
    m_readerParams.pFix = &m_fix;
    // Searching before the thread exists, so this cannot overwrite what the
    // reader has already heard.
    m_fix.SetStatus(change.nStatus);
    if (!m_reader.Start([this](fw::Worker& self) { GpsThreadProc(self, m_readerParams); }, L"GPS reader")) {
        ::PostMessageW(m_mainWindow(), UM_GPS_STOP, 0, 0);
        return;
    }
    Apply(change);
}

void CGpsControl::OnGpsStop(WPARAM wp)
{
    // The reader's own end note for a reader this window already stopped (a
    // stop, or the hide sequence, which leaves geotagging as it is): nothing
    // to do. It counts only when the reader ended by itself.
    if (wp == kGpsReaderEnded && !(m_reader.Exists() && m_reader.Ended()))
        return;
    const SGpsSwitch change = DecideGpsSwitch(false, m_reader.Exists());
    if (change.bEndReader)
        StopGpsReader();
    Apply(change);
}

void CGpsControl::Apply(const SGpsSwitch& change)
{
    if (!change.bApply)
        return;
    m_fix.SetStatus(change.nStatus);
    m_settings.GPS_ON = change.bGpsOn;
    if (m_geotaggingChanged)
        m_geotaggingChanged(change.bGpsOn);
    RefreshIndicator();
    m_idle.RestartIdleClock();
}

void CGpsControl::RefreshIndicator()
{
    const GpsImage image = m_animation.OnRefresh(m_fix.Status(), ::GetTickCount());
    if (image != GpsImage::Keep) {
        if (image != m_shownGpsImage)
            fw::DebugTrace(L"GPS icon %ls\n", GpsImageFile(image));
        m_shownGpsImage = image;
        if (m_showImage)
            m_showImage(image);
    }
    if (HWND indicator = ::GetDlgItem(m_mainWindow(), IDC_BTN_GPS))
        ::InvalidateRect(indicator, nullptr, TRUE);
}

} // namespace tamsel
