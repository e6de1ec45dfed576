// tdriver: the test driver from a shell, for scripts and for looking at the
// program by hand.
//   tdriver find                      print the main window handle
//   tdriver post MSG [WPARAM LPARAM]  post a message (numbers, 0x.. allowed) to it
//   tdriver boxes                     list visible message boxes: caption|text
//   tdriver answer [BUTTON]           press a button (default OK) of the first box
//   tdriver key VK [down|up|tap]      send a key with SendInput
//   tdriver capture FILE.png [main]   capture the screen or the main window
//   tdriver press ID [MS]             click button ID of the main window, or of
//                                     a window it owns (the setup dialog), waiting
//                                     up to MS (default 5000) for one to have it
//   tdriver quit [MS]                 ask the program to end (WM_USER+170) and wait
//                                     up to MS (default 15000) for its process to go:
//                                     0 gone, 1 no program, 3 still running
#include <cstdio>
#include <cwchar>
#include <string>

#include "Driver.h"
#include "framework/Handles.h"
#include "framework/Messages.h"

namespace {

unsigned long Number(const wchar_t* text) { return std::wcstoul(text, nullptr, 0); }

int Usage()
{
    std::fputs("usage: tdriver find | post MSG [WPARAM LPARAM] | boxes | answer [BUTTON] |"
               " key VK [down|up|tap] | capture FILE.png [main] | press ID [MS] | quit [MS]\n",
               stderr);
    return 2;
}

// The visible window, `main` or one it owns, that has a control `id`.
HWND WindowWithControl(HWND main, int id)
{
    if (::IsWindowVisible(main) && ::GetDlgItem(main, id))
        return main;
    return tdrv::OwnedDialogWithControl(main, id);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    const std::wstring cmd = argv[1];
    HWND main = tdrv::FindMainWindow();
    if (cmd == L"find") {
        if (!main)
            return 1;
        std::printf("%p\n", static_cast<void*>(main));
        return 0;
    }
    if (cmd == L"post" && argc >= 3) {
        if (!main)
            return 1;
        const WPARAM wp = argc > 3 ? Number(argv[3]) : 0;
        const LPARAM lp = argc > 4 ? static_cast<LPARAM>(Number(argv[4])) : 0;
        return PostMessageW(main, static_cast<UINT>(Number(argv[2])), wp, lp) ? 0 : 1;
    }
    if (cmd == L"boxes") {
        for (const auto& box : tdrv::FindMessageBoxes(0))
            std::printf("%ls|%ls\n", box.caption.c_str(), box.text.c_str());
        return 0;
    }
    if (cmd == L"answer") {
        const auto boxes = tdrv::FindMessageBoxes(0);
        if (boxes.empty())
            return 1;
        return tdrv::AnswerMessageBox(boxes.front(), argc > 2 ? static_cast<int>(Number(argv[2])) : IDOK)
                   ? 0 : 1;
    }
    if (cmd == L"key" && argc >= 3) {
        const WORD vk = static_cast<WORD>(Number(argv[2]));
        const std::wstring how = argc > 3 ? argv[3] : L"tap";
        if (how == L"down" || how == L"up")
            tdrv::SendKey(vk, how == L"up");
        else
            tdrv::TapKey(vk);
        return 0;
    }
    if (cmd == L"capture" && argc >= 3) {
        const bool ofMain = argc > 3 && std::wstring(argv[3]) == L"main";
        return tdrv::CaptureWindowToPng(ofMain ? main : nullptr, argv[2]) ? 0 : 1;
    }
    if (cmd == L"press" && argc >= 3) {
        const int id = static_cast<int>(Number(argv[2]));
        const DWORD ms = argc > 3 ? Number(argv[3]) : 5000;
        HWND owner = nullptr;
        if (!main || !tdrv::WaitUntil([&] { return (owner = WindowWithControl(main, id)) != nullptr; }, ms))
            return 1;
        return ::PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(::GetDlgItem(owner, id)))
                   ? 0 : 1;
    }
    if (cmd == L"quit") {
        if (!main)
            return 1;
        const DWORD ms = argc > 2 ? Number(argv[2]) : 15000;
        // Opened before the post, so the process cannot be gone and its id
        // reused in between.
        fw::Handle process(::OpenProcess(SYNCHRONIZE, FALSE, tdrv::WindowPid(main)));
        if (!::PostMessageW(main, tamsel::UM_QUIT, 0, 0))
            return 1;
        if (process)
            return ::WaitForSingleObject(process.get(), ms) == WAIT_OBJECT_0 ? 0 : 3;
        return tdrv::WaitUntil([main] { return !::IsWindow(main); }, ms) ? 0 : 3;
    }
    return Usage();
}
