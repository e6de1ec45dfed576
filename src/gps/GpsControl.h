// Geotagging for the main window: starts and stops the GPS reader (which is
// switching geotagging on and off), refreshes the GPS indicator, and hands
// the snapshot worker a consistent copy of the fix.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/Activity.h"
#include "framework/Worker.h"
#include "gps/GpsFix.h"
#include "gps/GpsReader.h"
#include "gps/GpsRules.h"
#include "settings/AppSettings.h"

namespace tamsel {

class CGpsControl {
public:
    // mainWindow: the window that owns the indicator and gets the reader's
    // messages. GPS_ON and GPSComport are read and written in `settings`.
    CGpsControl(std::function<HWND()> mainWindow, AppSettings& settings, IActivitySink& idle);
    ~CGpsControl() { StopGpsReader(); }
    CGpsControl(const CGpsControl&) = delete;
    CGpsControl& operator=(const CGpsControl&) = delete;

    // UM_GPS_START, UM_GPS_STOP and UM_GPS_ICON.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // The hide sequence: ends a running reader; status and GPS_ON stay.
    void StopGpsReader();
    // The status at start-up and reopening.
    void SetStatus(int32_t status) { m_fix.SetStatus(status); }
    int32_t Status() const { return m_fix.Status(); }
    // The whole fix record as of one moment; any thread.
    SGpsInfo FixCopy() const { return m_fix.Copy(); }
    bool ReaderRunning() const noexcept { return m_reader.Exists(); }
    // The skin file the indicator shows ("GPS_good.png"); null before the
    // first refresh.
    const wchar_t* ShownImage() const noexcept { return GpsImageFile(m_shownGpsImage); }
    GpsImage ShownGpsImage() const noexcept { return m_shownGpsImage; }
    // Called on the window's thread with each image a refresh shows, before
    // the indicator repaints: the skin puts it on the indicator button.
    void OnIndicatorImage(std::function<void(GpsImage)> show) { m_showImage = std::move(show); }
    // Called on the window's thread when geotagging was switched on or off,
    // before the indicator refreshes: an open setup dialog follows.
    void OnGeotaggingChanged(std::function<void(bool)> changed) { m_geotaggingChanged = std::move(changed); }

private:
    void OnGpsStart();
    void OnGpsStop(WPARAM wp);
    void Apply(const SGpsSwitch& change);
    void RefreshIndicator();

    std::function<HWND()> m_mainWindow;
    AppSettings& m_settings;
    IActivitySink& m_idle;
    CGpsFix m_fix;
    SGpsReaderParams m_readerParams;
    fw::Worker m_reader;
    GpsAnimation m_animation;
    GpsImage m_shownGpsImage = GpsImage::Keep;
    std::function<void(GpsImage)> m_showImage;
    std::function<void(bool)> m_geotaggingChanged;
};

} // namespace tamsel
