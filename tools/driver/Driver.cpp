#include "Driver.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "framework/Gdiplus.h"
#include "framework/Handles.h"

namespace tdrv {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::wstring ToWindowsPath(const std::string& path)
{
    std::wstring out;
    if (!path.empty() && path[0] == '/')
        out = L"Z:";
    for (char c : path)
        out += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(stepMs);
    }
}

// ---- debug strings ----------------------------------------------------------

DebugStrings::DebugStrings()
{
    const std::string path = Env("TAMSEL_DEBUG_LOG");
    if (!path.empty())
        m_path = ToWindowsPath(path);
}

size_t DebugStrings::Mark() const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (m_path.empty() || !::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<size_t>(data.nFileSizeLow) |
           (static_cast<size_t>(data.nFileSizeHigh) << 32);
}

namespace {

// Undoes the C-style escaping Wine applies to a traced string.
std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (i + 2 < s.size()) {
                out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            }
            break;
        default: out += c; break;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> DebugStrings::Since(size_t mark) const
{
    std::vector<std::string> out;
    if (m_path.empty())
        return out;
    // Wine keeps the file open for writing; read it shared.
    fw::FileHandle file(::CreateFileW(m_path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return out;
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(mark);
    ::SetFilePointerEx(file.get(), pos, nullptr, FILE_BEGIN);
    std::string text;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buf, sizeof buf, &got, nullptr) && got > 0)
        text.append(buf, got);
    static const std::string kTag = ":OutputDebugStringA \"";
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find(kTag);
        if (at == std::string::npos)
            continue;
        const size_t begin = at + kTag.size();
        const size_t end = line.rfind('"');
        if (end == std::string::npos || end < begin)
            continue;
        out.push_back(Unescape(line.substr(begin, end - begin)));
    }
    return out;
}

bool DebugStrings::Contains(const std::string& text, size_t mark) const
{
    const auto all = Since(mark);
    return std::find(all.begin(), all.end(), text) != all.end();
}

bool DebugStrings::WaitFor(const std::string& text, size_t mark, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Contains(text, mark); }, timeoutMs, 50);
}

// ---- processes --------------------------------------------------------------

Process::~Process()
{
    if (m_process)
        ::CloseHandle(m_process);
}

Process::Process(Process&& other) noexcept
    : m_process(std::exchange(other.m_process, nullptr)), m_pid(std::exchange(other.m_pid, 0))
{
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        if (m_process)
            ::CloseHandle(m_process);
        m_process = std::exchange(other.m_process, nullptr);
        m_pid = std::exchange(other.m_pid, 0);
    }
    return *this;
}

Process Process::Launch(const std::wstring& exe, const std::wstring& args)
{
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.empty())
        cmd += L" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Process p;
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return p;
    ::CloseHandle(pi.hThread);
    p.m_process = pi.hProcess;
    p.m_pid = pi.dwProcessId;
    return p;
}

bool Process::WaitExit(DWORD timeoutMs) const
{
    return !m_process || ::WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0;
}

void Process::Kill()
{
    if (m_process && !WaitExit(0)) {
        ::TerminateProcess(m_process, 1);
        WaitExit(5000);
    }
}

// ---- windows ----------------------------------------------------------------

HWND FindMainWindow() { return ::FindWindowW(L"Corvane_Camera_Class", nullptr); }

HWND WaitForMainWindow(DWORD timeoutMs)
{
    HWND wnd = nullptr;
    WaitUntil([&] { return (wnd = FindMainWindow()) != nullptr; }, timeoutMs);
    return wnd;
}

DWORD WindowPid(HWND wnd)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    return pid;
}

void KillStrayPrograms()
{
    for (int i = 0; i < 10; ++i) {
        HWND wnd = FindMainWindow();
        if (!wnd)
            return;
        fw::Handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, WindowPid(wnd)));
        if (!process)
            return;
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

namespace {

std::wstring WindowText(HWND wnd)
{
    const int n = ::GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(wnd, text.data(), n + 1)));
    return text;
}

struct BoxSearch {
    DWORD pid;
    std::vector<MessageBoxInfo> boxes;
};

BOOL CALLBACK CollectBox(HWND wnd, LPARAM param)
{
    auto& search = *reinterpret_cast<BoxSearch*>(param);
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (std::wstring(cls) != L"#32770" || !::IsWindowVisible(wnd))
        return TRUE;
    if (search.pid && WindowPid(wnd) != search.pid)
        return TRUE;
    HWND textItem = ::GetDlgItem(wnd, 0xFFFF); // a message box's text
    if (!textItem)
        return TRUE;
    MessageBoxInfo box;
    box.hwnd = wnd;
    box.owner = ::GetWindow(wnd, GW_OWNER);
    box.caption = WindowText(wnd);
    box.text = WindowText(textItem);
    search.boxes.push_back(box);
    return TRUE;
}

} // namespace

std::vector<MessageBoxInfo> FindMessageBoxes(DWORD pid)
{
    BoxSearch search{pid, {}};
    ::EnumWindows(&CollectBox, reinterpret_cast<LPARAM>(&search));
    std::reverse(search.boxes.begin(), search.boxes.end()); // bottom of the z-order first
    return search.boxes;
}

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeoutMs)
{
    std::optional<MessageBoxInfo> found;
    WaitUntil(
        [&] {
            auto boxes = FindMessageBoxes(pid);
            if (!boxes.empty())
                found = boxes.front();
            return found.has_value();
        },
        timeoutMs);
    return found;
}

bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId)
{
    HWND button = ::GetDlgItem(box.hwnd, buttonId);
    if (!button)
        return false;
    ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    return WaitUntil([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); }, 5000);
}

// ---- input ------------------------------------------------------------------

void SendKey(WORD vk, bool release)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    if (release)
        in.ki.dwFlags |= KEYEVENTF_KEYUP;
    if (vk >= VK_PRIOR && vk <= VK_DOWN)
        in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    ::SendInput(1, &in, sizeof in);
}

void TapKey(WORD vk)
{
    SendKey(vk, false);
    SendKey(vk, true);
}

namespace {

void SendMouse(int x, int y, DWORD flags)
{
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = x * 65535 / (w - 1);
    in.mi.dy = y * 65535 / (h - 1);
    in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    ::SendInput(1, &in, sizeof in);
}

} // namespace

void MouseMove(int x, int y)
{
    SendMouse(x, y, 0);
}

void MouseButton(int x, int y, bool down)
{
    SendMouse(x, y, down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
}

std::map<int, int> GdiObjectsByType(HANDLE process)
{
    // The table's entries as Wine lays them out: a free entry has type 0.
    struct Entry {
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type;
        UCHAR flags;
        UINT64 user;
    };
    static_assert(sizeof(Entry) == 24, "GDI handle entry");
    constexpr size_t kEntries = 0x10000;
    constexpr size_t kPebGdiTable = sizeof(void*) == 8 ? 0xF8 : 0x94;
    std::map<int, int> byType;
    PROCESS_BASIC_INFORMATION info{};
    ULONG len = 0;
    if (::NtQueryInformationProcess(process, ProcessBasicInformation, &info, sizeof info, &len) != 0 ||
        !info.PebBaseAddress)
        return byType;
    void* table = nullptr;
    SIZE_T got = 0;
    if (!::ReadProcessMemory(process, reinterpret_cast<const char*>(info.PebBaseAddress) + kPebGdiTable, &table,
                             sizeof table, &got) ||
        !table)
        return byType;
    std::vector<Entry> entries(kEntries);
    if (!::ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(Entry), &got))
        return byType;
    for (const Entry& e : entries)
        if (e.type)
            ++byType[e.type];
    return byType;
}

int CountGdiObjects(HANDLE process)
{
    if (const DWORD counted = ::GetGuiResources(process, GR_GDIOBJECTS))
        return static_cast<int>(counted);
    const std::map<int, int> byType = GdiObjectsByType(process);
    if (byType.empty())
        return -1;
    int total = 0;
    for (const auto& kv : byType)
        total += kv.second;
    return total;
}

uint64_t PrivateCommittedBytes(HANDLE process)
{
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* at = nullptr; ::VirtualQueryEx(process, at, &mbi, sizeof mbi) == sizeof mbi;
         at = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            total += mbi.RegionSize;
        if (mbi.RegionSize == 0)
            break;
    }
    return total;
}

ResourceCounts CountResources(HANDLE process)
{
    ResourceCounts c;
    c.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    c.user = ::GetGuiResources(process, GR_USEROBJECTS);
    ::GetProcessHandleCount(process, &c.handles);
    return c;
}

std::map<std::wstring, int> KernelHandlesByType(DWORD pid)
{
    struct Entry {
        PVOID object;
        ULONG_PTR pid;
        ULONG_PTR value;
        ULONG access;
        USHORT backTrace;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    std::vector<char> buf(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = ::NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(64), buf.data(),
                                                static_cast<ULONG>(buf.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L))
        buf.resize(buf.size() * 2);
    std::map<std::wstring, int> byType;
    if (status != 0)
        return byType;
    HANDLE process = ::OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
    std::map<int, std::wstring> names;
    const auto* table = reinterpret_cast<const Table*>(buf.data());
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        const Entry& e = table->entries[i];
        if (e.pid != pid)
            continue;
        if (!names.count(e.type)) {
            // Name the type from a copy of one of its handles.
            std::wstring name = L"type " + std::to_wstring(e.type);
            HANDLE copy = nullptr;
            if (process && ::DuplicateHandle(process, reinterpret_cast<HANDLE>(e.value), ::GetCurrentProcess(),
                                             &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
                char info[512] = {};
                ULONG len = 0;
                if (::NtQueryObject(copy, ObjectTypeInformation, info, sizeof info, &len) == 0) {
                    const auto* u = reinterpret_cast<const UNICODE_STRING*>(info);
                    name.assign(u->Buffer, u->Length / 2);
                }
                ::CloseHandle(copy);
            }
            names[e.type] = name;
        }
        ++byType[names[e.type]];
    }
    if (process)
        ::CloseHandle(process);
    return byType;
}

bool TrayIconExists(HWND wnd, UINT id)
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = wnd;
    nid.uID = id;
    return ::Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

// ---- screenshots ------------------------------------------------------------

bool EncoderClsid(const wchar_t* mimeType, CLSID& clsid)
{
    StartGdiplus();
    UINT count = 0, bytes = 0;
    if (fw::gp::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || !bytes)
        return false;
    std::vector<Gdiplus::ImageCodecInfo> codecs(bytes / sizeof(Gdiplus::ImageCodecInfo) + 1);
    if (fw::gp::GdipGetImageEncoders(count, bytes, codecs.data()) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wstring(codecs[i].MimeType) == mimeType) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

bool StartGdiplus()
{
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

Picture::Picture(const std::vector<uint8_t>& bytes)
{
    StartGdiplus();
    IStream* stream = ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    if (!stream)
        return;
    Gdiplus::GpImage* image = nullptr;
    if (fw::gp::GdipLoadImageFromStream(stream, &image) == Gdiplus::Ok)
        m_image = image;
    stream->Release();
}

Picture::~Picture()
{
    if (m_image)
        fw::gp::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(m_image));
}

unsigned Picture::Width() const
{
    UINT w = 0;
    fw::gp::GdipGetImageWidth(static_cast<Gdiplus::GpImage*>(m_image), &w);
    return w;
}

unsigned Picture::Height() const
{
    UINT h = 0;
    fw::gp::GdipGetImageHeight(static_cast<Gdiplus::GpImage*>(m_image), &h);
    return h;
}

uint32_t Picture::Pixel(int x, int y) const
{
    Gdiplus::ARGB argb = 0;
    fw::gp::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(m_image), x, y, &argb);
    return argb;
}

namespace {
int R(uint32_t c) { return (c >> 16) & 0xFF; }
int G(uint32_t c) { return (c >> 8) & 0xFF; }
int B(uint32_t c) { return c & 0xFF; }
} // namespace

bool IsRed(uint32_t c) { return R(c) > 150 && G(c) < 100 && B(c) < 100; }
bool IsGreen(uint32_t c) { return G(c) > 100 && R(c) < 80 && B(c) < 80; }
bool IsBlue(uint32_t c) { return B(c) > 150 && R(c) < 100 && G(c) < 100; }
bool IsBlack(uint32_t c) { return R(c) < 60 && G(c) < 60 && B(c) < 60; }

bool CaptureWindowToPng(HWND wnd, const std::wstring& pngPath)
{
    StartGdiplus();
    RECT r;
    if (wnd)
        ::GetWindowRect(wnd, &r);
    else
        r = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    fw::WindowDC screen(nullptr);
    HDC mem = ::CreateCompatibleDC(screen.get());
    fw::GdiObject bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
    HGDIOBJ old = ::SelectObject(mem, bitmap.get());
    ::BitBlt(mem, 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);

    Gdiplus::GpBitmap* image = nullptr;
    if (fw::gp::GdipCreateBitmapFromHBITMAP(static_cast<HBITMAP>(bitmap.get()), nullptr, &image) !=
        Gdiplus::Ok)
        return false;
    fw::GpImagePtr owned(image);
    CLSID png;
    return EncoderClsid(L"image/png", png) &&
           fw::gp::GdipSaveImageToFile(image, pngPath.c_str(), &png, nullptr) == Gdiplus::Ok;
}

ScreenPixels ScreenPixels::Capture(const RECT& r)
{
    ScreenPixels shot;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return shot;
    fw::WindowDC screen(nullptr);
    fw::MemoryDC mem(::CreateCompatibleDC(screen.get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::Bitmap dib(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!mem || !dib || !bits)
        return shot;
    {
        // Only what lies on the screen: a copy reaching past its edge gives
        // nothing at all under Wine. The rest stays black.
        RECT on{};
        const RECT screenRect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        auto restore = fw::SelectInto(mem.get(), dib.get());
        if (::IntersectRect(&on, &r, &screenRect) &&
            !::BitBlt(mem.get(), on.left - r.left, on.top - r.top, on.right - on.left, on.bottom - on.top,
                      screen.get(), on.left, on.top, SRCCOPY))
            return shot;
    }
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    shot.m_pixels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < shot.m_pixels.size(); ++i)
        shot.m_pixels[i] = p[i] & 0xFFFFFF;
    shot.m_width = w;
    shot.m_height = h;
    return shot;
}

ScreenPixels ScreenPixels::OfWindow(HWND wnd)
{
    RECT r{};
    if (!::GetWindowRect(wnd, &r))
        return {};
    return Capture(r);
}

uint32_t ScreenPixels::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    return m_pixels[static_cast<size_t>(y) * m_width + x];
}

bool ScreenPixels::SavePng(const std::wstring& pngPath) const
{
    StartGdiplus();
    if (Empty())
        return false;
    std::vector<uint32_t> opaque(m_pixels);
    for (uint32_t& p : opaque)
        p |= 0xFF000000u;
    Gdiplus::GpBitmap* image = nullptr;
    if (fw::gp::GdipCreateBitmapFromScan0(m_width, m_height, m_width * 4, PixelFormat32bppARGB,
                                          reinterpret_cast<BYTE*>(opaque.data()), &image) != Gdiplus::Ok)
        return false;
    fw::GpImagePtr owned(image);
    CLSID png;
    return EncoderClsid(L"image/png", png) && fw::gp::GdipSaveImageToFile(image, pngPath.c_str(), &png, nullptr) == Gdiplus::Ok;
}

namespace {

struct ControlSearch {
    HWND owner;
    int controlId;
    HWND found;
};

BOOL CALLBACK FindDialogWithControl(HWND wnd, LPARAM param)
{
    auto& search = *reinterpret_cast<ControlSearch*>(param);
    if (::GetWindow(wnd, GW_OWNER) == search.owner && ::IsWindowVisible(wnd) &&
        ::GetDlgItem(wnd, search.controlId)) {
        search.found = wnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND OwnedDialogWithControl(HWND owner, int controlId)
{
    if (!owner)
        return nullptr;
    ControlSearch search{owner, controlId, nullptr};
    ::EnumWindows(&FindDialogWithControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace tdrv
