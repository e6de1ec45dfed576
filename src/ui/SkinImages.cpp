#include "ui/SkinImages.h"

namespace tamsel {

namespace {

struct SkinFile {
    const wchar_t* file;
    const char* logLine; // written when the file gives no picture
};

// Indexed by entry.
constexpr SkinFile kSkinFiles[kSkinEntryCount] = {
    {L"App.png", "Can not get AppIcon pic, so use default\r\n"},
    {L"small_task.png", "Can not get trayIcon pic, so use default\r\n"},
    {L"Main-ui-background.png", "Can not get background pic\r\n"},
    {L"left_arrow.png", "Can not get left arrow pic\r\n"},
    {L"left_arrow_select.png", "Can not get left arrow select pic\r\n"},
    {L"right_arrow.png", "Can not get right arrow pic\r\n"},
    {L"right_arrow_select.png", "Can not get right arrow select pic\r\n"},
    {L"mode_switch.png", "Can not get mode switch pic\r\n"},
    {L"mode_switch_select.png", "Can not get mode switch select pic\r\n"},
    {L"mode_switch_pic.png", "Can not get mode switch pic to preview pic\r\n"},
    {L"mode_switch_pic_select.png", "Can not get mode switch Pic to Preview select pic\r\n"},
    {nullptr, nullptr}, // the thumbnail
    {L"close_btn.png", "Can not close btn pic\r\n"},
    {L"close_select_btn.png", "Can not close btn select pic\r\n"},
    {L"setup_btn.png", "Can not setup btn pic\r\n"},
    {L"setup_select_btn.png", "Can not setup btn select pic\r\n"},
    {L"capture_btn.png", "Can not get capture btn pic\r\n"},
    {L"capture_select_btn.png", "Can not get capture btn select pic\r\n"},
    {L"delete_btn.png", "Can not get delete btn pic\r\n"},
    {L"delete_select_btn.png", "Can not get delete btn select pic\r\n"},
    {L"GPS_unknow_1.png", "Can not get GPS unknown 1 pic\r\n"},
    {L"GPS_unknow_2.png", "Can not get GPS unknown 2 pic\r\n"},
    {L"GPS_unknow_3.png", "Can not get GPS unknown 3 pic\r\n"},
    {nullptr, nullptr}, // not used
    {L"GPS_good.png", "Can not get GPS good pic\r\n"},
    {L"GPS_off.png", "Can not get GPS off pic\r\n"},
    {L"setup_background.jpg", "Can not get setup background pic\r\n"},
    {L"setup_close.png", "Can not get setup close pic\r\n"},
    {L"setup_camera1_on.png", "Can not get setup camera 1 on pic\r\n"},
    {L"setup_camera1_off.png", "Can not get setup camera 1 off pic\r\n"},
    {L"setup_camera2_on.png", "Can not get setup camera 2 on pic\r\n"},
    {L"setup_camera2_off.png", "Can not get setup camera 2 off pic\r\n"},
    {L"setup_camera3_on.png", "Can not get setup camera 3 on pic\r\n"},
    {L"setup_camera3_off.png", "Can not get setup camera 3 off pic\r\n"},
    {L"setup_res_vga_on.png", "Can not get setup resolution VGA on pic\r\n"},
    {L"setup_res_vga_off.png", "Can not get setup resolution VGA off pic\r\n"},
    {L"setup_res_svga_on.png", "Can not get setup resolution SVGA on pic\r\n"},
    {L"setup_res_svga_off.png", "Can not get setup resolution SVGA off pic\r\n"},
    {L"setup_res_xvga_on.png", "Can not get setup resolution XVGA on pic\r\n"},
    {L"setup_res_xvga_off.png", "Can not get setup resolution XVGA off pic\r\n"},
    {L"setup_res_native_on.png", "Can not get setup resolution native on pic\r\n"},
    {L"setup_res_native_off.png", "Can not get setup resolution native off pic\r\n"},
    {L"setup_preview_480x320_on.png", "Can not get setup preview 480*320 on pic\r\n"},
    {L"setup_preview_480x320_off.png", "Can not get setup preview 480*320 off pic\r\n"},
    {L"setup_preview_640x480_on.png", "Can not get setup preview 640*480 on pic\r\n"},
    {L"setup_preview_640x480_off.png", "Can not get setup preview 640*480 off pic\r\n"},
    {L"setup_geotagging_on_on.png", "Can not get setup geotagging on on pic\r\n"},
    {L"setup_geotagging_on_off.png", "Can not get setup geotagging on off pic\r\n"},
    {L"setup_geotagging_off_on.png", "Can not get setup geotagging off on pic\r\n"},
    {L"setup_geotagging_off_off.png", "Can not get setup geotagging off off pic\r\n"},
    {L"setup_geotagging_set.png", "Can not get setup geotagging set pic\r\n"},
    {L"setup_flash_on_on.png", "Can not get setup flash on on pic\r\n"},
    {L"setup_flash_on_off.png", "Can not get setup flash on off pic\r\n"},
    {L"setup_flash_off_on.png", "Can not get setup flash off on pic\r\n"},
    {L"setup_flash_off_off.png", "Can not get setup flash off off pic\r\n"},
    {L"setup_idle_5min_on.png", "Can not get setup idle time 5 min on pic\r\n"},
    {L"setup_idle_5min_off.png", "Can not get setup idle time 5 min off pic\r\n"},
    {L"setup_idle_10min_on.png", "Can not get setup idle time 10 min on pic\r\n"},
    {L"setup_idle_10min_off.png", "Can not get setup idle time 10 min off pic\r\n"},
    {L"setup_idle_15min_on.png", "Can not get setup idle time 15 min on pic\r\n"},
    {L"setup_idle_15min_off.png", "Can not get setup idle time 15 min off pic\r\n"},
    {L"setup_idle_20min_on.png", "Can not get setup idle time 20 min on pic\r\n"},
    {L"setup_idle_20min_off.png", "Can not get setup idle time 20 min off pic\r\n"},
    {L"setup_idle_30min_on.png", "Can not get setup idle time 30 min on pic\r\n"},
    {L"setup_idle_30min_off.png", "Can not get setup idle time 30 min off pic\r\n"},
    {L"setup_application_description.png", "Can not get setup app description pic\r\n"},
    {L"setup_AppDescription_Logo.png", "Can not get setup app description logo pic\r\n"},
    {L"setup_AppDescription_Bk.jpg", "Can not get setup app description background pic\r\n"},
    {L"setup_AppDescription_close.png", "Can not get setup app description close pic\r\n"},
    {L"setup_user_manual.png", "Can not get setup user manual pic\r\n"},
    {L"setup_GpsSet_bk.png", "Can not get setup GPS set background pic\r\n"},
    {L"setup_GpsSet_autoscan.png", "Can not get setup GPS set autoscan pic\r\n"},
    {L"setup_GpsSet_scanning.png", "Can not get setup GPS set scanning pic\r\n"},
    {L"setup_GpsSet_ok.png", "Can not get setup GPS set OK pic\r\n"},
    {L"setup_GpsSet_cancel.png", "Can not get setup GPS set cancel pic\r\n"},
};

constexpr int kMainEntries[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 24, 25};
// Each camera's "off" face is loaded before its "on" face.
constexpr int kSetupEntries[] = {26, 27, 29, 28, 31, 30, 33, 32, 34, 35, 36, 37, 38, 39, 40, 41, 42,
                                 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59,
                                 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74};
constexpr int kFirstSetupEntry = kSkinSetupBackground;

// Paths longer than this are refused rather than cut to another file's name.
constexpr size_t kMaxPath = 259;

bool Valid(int entry) { return entry >= 0 && entry < kSkinEntryCount; }

// The largest skin image is the large window's 800 x 800 background. A side
// of 4096 still takes a skin drawn at four times that resolution; an image
// beyond it (a damaged or hostile file: 30000 x 30000 decodes to 3.6 GB and
// is stretched again at every paint) is refused like a missing one.
constexpr UINT kMaxSkinSide = 4096;

bool SaneSize(Gdiplus::GpImage* image)
{
    UINT w = 0, h = 0;
    return image && fw::gp::GdipGetImageWidth(image, &w) == Gdiplus::Ok &&
           fw::gp::GdipGetImageHeight(image, &h) == Gdiplus::Ok && w >= 1 && h >= 1 && w <= kMaxSkinSide &&
           h <= kMaxSkinSide;
}

// Loads an image file, or nothing when it cannot be read or is too large.
fw::GpImagePtr LoadSaneImage(const std::wstring& path)
{
    Gdiplus::GpImage* raw = nullptr;
    if (path.size() <= kMaxPath)
        fw::gp::GdipLoadImageFromFile(path.c_str(), &raw);
    fw::GpImagePtr image(raw);
    if (!SaneSize(image.get()))
        image.reset();
    return image;
}

} // namespace

const wchar_t* SkinFileName(int entry)
{
    return Valid(entry) ? kSkinFiles[entry].file : nullptr;
}

int SkinEntryOf(GpsImage image)
{
    switch (image) {
    case GpsImage::Searching1: return kSkinGpsUnknown1;
    case GpsImage::Searching2: return kSkinGpsUnknown2;
    case GpsImage::Searching3: return kSkinGpsUnknown3;
    case GpsImage::Good: return kSkinGpsGood;
    case GpsImage::Off: return kSkinGpsOff;
    case GpsImage::Keep: break;
    }
    return -1;
}

void CSkinImages::Write(int entry)
{
    m_log.Write(kSkinFiles[entry].logLine, false);
}

void CSkinImages::LoadSkinImage(int entry, const std::wstring& folder)
{
    const wchar_t* file = SkinFileName(entry);
    if (file) {
        const std::wstring path = folder + L"\\" + file;
        if (entry == kSkinAppIcon || entry == kSkinTrayIcon) {
            LoadIcon(entry, path);
        } else {
            Slot& slot = m_slots[entry];
            slot.image = LoadSaneImage(path);
            slot.filled = true;
            if (!slot.image)
                Write(entry);
        }
    }
    m_log.Flush();
}

void CSkinImages::LoadIcon(int entry, const std::wstring& path)
{
    HICON icon = nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (path.size() <= kMaxPath && fw::gp::GdipCreateBitmapFromFile(path.c_str(), &bitmap) == Gdiplus::Ok) {
        const fw::GpImagePtr owned(bitmap);
        if (SaneSize(bitmap))
            fw::gp::GdipCreateHICONFromBitmap(bitmap, &icon);
    }
    if (!icon)
        Write(entry);
    if (entry == kSkinTrayIcon) {
        // The icon of an earlier load goes, unless the notification area
        // still shows it (KeepTrayIcon moved it out).
        m_hTrayIcon = icon;
        m_trayIcon.reset(icon);
        return;
    }
    m_hIcon = icon;
    if (icon && m_wnd) {
        ::SendMessageW(m_wnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        ::SendMessageW(m_wnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    // Without a new icon the window keeps showing the old one, so it stays.
    if (icon)
        m_windowIcon.reset(icon);
}

void CSkinImages::KeepTrayIcon() noexcept
{
    // The record is added once, so only the first icon is ever kept.
    if (!m_trayIconInUse)
        m_trayIconInUse = std::move(m_trayIcon);
}

void CSkinImages::LoadMainImages(const std::wstring& folder, const std::function<void()>& loadThumb)
{
    for (int entry : kMainEntries) {
        if (entry == kSkinThumb) {
            if (loadThumb)
                loadThumb();
        } else {
            LoadSkinImage(entry, folder);
        }
    }
}

void CSkinImages::LoadSetupImages(const std::wstring& folder)
{
    for (int entry : kSetupEntries)
        LoadSkinImage(entry, folder);
}

void CSkinImages::FreeSkinImages()
{
    for (Slot& slot : m_slots) {
        slot.image.reset();
        slot.filled = false;
    }
}

void CSkinImages::FreeSetupImages()
{
    for (int entry = kFirstSetupEntry; entry < kSkinEntryCount; ++entry) {
        m_slots[entry].image.reset();
        m_slots[entry].filled = false;
    }
}

Gdiplus::GpImage* CSkinImages::Image(int entry) const noexcept
{
    return Valid(entry) ? m_slots[entry].image.get() : nullptr;
}

bool CSkinImages::SlotFilled(int entry) const noexcept
{
    return Valid(entry) && m_slots[entry].filled;
}

} // namespace tamsel
