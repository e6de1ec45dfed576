// Snapshots of the real program with virtual cameras: the files in My
// Pictures and their names, the picture list saved with the settings, the
// JPEG as independent tools read it, the flash through the stand-in
// controller library, and a long run.
#include "Fixture.h"
#include "GpsSim.h"

#include <shlobj.h>

#include "framework/Gdiplus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace e2e {
namespace {

constexpr UINT kCaptureButton = 1008;

vcam::DeviceConfig Camera(std::vector<vcam::Format> formats, bool ignoreTrigger = false)
{
    vcam::DeviceConfig c;
    c.friendlyName = L"Snap";
    c.formats = std::move(formats);
    c.ignoreTrigger = ignoreTrigger;
    return c;
}
vcam::Format Yuy2(int w, int h) { return {vcam::Subtype::YUY2, w, h}; }

std::wstring PicturesFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring TodaysName(int n)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t name[32];
    std::swprintf(name, 32, L"%02d-%02d-%02d-%04d.jpg", now.wYear - 2000, now.wMonth, now.wDay, n);
    return name;
}

std::vector<std::wstring> FolderNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void EmptyFolder(const std::wstring& folder)
{
    for (const std::wstring& name : FolderNames(folder)) {
        const std::wstring path = folder + L"\\" + name;
        // The program reads a new picture once more for its thumbnail right
        // after saving it: a file still open there is deleted a moment later.
        if (!tdrv::WaitUntil([&] { return ::DeleteFileW(path.c_str()) || ::GetLastError() != ERROR_SHARING_VIOLATION; },
                             3000))
            continue;
        if (FileExists(path))
            ::RemoveDirectoryW(path.c_str());
    }
}

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// The Unix path of a file of the prefix, for the tools below.
std::string UnixPath(const std::wstring& path)
{
    using Fn = char*(__cdecl*)(const wchar_t*);
    static const auto toUnix =
        reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!toUnix)
        return {};
    char* unix = toUnix(path.c_str());
    std::string out = unix ? unix : "";
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

// Runs a shell command line of the host (djpeg, exiftool, exiv2: decoders
// that share nothing with the program) and returns what it printed. Wine
// starts Unix programs named by their path directly.
std::string RunHostTool(const std::string& command)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring out = std::wstring(temp) + L"tamsel-tool-out.txt";
    const std::wstring done = out + L".done";
    ::DeleteFileW(done.c_str());
    const std::string unixOut = UnixPath(out);
    // The shell renames the output once the tool has ended: a Unix child is
    // not a process Wine can wait for.
    const std::string shell = command + " >'" + unixOut + "' 2>&1; mv '" + unixOut + "' '" + unixOut + ".done'";
    std::wstring line = L"/bin/sh -c \"" + std::wstring(shell.begin(), shell.end()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return "(could not start /bin/sh)";
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    if (!tdrv::WaitUntil([&] { return FileExists(done); }, 30000, 20))
        return "(the tool did not finish)";
    const std::string text = ReadFile(done);
    ::DeleteFileW(done.c_str());
    return text;
}

// Whether this system's GDI+ JPEG encoder honours its quality parameter: a
// small page encoded at quality 10 and at 100 must differ. (Wine 8's encoder
// ignores it and always writes libjpeg's quality-75 tables.)
bool EncoderHonoursQuality()
{
    namespace gp = Gdiplus::DllExports;
    CLSID jpeg{};
    if (!tdrv::EncoderClsid(L"image/jpeg", jpeg))
        return false;
    std::vector<uint8_t> pixels(32 * 32 * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 37);
    Gdiplus::GpBitmap* bitmap = nullptr;
    gp::GdipCreateBitmapFromScan0(32, 32, 96, PixelFormat24bppRGB, pixels.data(), &bitmap);
    auto encode = [&](ULONG quality) {
        Gdiplus::EncoderParameters params;
        params.Count = 1;
        params.Parameter[0].Guid = Gdiplus::EncoderQuality;
        params.Parameter[0].NumberOfValues = 1;
        params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
        params.Parameter[0].Value = &quality;
        IStream* stream = nullptr;
        ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        gp::GdipSaveImageToStream(bitmap, stream, &jpeg, &params);
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
        stream->Release();
        return bytes;
    };
    const bool honours = bitmap && encode(10) != encode(100);
    gp::GdipDisposeImage(bitmap);
    return honours;
}

// Mean brightness (0..255) of a picture, sampled on a grid.
double MeanBrightness(const std::vector<uint8_t>& bytes)
{
    const tdrv::Picture p(bytes);
    if (!p.Valid())
        return -1;
    double sum = 0;
    int n = 0;
    for (unsigned y = 0; y < p.Height(); y += 4)
        for (unsigned x = 0; x < p.Width(); x += 4) {
            const uint32_t c = p.Pixel(static_cast<int>(x), static_cast<int>(y));
            sum += ((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF)) / 3.0;
            ++n;
        }
    return n ? sum / n : -1;
}

std::vector<uint8_t> Bytes(const std::wstring& path)
{
    const std::string text = ReadFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Where the corner marks of the camera's page are in a w x h frame.
struct Marks {
    int left, right, top, bottom;
    Marks(int w, int h)
    {
        const int u = w < h ? w : h;
        const int m = u / 32 > 2 ? u / 32 : 2;
        const int s = u / 8 > 6 ? u / 8 : 6;
        left = m + s / 2;
        right = w - m - s / 2;
        top = m + s / 2;
        bottom = h - m - s / 2;
    }
};

class SnapshotTest : public TamselTest {
protected:
    void SetUp() override
    {
        TamselTest::SetUp();
        m_pictures = PicturesFolder();
        ::CreateDirectoryW(m_pictures.c_str(), nullptr);
        EmptyFolder(m_pictures);
        vcam::SetFlashLit(false);
        vcam::SetFlashWarmUp(0);
    }
    void TearDown() override
    {
        TamselTest::TearDown();
        EmptyFolder(m_pictures);
        ::DeleteFileW(m_pictures.c_str()); // a test may have put a file in its place
        ::CreateDirectoryW(m_pictures.c_str(), nullptr);
        vcam::SetFlashLit(false);
        vcam::SetFlashWarmUp(0);
    }

    std::wstring Path(int n) const { return m_pictures + L"\\" + TodaysName(n); }

    // Waits for a picture file to appear complete (renamed into place).
    bool WaitPicture(const std::wstring& path, DWORD ms = 15000)
    {
        return tdrv::WaitUntil([&] { return FileExists(path); }, ms, 20);
    }
    // Waits until the worker has started its n-th snapshot since the start.
    bool WaitExecuted(int n, DWORD ms = 15000)
    {
        return tdrv::WaitUntil([&] { return CountTrace("Execute snapshot\n") >= n; }, ms, 20);
    }
    // Waits until the window has taken in the n-th snapshot's outcome: only
    // then does a request start a new one (the picture's file is there
    // before).
    bool WaitDone(int n, DWORD ms = 15000)
    {
        return tdrv::WaitUntil([&] { return CountTrace("Snapshot done\n") >= n; }, ms, 20);
    }
    std::vector<std::wstring> Jpegs()
    {
        std::vector<std::wstring> out;
        for (const std::wstring& name : FolderNames(m_pictures))
            if (name.size() > 4 && name.compare(name.size() - 4, 4, L".jpg") == 0)
                out.push_back(name);
        return out;
    }
    // Hides the window, which saves the settings with the picture list.
    void SaveByClosing()
    {
        ::DeleteFileW(ReserveIni().c_str());
        const size_t mark = m_traces.Mark();
        Post(WM_CLOSE);
        ASSERT_TRUE(WaitVisible(false));
        ASSERT_TRUE(WaitSaved(mark));
    }
    // A snapshot by the capture button; the new picture's bytes.
    std::vector<uint8_t> Snap(int n)
    {
        const int done = CountTrace("Snapshot done\n");
        Post(WM_COMMAND, kCaptureButton);
        EXPECT_TRUE(WaitPicture(Path(n))) << Narrow(Path(n));
        EXPECT_TRUE(WaitDone(done + 1));
        return Bytes(Path(n));
    }

    std::wstring m_pictures;
};

TEST_F(SnapshotTest, BothTriggersTakeTheDaysNextFreeNamesAndTheListFollows)
{
    AddCamera(0, Camera({Yuy2(640, 480)}));
    ASSERT_TRUE(::CopyFileW(L"C:\\windows\\win.ini", Path(0).c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(L"C:\\windows\\win.ini", Path(2).c_str(), FALSE));
    StartOpen();

    Post(UM_SNAPSHOT);
    ASSERT_TRUE(WaitPicture(Path(1)));
    ASSERT_TRUE(WaitDone(1));
    Post(WM_COMMAND, kCaptureButton);
    ASSERT_TRUE(WaitPicture(Path(3)));
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(Jpegs(), (std::vector<std::wstring>{TodaysName(0), TodaysName(1), TodaysName(2), TodaysName(3)}));
    EXPECT_EQ(CountTrace("Execute snapshot\n"), 2);
    WIN32_FIND_DATAW temp;
    const HANDLE leftover = ::FindFirstFileW((m_pictures + L"\\*.tmp").c_str(), &temp);
    EXPECT_EQ(leftover, INVALID_HANDLE_VALUE) << "a temporary file was left behind";
    if (leftover != INVALID_HANDLE_VALUE)
        ::FindClose(leftover);

    SaveByClosing();
    EXPECT_EQ(IniValue(ReserveIni(), "Total"), "2");
    EXPECT_EQ(IniValue(ReserveIni(), "Cur"), "1");
    EXPECT_EQ(IniValue(ReserveIni(), "file0"), Narrow(Path(1)));
    EXPECT_EQ(IniValue(ReserveIni(), "file1"), Narrow(Path(3)));
}

TEST_F(SnapshotTest, ThumbnailShowsTheNewPicture)
{
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartOpen();
    const HWND thumb = ::GetDlgItem(Main(), 1029);
    auto colouredPixels = [&] {
        const tdrv::ScreenPixels shot = tdrv::ScreenPixels::OfWindow(thumb);
        int n = 0;
        for (int y = 0; y < shot.Height(); ++y)
            for (int x = 0; x < shot.Width(); ++x) {
                const uint32_t c = shot.At(x, y);
                n += ((c >> 16) & 0xFF) != ((c >> 8) & 0xFF) || ((c >> 8) & 0xFF) != (c & 0xFF);
            }
        return n;
    };
    ASSERT_EQ(colouredPixels(), 0) << "an empty list shows the black box";
    Snap(0);
    EXPECT_TRUE(tdrv::WaitUntil([&] { return colouredPixels() > 100; }, 5000))
        << "the camera's coloured page, small, on the thumbnail button";
}

TEST_F(SnapshotTest, RequestsDuringASnapshotAreDroppedAndTheNextOneWorks)
{
    // The flash is wanted for this camera but its library is missing: the
    // snapshot still waits FlashWaitTime, which keeps it running meanwhile.
    WriteIni(SetupIni(), L"App_Setting", L"Flsah_on", L"1");
    WriteIni(SetupIni(), L"App_Setting", L"FlashWaitTime", L"2500");
    WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", L"TamselVcam0000");
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartOpen();

    const DWORD asked = ::GetTickCount();
    Post(UM_SNAPSHOT);
    ASSERT_TRUE(WaitExecuted(1));
    Post(UM_SNAPSHOT);
    Post(WM_COMMAND, kCaptureButton);
    Post(UM_SNAPSHOT);
    ASSERT_TRUE(WaitPicture(Path(0)));
    // The sleep was taken although there was no library to switch.
    EXPECT_GE(::GetTickCount() - asked, 2500u);
    std::string wanted = "Can not find " + Narrow(tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE")));
    wanted.replace(wanted.rfind('\\') + 1, std::string::npos, "ACamDll.dll\n");
    EXPECT_TRUE(WaitTrace(wanted)) << wanted;
    ::Sleep(3500); // a queued request would have run by now
    EXPECT_EQ(CountTrace("Execute snapshot\n"), 1);
    EXPECT_EQ(Jpegs(), std::vector<std::wstring>{TodaysName(0)});

    Post(UM_SNAPSHOT);
    EXPECT_TRUE(WaitPicture(Path(1))) << "a request after the completion works";
}

// Each mode gives the frame's size, upright, encoded at quality 100, and no GPS
// item while no fix is current (geotagging on, no receiver; and off).
TEST_F(SnapshotTest, PictureIsTheUprightFrameAtQualityHundredWithoutGpsItems)
{
    struct Case {
        const char* mode;
        std::vector<vcam::Format> formats;
        int width, height;
        const wchar_t* geotagging;
    };
    const Case cases[] = {
        {"preview frame", {Yuy2(640, 480)}, 640, 480, L"1"},
        {"still pin", {Yuy2(640, 480), Yuy2(2592, 1944)}, 2592, 1944, L"0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        AddCamera(0, Camera(c.formats));
        WriteIni(SetupIni(), L"App_Setting", L"Geotagging", c.geotagging);
        StartOpen();
        const std::vector<uint8_t> bytes = Snap(0);
        const std::string file = UnixPath(Path(0));

        // djpeg decodes it to the frame's size.
        const std::string pnm = RunHostTool("djpeg -pnm '" + file + "' | head -c 20");
        char magic[3] = {};
        int w = 0, h = 0;
        ASSERT_EQ(std::sscanf(pnm.c_str(), "%2s %d %d", magic, &w, &h), 3) << pnm;
        EXPECT_STREQ(magic, "P6");
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);

        // Quality 100: every entry of every quantisation table is 1.
        const std::string verbose = RunHostTool("djpeg -verbose -verbose -outfile /dev/null '" + file + "'");
        int tables = 0, entries = 0, ones = 0;
        size_t at = 0;
        while ((at = verbose.find("Define Quantization Table", at)) != std::string::npos) {
            ++tables;
            size_t line = verbose.find('\n', at) + 1;
            for (int row = 0; row < 8; ++row) {
                const size_t end = verbose.find('\n', line);
                std::string text = verbose.substr(line, end - line);
                int v[8];
                const int got = std::sscanf(text.c_str(), " %d %d %d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3],
                                            &v[4], &v[5], &v[6], &v[7]);
                for (int i = 0; i < got; ++i) {
                    ++entries;
                    ones += v[i] == 1;
                }
                line = end + 1;
            }
            at = line;
        }
        EXPECT_GE(tables, 2) << verbose.substr(0, 2000);
        EXPECT_EQ(entries, tables * 64);
        // Wherever the program runs, also where GDI+ ignores the quality.
        EXPECT_EQ(ones, entries) << "quantisation tables of quality 100\n" << verbose.substr(0, 3000);
        if (!EncoderHonoursQuality()) {
            EXPECT_TRUE(WaitTrace("GDI+ ignored the JPEG quality: the picture is encoded again\n"));
        }

        // Upright: the red square top left, the black bar bottom right.
        const tdrv::Picture p(bytes);
        ASSERT_TRUE(p.Valid());
        const Marks m(c.width, c.height);
        EXPECT_TRUE(tdrv::IsRed(p.Pixel(m.left, m.top))) << std::hex << p.Pixel(m.left, m.top);
        EXPECT_TRUE(tdrv::IsGreen(p.Pixel(m.right, m.top)));
        EXPECT_TRUE(tdrv::IsBlue(p.Pixel(m.left, m.bottom)));
        EXPECT_TRUE(tdrv::IsBlack(p.Pixel(m.right, m.bottom)));

        // No fix: no GPS IFD at all.
        EXPECT_EQ(RunHostTool("exiftool -a -s -s -GPS:all '" + file + "'"), "");
        const std::string exiv2 = RunHostTool("exiv2 -pa '" + file + "'");
        EXPECT_EQ(exiv2.find("Exif.GPSInfo"), std::string::npos) << exiv2;

        EXPECT_TRUE(QuitProgram());
        EmptyFolder(m_pictures);
        ::DeleteFileW(SetupIni().c_str());
        vcam::DeleteAllDevices();
    }
}

TEST_F(SnapshotTest, UnwritablePictureFolderLeavesNoPictureAndTheListUnchanged)
{
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartOpen();
    Snap(0);

    // A file where the picture folder should be: nothing can be written there.
    EmptyFolder(m_pictures);
    ASSERT_TRUE(::RemoveDirectoryW(m_pictures.c_str()));
    ASSERT_TRUE(::CopyFileW(L"C:\\windows\\win.ini", m_pictures.c_str(), FALSE));
    const size_t mark = m_traces.Mark();
    Post(WM_COMMAND, kCaptureButton);
    ASSERT_TRUE(m_traces.WaitFor("Save pic error\n", mark, 15000));
    ASSERT_TRUE(WaitDone(2));
    ExpectNoBox(200);

    // Writable again: the folder is made anew and the next snapshot works.
    ASSERT_TRUE(::DeleteFileW(m_pictures.c_str()));
    Post(WM_COMMAND, kCaptureButton);
    ASSERT_TRUE(WaitPicture(Path(0))) << "the folder is created for the picture";
    ASSERT_TRUE(WaitDone(3));
    EXPECT_EQ(Jpegs(), std::vector<std::wstring>{TodaysName(0)}) << "nothing else with a picture's name";

    SaveByClosing();
    // The first picture (its file since deleted) and the last one; nothing of
    // the failed attempt.
    EXPECT_EQ(IniValue(ReserveIni(), "Total"), "2");
    EXPECT_EQ(IniValue(ReserveIni(), "file0"), Narrow(Path(0)));
    EXPECT_EQ(IniValue(ReserveIni(), "file1"), Narrow(Path(0)));
    EXPECT_EQ(IniValue(ReserveIni(), "file2"), "");
}

TEST_F(SnapshotTest, PrunedListIsSavedAtStartUp)
{
    const std::wstring kept = Path(7);
    ASSERT_TRUE(::CopyFileW(L"C:\\windows\\win.ini", kept.c_str(), FALSE));
    WriteIni(ReserveIni(), L"Pic", L"Total", L"3");
    WriteIni(ReserveIni(), L"Pic", L"Cur", L"2");
    WriteIni(ReserveIni(), L"Pic", L"file0", (m_pictures + L"\\gone-1.jpg").c_str());
    WriteIni(ReserveIni(), L"Pic", L"file1", kept.c_str());
    WriteIni(ReserveIni(), L"Pic", L"file2", (m_pictures + L"\\gone-2.jpg").c_str());
    AddCamera(0, Camera({Yuy2(640, 480)}));
    Start(L"-h"); // hidden: only the posted save writes the file
    ASSERT_TRUE(WaitSaved(m_mark)) << ReadFile(ReserveIni());
    EXPECT_EQ(IniValue(ReserveIni(), "Cur"), "0");
    EXPECT_EQ(IniValue(ReserveIni(), "file0"), Narrow(kept));
    EXPECT_EQ(IniValue(ReserveIni(), "file1"), "");
    EXPECT_TRUE(Visible() == false);
}

// ---- geotagging -------------------------------------------------------------------

// A simulated receiver with a fix on the program's GPS port (runs under
// tools/gpssim/with-gpssim.sh, as the GPS tests do).
class SnapshotGpsTest : public SnapshotTest {
protected:
    void SetUp() override
    {
        SnapshotTest::SetUp();
        ASSERT_TRUE(m_sim.Available()) << "no simulator: run under tools/gpssim/with-gpssim.sh";
        ASSERT_TRUE(m_sim.Add(kPort, "fix"));
        WriteIni(SetupIni(), L"App_Setting", L"Geotagging", L"1");
        WriteIni(SetupIni(), L"App_Setting", L"GPSComport", std::to_wstring(kPort).c_str());
    }
    static constexpr int kPort = 62;
    gpssim::Client m_sim;
};

TEST_F(SnapshotGpsTest, PictureTakenWithACurrentFixCarriesItsPosition)
{
    // The receiver reports 53 deg 21.68020' N, 6 deg 30.33930' W on 2009-12-09;
    // the fix record holds whole seconds of arc (40 and 19).
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartOpen();
    ASSERT_TRUE(WaitTrace("GPS icon GPS_good.png\n", 20000)) << "no fix";
    Snap(0);
    const std::string file = UnixPath(Path(0));
    const std::string exiftool = RunHostTool("exiftool -a -s -s -n -GPS:all '" + file + "'");
    EXPECT_NE(exiftool.find("GPSLatitudeRef: N\n"), std::string::npos) << exiftool;
    EXPECT_NE(exiftool.find("GPSLatitude: 53.3611111"), std::string::npos) << exiftool;
    EXPECT_NE(exiftool.find("GPSLongitudeRef: W\n"), std::string::npos) << exiftool;
    EXPECT_NE(exiftool.find("GPSLongitude: 6.5052777"), std::string::npos) << exiftool;
    EXPECT_NE(exiftool.find("GPSDateStamp: 2009:12:09\n"), std::string::npos) << exiftool;
    EXPECT_NE(exiftool.find("GPSTimeStamp: "), std::string::npos) << exiftool;
    const std::string exiv2 = RunHostTool("exiv2 -pv '" + file + "'");
    EXPECT_NE(exiv2.find("53/1 21/1 40/1\n"), std::string::npos) << exiv2;
    EXPECT_NE(exiv2.find("6/1 30/1 19/1\n"), std::string::npos) << exiv2;
    EXPECT_EQ(tdrv::Picture(Bytes(Path(0))).Width(), 640u) << "the tagged file still decodes";
}

// ---- the flash ------------------------------------------------------------------

// The program runs from a folder of the prefix with the stand-in library
// beside it (the library is taken from the application folder only).
class FlashTest : public SnapshotTest {
protected:
    void SetUp() override
    {
        SnapshotTest::SetUp();
        m_appFolder = L"C:\\tamsel-flash";
        RemoveAppFolder();
        ASSERT_TRUE(::CreateDirectoryW(m_appFolder.c_str(), nullptr));
        const std::wstring exe = tdrv::ToWindowsPath(tdrv::Env("TAMSEL_EXE"));
        m_buildFolder = exe.substr(0, exe.rfind(L'\\'));
        ASSERT_TRUE(::CopyFileW(exe.c_str(), (m_appFolder + L"\\Tamsel.exe").c_str(), FALSE));
        WriteIni(SetupIni(), L"App_Setting", L"Flsah_on", L"1");
        WriteIni(SetupIni(), L"App_Setting", L"FlashWaitTime", L"300");
    }
    void TearDown() override
    {
        SnapshotTest::TearDown();
        RemoveAppFolder();
    }
    void RemoveAppFolder()
    {
        EmptyFolder(m_appFolder);
        ::RemoveDirectoryW(m_appFolder.c_str());
    }
    // "full" or "noexport".
    void InstallLibrary(const wchar_t* variant)
    {
        const std::wstring dll = m_buildFolder + L"\\tools\\acamsim\\" + variant + L"\\ACamDll.dll";
        ASSERT_TRUE(::CopyFileW(dll.c_str(), (m_appFolder + L"\\ACamDll.dll").c_str(), FALSE))
            << Narrow(dll);
    }
    void StartApp()
    {
        m_mark = m_traces.Mark();
        m_app = tdrv::Process::Launch(m_appFolder + L"\\Tamsel.exe", L"-h");
        ASSERT_TRUE(m_app);
        ASSERT_TRUE(tdrv::WaitForMainWindow(10000));
        ASSERT_TRUE(tdrv::WaitUntil([] { return tdrv::TrayIconExists(tdrv::FindMainWindow(), kTrayIconId); }, 10000));
        Post(UM_EXTERN_CLICK);
        ASSERT_TRUE(WaitVisible(true));
    }
    // The library's calls without their ticks, "|" after each.
    std::string Calls()
    {
        std::string calls;
        for (const auto& c : TimedCalls())
            calls += c.second + "|";
        return calls;
    }
    std::vector<std::pair<DWORD, std::string>> TimedCalls()
    {
        std::vector<std::pair<DWORD, std::string>> calls;
        const std::string text = ReadFile(m_appFolder + L"\\ACamDll.rec");
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(at, end - at);
            const size_t space = line.find(' ');
            calls.emplace_back(std::strtoul(line.c_str(), nullptr, 10), line.substr(space + 1));
            at = end + 2;
        }
        return calls;
    }

    std::wstring m_appFolder, m_buildFolder;
};

const char kOnCycle[] = "ALC_Initialization|ALC_ProcReadFromISP 0x20 1 -> 0x85|ALC_ProcWriteToISP 0x20 1 0xC5|"
                        "ALC_ProcWriteToISP 0x22 1 0x4F|ALC_UnInitialization|";
const char kOffCycle[] = "ALC_Initialization|ALC_ProcReadFromISP 0x20 1 -> 0xC5|ALC_ProcWriteToISP 0x20 1 0x85|"
                         "ALC_ProcWriteToISP 0x22 1 0x0F|ALC_UnInitialization|";

TEST_F(FlashTest, ListedCameraInAnotherLetterCaseIsLitForTheGrab)
{
    // The stand-in's register 0x20 starts at 0x85 (its default).
    WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", L"tamselvcam0000");
    InstallLibrary(L"full");
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartApp();

    const std::vector<uint8_t> lit = Snap(0);
    EXPECT_EQ(Calls(), std::string(kOnCycle) + kOffCycle);
    const auto calls = TimedCalls();
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_GE(calls[5].first - calls[3].first, 300u) << "the wait lies between on and off";

    // Without the flash the same page is darker.
    Post(UM_SET_FLASH, 0);
    const std::vector<uint8_t> dark = Snap(1);
    EXPECT_EQ(TimedCalls().size(), 10u) << "no flash, no library call";
    const double litMean = MeanBrightness(lit), darkMean = MeanBrightness(dark);
    std::printf("mean brightness: flash %.1f, no flash %.1f\n", litMean, darkMean);
    EXPECT_GT(litMean, darkMean + 10);
    EXPECT_TRUE(tdrv::IsRed(tdrv::Picture(dark).Pixel(Marks(640, 480).left, Marks(640, 480).top)));
}

TEST_F(FlashTest, XpReadsTheSpeakersMixerVolume)
{
    // On XP the level is the speakers line's raw mixer volume; Wine's mixer on
    // the null output plays at a volume above 0, so the flash fires.
    SetWindowsVersion(L"winxp64");
    WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", L"TamselVcam0000");
    InstallLibrary(L"full");
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartApp();
    Snap(0);
    EXPECT_EQ(Calls(), std::string(kOnCycle) + kOffCycle);
}

TEST_F(FlashTest, WaitLetsTheLightShowBeforeTheGrab)
{
    // The light needs 600 ms to show in the frames: a wait of 1200 ms catches
    // it, no wait does not.
    vcam::SetFlashWarmUp(600);
    WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", L"TamselVcam0000");
    WriteIni(SetupIni(), L"App_Setting", L"FlashWaitTime", L"1200");
    InstallLibrary(L"full");
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartApp();
    const double waited = MeanBrightness(Snap(0));
    QuitProgram();
    WriteIni(SetupIni(), L"App_Setting", L"FlashWaitTime", L"0");
    StartApp();
    const double hurried = MeanBrightness(Snap(1));
    std::printf("mean brightness: waited %.1f, no wait %.1f\n", waited, hurried);
    EXPECT_GT(waited, hurried + 10);
    EXPECT_EQ(Calls(), std::string(kOnCycle) + kOffCycle + kOnCycle + kOffCycle);
}

TEST_F(FlashTest, FailedGrabStillSwitchesTheFlashOff)
{
    // Still-pin mode on a camera that ignores the trigger: the grab fails.
    WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", L"TamselVcam0000");
    InstallLibrary(L"full");
    AddCamera(0, Camera({Yuy2(640, 480), Yuy2(2592, 1944)}, true));
    StartApp();
    Post(WM_COMMAND, kCaptureButton);
    ASSERT_TRUE(WaitTrace("No frame for the still capture\n", 20000));
    ASSERT_TRUE(tdrv::WaitUntil([&] { return Calls().size() >= std::strlen(kOnCycle) + std::strlen(kOffCycle); }, 5000));
    EXPECT_EQ(Calls(), std::string(kOnCycle) + kOffCycle);
    EXPECT_FALSE(vcam::FlashShowsInFrames()) << "the light is off";
    EXPECT_TRUE(Jpegs().empty());
}

TEST_F(FlashTest, LibraryWithoutAnExportShowsTheBoxAndTheSnapshotGoesOn)
{
    WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", L"TamselVcam0000");
    InstallLibrary(L"noexport");
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartApp();
    Post(WM_COMMAND, kCaptureButton);
    ExpectBox(L"Tamsel", L"Get process error");
    EXPECT_TRUE(WaitPicture(Path(0))) << "taken without the flash";
    EXPECT_EQ(Calls(), "") << "no export is called, no switch-off is tried";
    // The library was unloaded: its file can be replaced.
    EXPECT_TRUE(::DeleteFileW((m_appFolder + L"\\ACamDll.dll").c_str()));
}

TEST_F(FlashTest, UnlistedCameraOrQuietComputerMakesNoCallsAndNoWait)
{
    struct Case {
        const char* what;
        const wchar_t* dev1;
        const wchar_t* audioThreashold;
    };
    // The null audio endpoint plays at full volume (level 100); WMI has no
    // brightness under Wine (0). A threshold of 100 makes the computer quiet.
    const Case cases[] = {
        {"camera not listed", L"SomeOtherCamera", L"0"},
        {"stealth", L"TamselVcam0000", L"100"},
    };
    WriteIni(SetupIni(), L"App_Setting", L"FlashWaitTime", L"30000");
    InstallLibrary(L"full");
    AddCamera(0, Camera({Yuy2(640, 480)}));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteIni(SetupIni(), L"FlashSupportDev", L"Dev1", c.dev1);
        WriteIni(SetupIni(), L"StealMode", L"AudioThreashold", c.audioThreashold);
        StartApp();
        // A fired flash would have waited (30 s, taken as its bound of 5 s)
        // and made its calls; no calls show it never fired.
        Post(WM_COMMAND, kCaptureButton);
        EXPECT_TRUE(WaitPicture(Path(n++), 15000));
        EXPECT_EQ(Calls(), "");
        EXPECT_TRUE(QuitProgram());
    }
}

// ---- a long run ------------------------------------------------------------------

int TotalHandles(DWORD pid)
{
    int n = 0;
    for (const auto& kv : KernelHandlesByType(pid))
        n += kv.second;
    return n;
}

TEST_F(SnapshotTest, FiveHundredSnapshotsKeepTheNewestHundredAndLeakNothing)
{
    AddCamera(0, Camera({Yuy2(640, 480)}));
    StartOpen();
    constexpr int kWarmUp = 20, kTotal = 500;
    int taken = 0;
    auto snapUntil = [&](int count) {
        for (; taken < count; ++taken) {
            const int done = CountTrace("Snapshot done\n");
            Post(WM_COMMAND, kCaptureButton);
            if (!WaitPicture(Path(taken)) || !WaitDone(done + 1)) {
                std::printf("snapshot %d did not arrive\n", taken);
                return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(snapUntil(kWarmUp)); // first-use allocations settle
    ::Sleep(300);
    const uint64_t memoryBefore = tdrv::PrivateCommittedBytes(m_app.Handle());
    const int handlesBefore = TotalHandles(m_app.Pid());
    const tdrv::ResourceCounts before = tdrv::CountResources(m_app.Handle());
    ASSERT_TRUE(snapUntil(kTotal));
    ::Sleep(300);
    const uint64_t memoryAfter = tdrv::PrivateCommittedBytes(m_app.Handle());
    const int handlesAfter = TotalHandles(m_app.Pid());
    const tdrv::ResourceCounts after = tdrv::CountResources(m_app.Handle());
    std::printf("private bytes %zu -> %zu, handles %d -> %d\n", static_cast<size_t>(memoryBefore),
                static_cast<size_t>(memoryAfter), handlesBefore, handlesAfter);

    EXPECT_EQ(Jpegs().size(), static_cast<size_t>(kTotal));
    ASSERT_GT(memoryBefore, 0u) << "the private bytes must be readable";
    EXPECT_LE(memoryAfter, memoryBefore + 2 * 1024 * 1024);
    EXPECT_LE(handlesAfter, handlesBefore);
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);

    SaveByClosing();
    EXPECT_EQ(IniValue(ReserveIni(), "Total"), "100");
    EXPECT_EQ(IniValue(ReserveIni(), "Cur"), "99");
    EXPECT_EQ(IniValue(ReserveIni(), "file0"), Narrow(Path(kTotal - 100)));
    EXPECT_EQ(IniValue(ReserveIni(), "file99"), Narrow(Path(kTotal - 1)));
}

} // namespace
} // namespace e2e
