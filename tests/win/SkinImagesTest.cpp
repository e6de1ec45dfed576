// The skin loader with real files and GDI+: the setup set's order and log
// lines, what each free leaves, and the icons a reload replaces.
#include "snapshot/JpegEncoder.h"
#include "ui/SkinImages.h"

#include <cstring>
#include <string>
#include <vector>

#include "SandboxFixture.h"

namespace tamsel {
namespace {

namespace gp = Gdiplus::DllExports;

// A small picture written by GDI+'s own encoder, PNG or JPEG by its name.
bool WritePicture(const std::wstring& path)
{
    const bool jpeg = path.size() > 4 && path.compare(path.size() - 4, 4, L".jpg") == 0;
    CLSID clsid;
    if (CJpegEncoder::GetEncoderClsid(jpeg ? L"image/jpeg" : L"image/png", clsid) < 0)
        return false;
    std::vector<uint32_t> pixels(32 * 24, 0xFF3060C0u);
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(32, 24, 32 * 4, PixelFormat32bppARGB,
                                                reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Gdiplus::Ok)
        return false;
    fw::GpImagePtr owned(bitmap);
    return gp::GdipSaveImageToFile(bitmap, path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

bool IconAlive(HICON icon)
{
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info))
        return false;
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return true;
}

class SkinImagesTest : public test::SettingsSandbox {
protected:
    void SetUp() override
    {
        SettingsSandbox::SetUp();
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
        m_folder = test::TempFolder() + L"tamsel-skin-test";
        test::RemoveTree(m_folder);
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        m_log.Open(AppSettings());
        ASSERT_TRUE(m_log.IsOpen());
    }
    void TearDown() override
    {
        m_log.Close();
        test::RemoveTree(m_folder);
        Gdiplus::GdiplusShutdown(m_token);
        SettingsSandbox::TearDown();
    }

    // The log's lines of failed loads, as written (CR CR LF on disk).
    std::string FailureLines()
    {
        std::string bytes, lines;
        EXPECT_TRUE(test::ReadBytes(LogPath(), bytes));
        for (size_t at = bytes.find("Can not"); at != std::string::npos; at = bytes.find("Can not", at + 1))
            lines += bytes.substr(at, bytes.find('\n', at) + 1 - at);
        return lines;
    }

    ULONG_PTR m_token = 0;
    std::wstring m_folder;
    DebugLog m_log;
};

TEST_F(SkinImagesTest, SetupSetLoadsInItsOrderAndEachMissingFileSaysSo)
{
    CSkinImages skin(m_log);
    skin.LoadSetupImages(m_folder);
    EXPECT_EQ(FailureLines(), "Can not get setup background pic\r\r\n"
                              "Can not get setup close pic\r\r\n"
                              "Can not get setup camera 1 off pic\r\r\n"
                              "Can not get setup camera 1 on pic\r\r\n"
                              "Can not get setup camera 2 off pic\r\r\n"
                              "Can not get setup camera 2 on pic\r\r\n"
                              "Can not get setup camera 3 off pic\r\r\n"
                              "Can not get setup camera 3 on pic\r\r\n"
                              "Can not get setup resolution VGA on pic\r\r\n"
                              "Can not get setup resolution VGA off pic\r\r\n"
                              "Can not get setup resolution SVGA on pic\r\r\n"
                              "Can not get setup resolution SVGA off pic\r\r\n"
                              "Can not get setup resolution XVGA on pic\r\r\n"
                              "Can not get setup resolution XVGA off pic\r\r\n"
                              "Can not get setup resolution native on pic\r\r\n"
                              "Can not get setup resolution native off pic\r\r\n"
                              "Can not get setup preview 480*320 on pic\r\r\n"
                              "Can not get setup preview 480*320 off pic\r\r\n"
                              "Can not get setup preview 640*480 on pic\r\r\n"
                              "Can not get setup preview 640*480 off pic\r\r\n"
                              "Can not get setup geotagging on on pic\r\r\n"
                              "Can not get setup geotagging on off pic\r\r\n"
                              "Can not get setup geotagging off on pic\r\r\n"
                              "Can not get setup geotagging off off pic\r\r\n"
                              "Can not get setup geotagging set pic\r\r\n"
                              "Can not get setup flash on on pic\r\r\n"
                              "Can not get setup flash on off pic\r\r\n"
                              "Can not get setup flash off on pic\r\r\n"
                              "Can not get setup flash off off pic\r\r\n"
                              "Can not get setup idle time 5 min on pic\r\r\n"
                              "Can not get setup idle time 5 min off pic\r\r\n"
                              "Can not get setup idle time 10 min on pic\r\r\n"
                              "Can not get setup idle time 10 min off pic\r\r\n"
                              "Can not get setup idle time 15 min on pic\r\r\n"
                              "Can not get setup idle time 15 min off pic\r\r\n"
                              "Can not get setup idle time 20 min on pic\r\r\n"
                              "Can not get setup idle time 20 min off pic\r\r\n"
                              "Can not get setup idle time 30 min on pic\r\r\n"
                              "Can not get setup idle time 30 min off pic\r\r\n"
                              "Can not get setup app description pic\r\r\n"
                              "Can not get setup app description logo pic\r\r\n"
                              "Can not get setup app description background pic\r\r\n"
                              "Can not get setup app description close pic\r\r\n"
                              "Can not get setup user manual pic\r\r\n"
                              "Can not get setup GPS set background pic\r\r\n"
                              "Can not get setup GPS set autoscan pic\r\r\n"
                              "Can not get setup GPS set scanning pic\r\r\n"
                              "Can not get setup GPS set OK pic\r\r\n"
                              "Can not get setup GPS set cancel pic\r\r\n");
    for (int entry = kSkinSetupBackground; entry < kSkinEntryCount; ++entry) {
        EXPECT_TRUE(skin.SlotFilled(entry)) << entry;
        EXPECT_EQ(skin.Image(entry), nullptr) << entry;
    }
}

TEST_F(SkinImagesTest, EachFreeLeavesTheOtherSetLoaded)
{
    for (int entry = 0; entry < kSkinEntryCount; ++entry)
        if (SkinFileName(entry)) {
            ASSERT_TRUE(WritePicture(m_folder + L"\\" + SkinFileName(entry))) << entry;
        }
    CSkinImages skin(m_log);
    skin.LoadMainImages(m_folder, nullptr);
    skin.LoadSetupImages(m_folder);
    EXPECT_EQ(FailureLines(), "");
    auto loaded = [&](int from, int to) {
        int n = 0;
        for (int entry = from; entry < to; ++entry)
            n += skin.Image(entry) != nullptr;
        return n;
    };
    // 2..25 without the thumbnail and the unused 23; the icons have no slot.
    EXPECT_EQ(loaded(0, kSkinSetupBackground), 22);
    EXPECT_EQ(loaded(kSkinSetupBackground, kSkinEntryCount), 49); // the JPEG backgrounds too

    skin.FreeSetupImages();
    EXPECT_EQ(loaded(0, kSkinSetupBackground), 22);
    EXPECT_EQ(loaded(kSkinSetupBackground, kSkinEntryCount), 0);
    EXPECT_FALSE(skin.SlotFilled(kSkinSetupBackground));
    EXPECT_TRUE(skin.SlotFilled(kSkinBackground));

    skin.LoadSetupImages(m_folder);
    skin.FreeSkinImages();
    EXPECT_EQ(loaded(0, kSkinEntryCount), 0);
    EXPECT_FALSE(skin.SlotFilled(kSkinBackground));
}

TEST_F(SkinImagesTest, ReloadedIconsReplaceTheOldOnesExceptWhatIsStillShown)
{
    ASSERT_TRUE(WritePicture(m_folder + L"\\App.png"));
    ASSERT_TRUE(WritePicture(m_folder + L"\\small_task.png"));
    HWND wnd = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(wnd, nullptr);
    CSkinImages skin(m_log);
    skin.SetWindow(wnd);

    auto load = [&] {
        skin.LoadSkinImage(kSkinAppIcon, m_folder);
        skin.LoadSkinImage(kSkinTrayIcon, m_folder);
        return std::make_pair(skin.AppIcon(), skin.TrayIcon());
    };
    const auto first = load();
    ASSERT_TRUE(IconAlive(first.first));
    ASSERT_TRUE(IconAlive(first.second));
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(wnd, WM_GETICON, ICON_BIG, 0)), first.first);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(wnd, WM_GETICON, ICON_SMALL, 0)), first.first);
    skin.KeepTrayIcon(); // the notification area shows the first tray icon

    const auto second = load();
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(wnd, WM_GETICON, ICON_BIG, 0)), second.first);
    EXPECT_FALSE(IconAlive(first.first)) << "the window's old icon stays behind";
    EXPECT_TRUE(IconAlive(first.second)) << "the notification area's icon went";

    const auto third = load();
    EXPECT_FALSE(IconAlive(second.second)) << "an unused tray icon stays behind";
    EXPECT_TRUE(IconAlive(first.second));
    EXPECT_TRUE(IconAlive(third.second));

    // Without "App.png" the window keeps showing its icon, which must live.
    ASSERT_TRUE(::DeleteFileW((m_folder + L"\\App.png").c_str()));
    skin.LoadSkinImage(kSkinAppIcon, m_folder);
    EXPECT_EQ(skin.AppIcon(), nullptr);
    EXPECT_TRUE(IconAlive(third.first));
    EXPECT_EQ(FailureLines(), "Can not get AppIcon pic, so use default\r\r\n");
    ::DestroyWindow(wnd);
}

} // namespace
} // namespace tamsel
