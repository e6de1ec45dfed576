// Test driver: starts the program, finds its windows, posts messages, reads
// and answers message boxes, sends input, reads the program's debug strings
// and captures windows to PNG files. Used by the end-to-end tests and by the
// command-line tool tdriver.exe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tdrv {

// "/unix/path" as Wine's Z: drive path; Windows paths pass through unchanged.
std::wstring ToWindowsPath(const std::string& path);
// The value of an environment variable, empty when unset.
std::string Env(const char* name);

// Polls `done` every `stepMs` until it is true or `timeoutMs` has passed,
// dispatching this thread's messages meanwhile.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD stepMs = 20);

// Debug strings of every program of the Wine environment, as Wine writes them
// to its standard error (the file named by TAMSEL_DEBUG_LOG).
class DebugStrings {
public:
    DebugStrings();
    bool Available() const { return !m_path.empty(); }
    // A position to read from: only strings after it count.
    size_t Mark() const;
    std::vector<std::string> Since(size_t mark) const;
    bool Contains(const std::string& text, size_t mark) const;
    bool WaitFor(const std::string& text, size_t mark, DWORD timeoutMs) const;

private:
    std::wstring m_path;
};

class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `exe` with the command-line tail `args` (nothing when empty).
    static Process Launch(const std::wstring& exe, const std::wstring& args);

    explicit operator bool() const { return m_process != nullptr; }
    HANDLE Handle() const { return m_process; }
    DWORD Pid() const { return m_pid; }
    bool WaitExit(DWORD timeoutMs) const;
    bool Running() const { return m_process && !WaitExit(0); }
    void Kill();

private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

// The program's main window (by its class), or null.
HWND FindMainWindow();
// A visible top-level window that `owner` owns and that holds a control
// `controlId` (the setup dialog: 1015); null when there is none.
HWND OwnedDialogWithControl(HWND owner, int controlId);
HWND WaitForMainWindow(DWORD timeoutMs);
DWORD WindowPid(HWND wnd);
// Ends every process that owns a main window (left over from a failed test).
void KillStrayPrograms();

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
};
// Visible message boxes of process `pid` (every process when 0), oldest first.
std::vector<MessageBoxInfo> FindMessageBoxes(DWORD pid);
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeoutMs);
// Presses the box's button (OK by default) and waits until the box is gone.
bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId = IDOK);

// Keyboard input through SendInput, as a user's keyboard would give it.
void SendKey(WORD vk, bool release);
void TapKey(WORD vk);

// The mouse, through SendInput, at a point of the screen: moved there, and
// its left button pressed or released there.
void MouseMove(int x, int y);
void MouseButton(int x, int y, bool down);

// GDI and USER objects of a process (GetGuiResources) and its handle count.
struct ResourceCounts {
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD handles = 0;
};
ResourceCounts CountResources(HANDLE process);

// GDI objects a process holds: GetGuiResources where the system counts them;
// Wine answers 0 there, so the process's own GDI handle table (named by its
// PEB, filled per process by Wine) is counted instead. -1 when unreadable.
int CountGdiObjects(HANDLE process);
// The same table by object type (1 device context, 4 region, 5 bitmap,
// 8 palette, 9 pen, 10 font, 16 brush); empty where it cannot be read (on
// Windows the table is the whole session's).
std::map<int, int> GdiObjectsByType(HANDLE process);
// Committed private memory of a process, summed over its address space (Wine
// reports no private usage through GetProcessMemoryInfo).
uint64_t PrivateCommittedBytes(HANDLE process);

// Kernel handles of a process by object type name, from the system's handle
// table (Wine's GetProcessHandleCount gives 0).
std::map<std::wstring, int> KernelHandlesByType(DWORD pid);

// GDI+ started once for the whole process; false when it cannot start.
bool StartGdiplus();
// The GDI+ encoder of a MIME type ("image/png", "image/jpeg").
bool EncoderClsid(const wchar_t* mimeType, CLSID& clsid);

// Copies what the window shows on the screen into a PNG file.
bool CaptureWindowToPng(HWND wnd, const std::wstring& pngPath);

// What the screen shows in a rectangle, copied at one moment.
class ScreenPixels {
public:
    ScreenPixels() = default;
    // The rectangle in screen coordinates; empty when it cannot be copied.
    static ScreenPixels Capture(const RECT& screenRect);
    // A window's whole rectangle as the screen shows it.
    static ScreenPixels OfWindow(HWND wnd);
    bool Empty() const { return m_pixels.empty(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // 0x00RRGGBB at (x, y) of the rectangle; 0 outside it.
    uint32_t At(int x, int y) const;
    bool SavePng(const std::wstring& pngPath) const;

private:
    int m_width = 0, m_height = 0;
    std::vector<uint32_t> m_pixels;
};

// A picture file's bytes decoded with GDI+, an decoder independent of the
// program's own image code, for looking at pixels.
class Picture {
public:
    explicit Picture(const std::vector<uint8_t>& bytes);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    bool Valid() const { return m_image != nullptr; }
    unsigned Width() const;
    unsigned Height() const;
    uint32_t Pixel(int x, int y) const; // 0xAARRGGBB

private:
    void* m_image = nullptr;
};

// Rough colour classes of the virtual camera's corner marks.
bool IsRed(uint32_t argb);
bool IsGreen(uint32_t argb);
bool IsBlue(uint32_t argb);
bool IsBlack(uint32_t argb);

// Whether the notification-area icon (window, id) is in place: the shell
// accepts a modification only of an icon it has.
bool TrayIconExists(HWND wnd, UINT id);

} // namespace tdrv
