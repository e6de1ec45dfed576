// A snapshot's Windows side on real files, real GDI+, real threads: the
// picture written under a temporary name and renamed when complete, a whole
// snapshot from a grabbed BMP image to the named JPEG file, the hand-over of
// its outcome to the window's thread, and the flash through the stand-in
// controller library.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SandboxFixture.h"
#include "framework/Debug.h"
#include "framework/Gdiplus.h"
#include "framework/Handles.h"
#include "framework/Messages.h"
#include "snapshot/FlashControl.h"
#include "snapshot/JpegEncoder.h"
#include "snapshot/Snapshot.h"
#include "snapshot/SnapshotWorker.h"

namespace tamsel {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::RemoveTree;
using test::TempFolder;

// Names in a folder, "." and ".." left out.
std::vector<std::wstring> FolderNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    fw::FindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

// A w x h 24-bit BMP file image, bottom-up rows padded to four bytes, made
// here byte by byte: a white page with a red top-left quarter.
std::vector<uint8_t> BmpImage(int w, int h)
{
    const int stride = (w * 3 + 3) & ~3;
    const uint32_t pixels = static_cast<uint32_t>(stride * h);
    std::vector<uint8_t> bmp(54 + pixels, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, pixels);
    for (int y = 0; y < h; ++y) {
        const int top = h - 1 - y; // bottom-up
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &bmp[54 + static_cast<size_t>(y) * stride + x * 3];
            const bool red = x < w / 2 && top < h / 2;
            p[0] = red ? 0 : 255;
            p[1] = red ? 0 : 255;
            p[2] = 255;
        }
    }
    return bmp;
}

class PictureFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = TempFolder() + L"tamsel-snapshot-test";
        RemoveTree(m_folder);
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(m_folder); }
    std::wstring m_folder;
};

// Runs a command line of the host (exiftool, exiv2: readers that share
// nothing with the program) and returns what it printed. Wine starts Unix
// programs named by their path directly.
std::string RunHostTool(const std::string& command)
{
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!toUnix)
        return "(not on Wine)";
    const std::wstring out = TempFolder() + L"tamsel-host-tool.txt";
    ::DeleteFileW(out.c_str());
    char* unixOut = toUnix(out.c_str());
    const std::string shell = command + " >'" + unixOut + "' 2>&1; mv '" + unixOut + "' '" + unixOut + ".done'";
    ::HeapFree(::GetProcessHeap(), 0, unixOut);
    std::wstring line = L"/bin/sh -c \"" + std::wstring(shell.begin(), shell.end()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return "(could not start /bin/sh)";
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    // A Unix child cannot be waited for: the shell renames the output when done.
    const std::wstring done = out + L".done";
    std::string text;
    for (int i = 0; i < 400 && !ReadBytes(done, text); ++i)
        ::Sleep(50);
    ::DeleteFileW(done.c_str());
    return text;
}

std::wstring UnixPathOf(const std::wstring& path)
{
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    const std::string s = unix ? unix : "";
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return std::wstring(s.begin(), s.end());
}

// Polls `done` every 20 ms until it holds or `ms` have passed.
template <typename Done>
bool WaitFor(Done done, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(20);
    }
    return true;
}

std::wstring TodaysName(int n)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t name[32];
    std::swprintf(name, 32, L"%02d-%02d-%02d-%04d.jpg", now.wYear - 2000, now.wMonth, now.wDay, n);
    return name;
}

using WritePictureFileTest = PictureFolder;

TEST_F(WritePictureFileTest, CompleteFileAppearsUnderItsNameOnly)
{
    const std::string bytes(300000, 'j');
    const std::wstring path = m_folder + L"\\26-03-09-0000.jpg";
    ASSERT_TRUE(WritePictureFile(m_folder, path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    std::string read;
    ASSERT_TRUE(ReadBytes(path, read));
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(FolderNames(m_folder), std::vector<std::wstring>{L"26-03-09-0000.jpg"});
}

TEST_F(WritePictureFileTest, FailedWriteLeavesNoFileBehind)
{
    const std::wstring path = m_folder + L"\\26-03-09-0000.jpg";
    // The medium fails half-way through the picture (a full disk, a drive
    // that went away): what was written must not pass for a picture.
    const bool ok = WritePictureFileWith(m_folder, path, [](HANDLE file) {
        const std::string half(100000, 'h');
        DWORD done = 0;
        ::WriteFile(file, half.data(), static_cast<DWORD>(half.size()), &done, nullptr);
        return false;
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(FolderNames(m_folder).empty()) << "a partial file was left behind";
}

TEST_F(WritePictureFileTest, NameTakenMeanwhileIsNeverOverwritten)
{
    const std::wstring path = m_folder + L"\\26-03-09-0000.jpg";
    ASSERT_TRUE(test::WriteBytes(path, "someone else's picture"));
    const std::string bytes(1000, 'j');
    EXPECT_FALSE(WritePictureFile(m_folder, path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    std::string read;
    ASSERT_TRUE(ReadBytes(path, read));
    EXPECT_EQ(read, "someone else's picture");
    EXPECT_EQ(FolderNames(m_folder), std::vector<std::wstring>{L"26-03-09-0000.jpg"});
}

TEST_F(WritePictureFileTest, TemporaryFileIsThisProcesssOwn)
{
    // Two copies of the program (one per desktop) may share the folder: the
    // file being written carries this process's id, so neither copy writes
    // into or renames the other's.
    wchar_t id[16];
    std::swprintf(id, 16, L"%08lX", static_cast<unsigned long>(::GetCurrentProcessId()));
    const std::wstring path = m_folder + L"\\26-03-09-0000.jpg";
    std::vector<std::wstring> during;
    ASSERT_TRUE(WritePictureFileWith(m_folder, path, [&](HANDLE file) {
        during = FolderNames(m_folder);
        DWORD done = 0;
        return ::WriteFile(file, "jpeg", 4, &done, nullptr) && done == 4;
    }));
    ASSERT_EQ(during.size(), 1u);
    const std::wstring temp = during[0];
    EXPECT_NE(temp.find(id), std::wstring::npos) << std::string(temp.begin(), temp.end());
    EXPECT_EQ(temp.substr(temp.size() - 4), L".tmp");
    EXPECT_LE(temp.size(), std::wstring(L"26-03-09-0000.jpg").size()) << "a folder with room for the picture has room for it";
    EXPECT_EQ(FolderNames(m_folder), std::vector<std::wstring>{L"26-03-09-0000.jpg"});
}

TEST_F(WritePictureFileTest, NameTakenBeforeTheRenameMovesThePictureToTheNextFreeName)
{
    struct Case {
        const char* what;
        int takenMeanwhile; // names another writer takes, one after the other, as they are chosen
        bool saved;
    };
    const Case cases[] = {
        {"the chosen name", 1, true},
        {"the chosen name and the next two", 3, true},
        {"every name, for ever", 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(m_folder);
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        std::wstring first;
        ASSERT_TRUE(MakePictureFileName(m_folder, first));
        EXPECT_EQ(first, m_folder + L"\\" + TodaysName(0));
        int taken = 0;
        auto takeName = [&](const std::wstring& name) {
            ++taken;
            EXPECT_TRUE(test::WriteBytes(name, "someone else's picture"));
        };
        // The other writer saves under the chosen name while this picture is
        // being written, and takes each further name as soon as it is chosen.
        std::wstring savedAs;
        const bool ok = WritePictureFileWith(
            m_folder, first,
            [&](HANDLE file) {
                takeName(first);
                DWORD done = 0;
                return ::WriteFile(file, "ours", 4, &done, nullptr) && done == 4;
            },
            [&](const std::wstring& was) -> std::optional<std::wstring> {
                EXPECT_TRUE(PathExists(was));
                std::wstring next;
                if (!MakePictureFileName(m_folder, next))
                    return std::nullopt;
                if (taken < c.takenMeanwhile)
                    takeName(next);
                return next;
            },
            &savedAs);
        EXPECT_EQ(ok, c.saved);
        const std::vector<std::wstring> names = FolderNames(m_folder);
        for (const std::wstring& name : names)
            EXPECT_EQ(name.find(L".tmp"), std::wstring::npos) << "left behind";
        if (!c.saved) {
            EXPECT_LE(taken, kPictureRenameAttempts + 1) << "the attempts are bounded";
            EXPECT_EQ(static_cast<int>(names.size()), taken);
            continue;
        }
        EXPECT_EQ(savedAs, m_folder + L"\\" + TodaysName(c.takenMeanwhile));
        std::string read;
        ASSERT_TRUE(ReadBytes(savedAs, read));
        EXPECT_EQ(read, "ours");
        for (int n = 0; n < c.takenMeanwhile; ++n) {
            ASSERT_TRUE(ReadBytes(m_folder + L"\\" + TodaysName(n), read));
            EXPECT_EQ(read, "someone else's picture") << n;
        }
        EXPECT_EQ(static_cast<int>(names.size()), c.takenMeanwhile + 1);
    }
}

TEST_F(WritePictureFileTest, NameWhoseAttributesCannotBeReadCountsAsTaken)
{
    // A link that points at itself: the system cannot say whether the name
    // holds a file (error 1921, not "not found"), so it may, and the name is
    // passed over rather than counted free.
    const std::wstring loop = m_folder + L"\\" + TodaysName(0);
    const std::wstring unixLoop = UnixPathOf(loop);
    if (unixLoop.empty())
        GTEST_SKIP() << "not on Wine";
    const std::string name(unixLoop.begin(), unixLoop.end());
    RunHostTool("ln -s '" + name + "' '" + name + "'");
    // Wine cannot remove such a link; the host does, whatever the outcome.
    struct Unlink {
        std::string name;
        ~Unlink() { RunHostTool("rm -f '" + name + "'"); }
    } unlink{name};
    ASSERT_EQ(::GetFileAttributesW(loop.c_str()), INVALID_FILE_ATTRIBUTES);
    const DWORD error = ::GetLastError();
    ASSERT_NE(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_NE(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    struct Case {
        std::wstring path;
        bool taken;
    };
    const Case cases[] = {
        {loop, true},
        {m_folder + L"\\" + TodaysName(1), false},                 // not found
        {m_folder + L"\\no folder\\" + TodaysName(1), false},      // path not found
        {m_folder, true},                                          // a folder
    };
    for (const Case& c : cases)
        EXPECT_EQ(PictureNameTaken(c.path), c.taken) << std::string(c.path.begin(), c.path.end());
    std::wstring chosen;
    ASSERT_TRUE(MakePictureFileName(m_folder, chosen));
    EXPECT_EQ(chosen, m_folder + L"\\" + TodaysName(1));
}


class SnapshotTest : public PictureFolder {
protected:
    void SetUp() override
    {
        PictureFolder::SetUp();
        ASSERT_TRUE(m_jpeg.StartGdiplus());
        ASSERT_TRUE(m_jpeg.InitJpegEncoder());
        m_settings.picFolder = m_folder + L"\\Pictures"; // missing: the snapshot makes it
        m_settings.appFolder = m_folder;
    }
    void TearDown() override
    {
        m_jpeg.Shutdown();
        PictureFolder::TearDown();
    }

    std::wstring Take(const std::vector<uint8_t>& grabbed, bool grabOk = true)
    {
        CSnapshot snapshot(
            m_jpeg,
            [&](std::vector<uint8_t>& image) {
                image = grabbed;
                return grabOk;
            },
            [] { return SGpsInfo{}; });
        snapshot.Prepare(m_settings);
        return snapshot.TakeSnapshot();
    }

    CJpegEncoder m_jpeg;
    SnapshotSettings m_settings;
};

TEST_F(SnapshotTest, GrabbedBmpBecomesTheDaysNextJpegInAFolderMadeForIt)
{
    const std::wstring path = Take(BmpImage(64, 48));
    EXPECT_EQ(path, m_settings.picFolder + L"\\" + TodaysName(0));
    std::string bytes;
    ASSERT_TRUE(ReadBytes(path, bytes));
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << "a JPEG file";
    EXPECT_EQ(FolderNames(m_settings.picFolder), std::vector<std::wstring>{TodaysName(0)});
    EXPECT_EQ(Take(BmpImage(64, 48)), m_settings.picFolder + L"\\" + TodaysName(1));
}

TEST_F(SnapshotTest, FailuresSaveNothing)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> grabbed;
        bool grabOk;
        std::wstring picFolder;
    };
    const std::wstring longFolder = m_folder + L"\\" + std::wstring(244 - m_folder.size(), L'x');
    ASSERT_TRUE(::CreateDirectoryW(longFolder.c_str(), nullptr) || PathExists(longFolder));
    const Case cases[] = {
        {"grab failed", BmpImage(8, 8), false, m_folder},
        {"no data", {}, true, m_folder},
        {"not a picture", std::vector<uint8_t>(500, 0x42), true, m_folder},
        // Too long for a name of at most 259 characters.
        {"folder too long", BmpImage(8, 8), true, longFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_settings.picFolder = c.picFolder;
        EXPECT_EQ(Take(c.grabbed, c.grabOk), L"");
        for (const std::wstring& name : FolderNames(c.picFolder))
            EXPECT_EQ(name.find(L".jpg"), std::wstring::npos) << "left behind: " << std::string(name.begin(), name.end());
    }
}


TEST_F(SnapshotTest, CurrentFixTagsThePictureAsExiftoolAndExiv2ReadIt)
{
    // 48 deg 8.0' N, 11 deg 34.5' E at 09:05:07 UTC on 2026-03-09.
    SGpsInfo fix;
    fix.nLatDeg = 48;
    fix.fLatMin = 8.0f;
    fix.fLatSec = 0.0f;
    fix.nLonDeg = 11;
    fix.fLonMin = 34.0f;
    fix.fLonSec = 30.0f;
    fix.tmUtc.tm_hour = 9;
    fix.tmUtc.tm_min = 5;
    fix.tmUtc.tm_sec = 7;
    fix.tmUtc.tm_mday = 9;
    fix.tmUtc.tm_mon = 2;
    fix.tmUtc.tm_year = 126;
    fix.bFixTaken = true;
    fix.bHasTime = true;
    fix.bHasDate = true;
    struct Case {
        const char* what;
        bool gpsOn;
        uint32_t age; // ms since the fix
        bool tagged;
    };
    const Case cases[] = {
        {"current fix", true, 1000, true},
        {"fix 180000 ms old", true, 180000, false},
        {"geotagging off", false, 1000, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_settings.gpsOn = c.gpsOn;
        CSnapshot snapshot(
            m_jpeg,
            [](std::vector<uint8_t>& image) {
                image = BmpImage(64, 48);
                return true;
            },
            [&] {
                SGpsInfo copy = fix;
                copy.dwFixTick = ::GetTickCount() - c.age;
                return copy;
            });
        snapshot.Prepare(m_settings);
        const std::wstring path = snapshot.TakeSnapshot();
        ASSERT_EQ(path, m_settings.picFolder + L"\\" + TodaysName(n++));
        const std::wstring unix = UnixPathOf(path);
        const std::string file(unix.begin(), unix.end());
        const std::string exiftool = RunHostTool("exiftool -a -s -s -n -GPS:all '" + file + "'");
        const std::string exiv2 = RunHostTool("exiv2 -pv '" + file + "'");
        if (!c.tagged) {
            EXPECT_EQ(exiftool, "");
            EXPECT_EQ(exiv2.find("GPSInfo"), std::string::npos) << exiv2;
            continue;
        }
        EXPECT_NE(exiftool.find("GPSLatitudeRef: N\n"), std::string::npos) << exiftool;
        EXPECT_NE(exiftool.find("GPSLatitude: 48.1333333"), std::string::npos) << exiftool;
        EXPECT_NE(exiftool.find("GPSLongitudeRef: E\n"), std::string::npos) << exiftool;
        EXPECT_NE(exiftool.find("GPSLongitude: 11.575\n"), std::string::npos) << exiftool;
        EXPECT_NE(exiftool.find("GPSTimeStamp: 09:05:07"), std::string::npos) << exiftool;
        EXPECT_NE(exiftool.find("GPSDateStamp: 2026:03:09"), std::string::npos) << exiftool;
        EXPECT_NE(exiv2.find("48/1 8/1 0/1\n"), std::string::npos) << exiv2;
        EXPECT_NE(exiv2.find("11/1 34/1 30/1\n"), std::string::npos) << exiv2;
        EXPECT_NE(exiv2.find("9/1 5/1 7/1\n"), std::string::npos) << exiv2;
    }
}

// The quantisation tables of a JPEG file as djpeg prints them: every entry of
// every table, and each component's sampling ("1hx1v").
struct DjpegTables {
    int tables = 0;
    std::vector<int> entries;
    std::vector<std::string> sampling;
};

DjpegTables TablesByDjpeg(const std::string& file)
{
    DjpegTables out;
    const std::string text = RunHostTool("djpeg -verbose -verbose -outfile /dev/null '" + file + "'");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.find("Define Quantization Table") != std::string::npos) {
            ++out.tables;
            for (int row = 0; row < 8 && at < text.size(); ++row) {
                end = text.find('\n', at);
                if (end == std::string::npos)
                    end = text.size();
                int v[8];
                const int got = std::sscanf(text.substr(at, end - at).c_str(), " %d %d %d %d %d %d %d %d", &v[0], &v[1],
                                            &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
                out.entries.insert(out.entries.end(), v, v + (got > 0 ? got : 0));
                at = end + 1;
            }
        }
        const size_t colon = line.find(": ");
        if (line.find("Component ") != std::string::npos && line.find(" q=") != std::string::npos &&
            colon != std::string::npos)
            out.sampling.push_back(line.substr(colon + 2, line.find(' ', colon + 2) - colon - 2));
    }
    return out;
}

TEST_F(SnapshotTest, PicturesCarryTheTablesOfQualityHundredAsDjpegReadsThem)
{
    if (UnixPathOf(m_folder).empty())
        GTEST_SKIP() << "djpeg is run through Wine's host";
    // The same page as the camera's JPEG, to go through the decoding path.
    std::vector<uint8_t> cameraJpeg;
    {
        const std::vector<uint8_t> bmp = BmpImage(64, 48);
        Gdiplus::GpBitmap* raw = nullptr;
        fw::gp::GdipCreateBitmapFromScan0(64, 48, -((64 * 3 + 3) & ~3), PixelFormat24bppRGB,
                                          const_cast<uint8_t*>(bmp.data()) + 54 + 47 * ((64 * 3 + 3) & ~3), &raw);
        fw::GpImagePtr page(raw);
        ASSERT_TRUE(page);
        ASSERT_TRUE(m_jpeg.EncodeJpeg(page.get(), cameraJpeg));
    }
    struct Case {
        const char* what;
        std::vector<uint8_t> grabbed;
        int width, height;
        int tolerance; // the camera's JPEG was itself encoded once already
    };
    const Case cases[] = {
        {"a BMP frame", BmpImage(64, 48), 64, 48, 4},
        {"an odd-sized BMP frame", BmpImage(37, 21), 37, 21, 4},
        {"a camera JPEG", cameraJpeg, 64, 48, 40},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The first picture of a process finds out what GDI+ does with the
        // quality; the second is taken knowing it.
        CJpegEncoder encoder;
        ASSERT_TRUE(encoder.StartGdiplus());
        ASSERT_TRUE(encoder.InitJpegEncoder());
        CSnapshot snapshot(
            encoder,
            [&](std::vector<uint8_t>& image) {
                image = c.grabbed;
                return true;
            },
            [] { return SGpsInfo{}; });
        for (int picture = 1; picture <= 2; ++picture) {
            SCOPED_TRACE(picture);
            snapshot.Prepare(m_settings);
            const std::wstring path = snapshot.TakeSnapshot();
            ASSERT_EQ(path, m_settings.picFolder + L"\\" + TodaysName(n++));
            const std::wstring unix = UnixPathOf(path);
            const std::string file(unix.begin(), unix.end());

            const DjpegTables t = TablesByDjpeg(file);
            EXPECT_GE(t.tables, 2);
            ASSERT_EQ(t.entries.size(), static_cast<size_t>(t.tables) * 64);
            EXPECT_EQ(std::count(t.entries.begin(), t.entries.end(), 1), static_cast<long>(t.entries.size()))
                << "quantisation tables of quality 100";

            // djpeg decodes the frame upright in its colours: the red quarter
            // top left, white elsewhere.
            const std::string pnm = RunHostTool("djpeg -pnm '" + file + "'");
            int w = 0, h = 0, max = 0, used = 0;
            ASSERT_EQ(std::sscanf(pnm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used), 3) << pnm.substr(0, 200);
            EXPECT_EQ(w, c.width);
            EXPECT_EQ(h, c.height);
            ASSERT_EQ(pnm.size(), static_cast<size_t>(used) + 1 + static_cast<size_t>(w) * h * 3);
            auto pixel = [&](int x, int y) {
                const auto* p = reinterpret_cast<const unsigned char*>(pnm.data() + used + 1 + (y * w + x) * 3);
                return std::vector<int>{p[0], p[1], p[2]};
            };
            auto within = [](std::vector<int> got, std::vector<int> want, int by) {
                for (int i = 0; i < 3; ++i)
                    if (std::abs(got[i] - want[i]) > by)
                        return false;
                return true;
            };
            EXPECT_TRUE(within(pixel(2, 2), {255, 0, 0}, c.tolerance)) << "red top left";
            EXPECT_TRUE(within(pixel(w - 3, 2), {255, 255, 255}, c.tolerance)) << "white top right";
            EXPECT_TRUE(within(pixel(2, h - 3), {255, 255, 255}, c.tolerance)) << "white bottom left";
        }
    }
}

// ---- the hand-over ----------------------------------------------------------

// A message-only window on this thread that hands the worker's messages to it,
// as the main window does.
class WindowThread {
public:
    explicit WindowThread(CSnapshotWorker& worker) : m_worker(worker)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &WindowThread::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SnapshotHandOverSink";
        ::RegisterClassW(&wc);
        m_wnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                  nullptr);
        ::SetWindowLongPtrW(m_wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~WindowThread() { ::DestroyWindow(m_wnd); }
    HWND Hwnd() const { return m_wnd; }
    void Request()
    {
        LRESULT r = 0;
        m_worker.OnMessage(UM_SNAPSHOT, 0, 0, r);
    }
    bool Pump(int completions, DWORD ms)
    {
        const DWORD start = ::GetTickCount();
        while (m_done < completions && ::GetTickCount() - start < ms) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return m_done >= completions;
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<WindowThread*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
        if (self && msg == UM_SNAPSHOT_DONE) {
            LRESULT r = 0;
            self->m_worker.OnMessage(msg, wp, lp, r);
            ++self->m_done;
            return 0;
        }
        if (self && msg == UM_FLASH_ERROR) {
            LRESULT r = 0;
            self->m_worker.OnMessage(msg, wp, lp, r);
            return 0;
        }
        return ::DefWindowProcW(wnd, msg, wp, lp);
    }
    CSnapshotWorker& m_worker;
    HWND m_wnd = nullptr;
    int m_done = 0;
};

TEST(SnapshotHandOver, OutcomeIsAppliedOnTheWindowThreadWithTheCompletion)
{
    CSnapshotWorker worker;
    WindowThread window(worker);
    const DWORD windowThread = ::GetCurrentThreadId();
    std::vector<std::wstring> list;        // touched by the window thread only
    std::vector<DWORD> appliedOn;
    std::atomic<int> attempts{0};
    std::atomic<DWORD> preparedOn{0};
    worker.OnRequestAccepted([&] { preparedOn = ::GetCurrentThreadId(); });
    ASSERT_EQ(worker.StartSnapshotWorker(window.Hwnd(),
                                         [&] {
                                             // Every other attempt fails and hands nothing over.
                                             const int n = ++attempts;
                                             if (n % 2 == 1)
                                                 worker.HandOver([&, n] {
                                                     appliedOn.push_back(::GetCurrentThreadId());
                                                     list.push_back(L"picture " + std::to_wstring(n));
                                                 });
                                         }),
              CSnapshotWorker::StartResult::kStarted);
    for (int i = 1; i <= 4; ++i) {
        window.Request();
        EXPECT_EQ(preparedOn.load(), windowThread) << "the settings are copied on the window thread";
        ASSERT_TRUE(window.Pump(i, 10000));
        EXPECT_FALSE(worker.Busy());
    }
    EXPECT_EQ(list, (std::vector<std::wstring>{L"picture 1", L"picture 3"}))
        << "each outcome applied once, failures apply nothing";
    EXPECT_EQ(appliedOn, (std::vector<DWORD>{windowThread, windowThread}));
    worker.StopSnapshotWorker();
}

// ---- the flash ----------------------------------------------------------------

class FlashControlTest : public PictureFolder {
protected:
    void SetUp() override
    {
        PictureFolder::SetUp();
        wchar_t exe[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring build(exe);
        build.resize(build.rfind(L"\\tests\\win\\"));
        m_library = build + L"\\tools\\acamsim\\full\\ACamDll.dll";
        m_noExportLibrary = build + L"\\tools\\acamsim\\noexport\\ACamDll.dll";
        if (!PathExists(m_library))
            GTEST_SKIP() << "no stand-in library beside the build";
    }
    std::string Record()
    {
        std::string text;
        ReadBytes(m_folder + L"\\ACamDll.rec", text);
        // Without the ticks: "ALC_ProcWriteToISP 0x20 1 0xC5|...".
        std::string calls;
        size_t at = 0;
        while (at < text.size()) {
            const size_t end = text.find("\r\n", at);
            const std::string line = text.substr(at, end - at);
            calls += line.substr(line.find(' ') + 1) + "|";
            at = end == std::string::npos ? text.size() : end + 2;
        }
        return calls;
    }
    std::wstring m_library;
    std::wstring m_noExportLibrary;
};

TEST_F(FlashControlTest, OnAndOffWriteTheRegistersAroundTheReadValue)
{
    ASSERT_TRUE(::CopyFileW(m_library.c_str(), (m_folder + L"\\ACamDll.dll").c_str(), FALSE));
    const CFlashControl flash(m_folder, nullptr);
    EXPECT_TRUE(flash.SetFlash(true));
    EXPECT_EQ(Record(), "ALC_Initialization|ALC_ProcReadFromISP 0x20 1 -> 0x85|ALC_ProcWriteToISP 0x20 1 0xC5|"
                        "ALC_ProcWriteToISP 0x22 1 0x4F|ALC_UnInitialization|");
    ::DeleteFileW((m_folder + L"\\ACamDll.rec").c_str());
    EXPECT_TRUE(flash.SetFlash(false));
    EXPECT_EQ(Record(), "ALC_Initialization|ALC_ProcReadFromISP 0x20 1 -> 0xC5|ALC_ProcWriteToISP 0x20 1 0x85|"
                        "ALC_ProcWriteToISP 0x22 1 0x0F|ALC_UnInitialization|");
    // Unloaded after each switch: the file can go.
    EXPECT_TRUE(::DeleteFileW((m_folder + L"\\ACamDll.dll").c_str()));
}

TEST_F(FlashControlTest, LibraryIsLoadedFromTheApplicationFolderOnly)
{
    // A library of that name elsewhere on the search path (here: the current
    // folder) is never taken.
    ASSERT_TRUE(::CopyFileW(m_library.c_str(), (m_folder + L"\\ACamDll.dll").c_str(), FALSE));
    const std::wstring appFolder = m_folder + L"\\app";
    ASSERT_TRUE(::CreateDirectoryW(appFolder.c_str(), nullptr));
    wchar_t oldDir[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, oldDir);
    ::SetCurrentDirectoryW(m_folder.c_str());
    const bool switched = CFlashControl(appFolder, nullptr).SetFlash(true);
    ::SetCurrentDirectoryW(oldDir);
    EXPECT_FALSE(switched);
    EXPECT_EQ(Record(), "") << "no call reached a library outside the application folder";
}

// The message boxes of this process: each one seen is noted and answered
// with OK, from a thread of the watcher's own.
class BoxWatcher {
public:
    struct Box {
        DWORD thread;
        std::wstring caption, text;
    };
    BoxWatcher()
    {
        m_quit.Create(fw::Event::kManualReset);
        m_thread.reset(::CreateThread(nullptr, 0, &BoxWatcher::Run, this, 0, nullptr));
    }
    ~BoxWatcher()
    {
        m_quit.Set();
        ::WaitForSingleObject(m_thread.get(), 5000);
    }
    std::vector<Box> Seen()
    {
        auto guard = m_lock.Acquire();
        return m_seen;
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        auto* me = static_cast<BoxWatcher*>(self);
        while (!me->m_quit.Wait(20))
            ::EnumWindows(&BoxWatcher::OnWindow, reinterpret_cast<LPARAM>(me));
        return 0;
    }
    static BOOL CALLBACK OnWindow(HWND wnd, LPARAM self)
    {
        DWORD pid = 0;
        const DWORD thread = ::GetWindowThreadProcessId(wnd, &pid);
        wchar_t cls[32] = {};
        ::GetClassNameW(wnd, cls, 32);
        if (pid != ::GetCurrentProcessId() || std::wstring(cls) != L"#32770" || !::IsWindowVisible(wnd))
            return TRUE;
        wchar_t caption[64] = {}, text[128] = {};
        ::GetWindowTextW(wnd, caption, 64);
        ::GetDlgItemTextW(wnd, 0xFFFF, text, 128); // a message box's text
        auto* me = reinterpret_cast<BoxWatcher*>(self);
        {
            auto guard = me->m_lock.Acquire();
            me->m_seen.push_back({thread, caption, text});
        }
        ::PostMessageW(wnd, WM_COMMAND, IDOK, 0);
        ::Sleep(200); // the box goes before it is looked for again
        return TRUE;
    }
    fw::Lock m_lock;
    std::vector<Box> m_seen;
    fw::Event m_quit;
    fw::Handle m_thread;
};

TEST_F(FlashControlTest, LibraryErrorBoxIsShownByTheWindowThreadNotByTheWorker)
{
    // A box on the worker, owned by the main window, would hold the worker
    // while the window thread may be waiting for it at the end.
    ASSERT_TRUE(::CopyFileW(m_noExportLibrary.c_str(), (m_folder + L"\\ACamDll.dll").c_str(), FALSE));
    BoxWatcher boxes;
    CSnapshotWorker worker;
    WindowThread window(worker);
    std::atomic<bool> switched{true};
    ASSERT_EQ(worker.StartSnapshotWorker(window.Hwnd(),
                                         [&] { switched = CFlashControl(m_folder, window.Hwnd()).SetFlash(true); }),
              CSnapshotWorker::StartResult::kStarted);
    window.Request();
    ASSERT_TRUE(window.Pump(1, 10000));
    EXPECT_FALSE(switched.load());
    ASSERT_TRUE(WaitFor([&] { return !boxes.Seen().empty(); }, 5000)) << "no box at all";
    const std::vector<BoxWatcher::Box> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].thread, ::GetCurrentThreadId()) << "the box belongs to the window thread";
    EXPECT_EQ(seen[0].caption, fw::AppName());
    EXPECT_EQ(seen[0].text, L"Get process error");
    worker.StopSnapshotWorker();
}

DWORD WINAPI StopWorker(void* worker)
{
    static_cast<CSnapshotWorker*>(worker)->StopSnapshotWorker();
    return 0;
}

TEST_F(FlashControlTest, StopEndsALongFlashWaitAtOnceAndTheLampGoesOff)
{
    ASSERT_TRUE(::CopyFileW(m_library.c_str(), (m_folder + L"\\ACamDll.dll").c_str(), FALSE));
    CJpegEncoder jpeg; // never reached: no grab follows the stop
    std::atomic<int> grabs{0};
    CSnapshot snapshot(
        jpeg,
        [&](std::vector<uint8_t>& image) {
            ++grabs;
            image = BmpImage(8, 8);
            return true;
        },
        [] { return SGpsInfo{}; });
    CSnapshotWorker worker;
    WindowThread window(worker);
    SnapshotSettings s;
    s.flashOn = true;
    s.cameraHasFlash = true;
    s.flashWaitTime = 600000; // bounded to 5 s
    s.audioThreashold = -1;   // any volume makes the flash fire
    s.picFolder = m_folder;
    s.appFolder = m_folder;
    s.owner = window.Hwnd();
    worker.OnRequestAccepted([&] {
        s.stop = worker.StopEvent();
        snapshot.Prepare(s);
    });
    ASSERT_EQ(worker.StartSnapshotWorker(window.Hwnd(), [&] { snapshot.TakeSnapshot(); }),
              CSnapshotWorker::StartResult::kStarted);
    window.Request();
    // The switch-on cycle is in the record: the worker is in its wait.
    const std::string on = "ALC_Initialization|ALC_ProcReadFromISP 0x20 1 -> 0x85|ALC_ProcWriteToISP 0x20 1 0xC5|"
                           "ALC_ProcWriteToISP 0x22 1 0x4F|ALC_UnInitialization|";
    ASSERT_TRUE(WaitFor([&] { return Record() == on; }, 5000)) << Record();

    const DWORD asked = ::GetTickCount();
    fw::Handle stopper(::CreateThread(nullptr, 0, &StopWorker, &worker, 0, nullptr));
    ASSERT_TRUE(stopper);
    ASSERT_EQ(::WaitForSingleObject(stopper.get(), 15000), static_cast<DWORD>(WAIT_OBJECT_0));
    const DWORD took = ::GetTickCount() - asked;
    std::printf("[ measure  ] stop during a 5 s flash wait: %lu ms\n", static_cast<unsigned long>(took));
    EXPECT_EQ(grabs.load(), 0) << "the wait ran out and the grab followed";
    EXPECT_LT(took, 2500u) << "the end waited for the flash";
    EXPECT_EQ(Record(), on + "ALC_Initialization|ALC_ProcReadFromISP 0x20 1 -> 0xC5|ALC_ProcWriteToISP 0x20 1 0x85|"
                             "ALC_ProcWriteToISP 0x22 1 0x0F|ALC_UnInitialization|")
        << "the lamp is switched off after the stop";
}

TEST(CheckCameraFlash, EntriesMatchAnyPartOfTheNameInAnyCase)
{
    const std::string name = "@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\TamselVcam0001";
    struct Case {
        std::vector<std::wstring> entries;
        bool has;
    };
    const Case cases[] = {
        {{L"tamselvcam0001"}, true},
        {{L"OTHER", L"vcam000"}, true},
        {{L"TamselVcam0002"}, false},
        {{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckCameraFlash(name, c.entries), c.has) << (c.entries.empty() ? "(empty)" : std::string(c.entries[0].begin(), c.entries[0].end()));
}

TEST(CheckCameraFlash, NamesOfAPathBufferOrLongerAreComparedCutNotEmpty)
{
    // A moniker name as long as a path buffer or longer (a USB path with a
    // long serial number) is compared by its first 259 characters: "tailmark"
    // ends at the 259th, "beyondit" follows it.
    const std::string head = "@device:pnp:\\\\?\\usb#vid_1b3f&pid_2247&mi_00#";
    auto name = [&](size_t length) {
        std::string n = head + std::string(259 - head.size() - 8, 'x') + "tailmark";
        if (length > n.size())
            n += ("beyondit" + std::string(length, 'y')).substr(0, length - n.size());
        return n;
    };
    struct Case {
        size_t length;
        const wchar_t* entry;
        bool has;
    };
    const Case cases[] = {
        {259, L"VID_1B3F&PID_2247", true}, {259, L"TAILMARK", true}, {259, L"BEYONDIT", false},
        {260, L"VID_1B3F&PID_2247", true}, {260, L"TAILMARK", true},
        {300, L"VID_1B3F&PID_2247", true}, {300, L"TAILMARK", true}, {300, L"BEYONDIT", false},
        {5000, L"TAILMARK", true},         {5000, L"BEYONDIT", false},
    };
    for (const Case& c : cases) {
        const std::string n = name(c.length);
        ASSERT_EQ(n.size(), c.length);
        EXPECT_EQ(CheckCameraFlash(n, {c.entry}), c.has)
            << c.length << " characters, " << std::string(c.entry, c.entry + wcslen(c.entry));
    }
}

} // namespace
} // namespace tamsel
