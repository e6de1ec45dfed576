// Entry point: one copy per desktop, found by its window class.
#include <windows.h>
#include <commctrl.h>

#include "framework/Messages.h"
#include "shell/ShellRules.h"
#include "shell/TamselDlg.h"

namespace tamsel {

class CTamselApp {
public:
    // Always false: the main dialog's modal loop is the program's only loop.
    bool InitInstance();
};

bool CTamselApp::InitInstance()
{
    if (HWND first = ::FindWindowW(kMainWindowClass, nullptr)) {
        ::OutputDebugStringW(L"Find Varnex application\n");
        ::PostMessageW(first, UM_EXTERN_CLICK, 0, 0);
        return false;
    }
    ::OutputDebugStringW(L"Not find Varnex application\n");

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    ::GetClassInfoW(instance, L"#32770", &wc);
    wc.lpszClassName = kMainWindowClass;
    wc.hInstance = instance;
    ::RegisterClassW(&wc); // a failure shows as a dialog that cannot be created

    INITCOMMONCONTROLSEX icc{sizeof icc, 0xFF};
    ::InitCommonControlsEx(&icc);

    CTamselDlg dlg;
    dlg.m_bShowOnStart = ShowOnStart(__argc, CommandLineTail(::GetCommandLineW()));
    dlg.DoModal(nullptr);
    return false;
}

} // namespace tamsel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    tamsel::CTamselApp app;
    try {
        app.InitInstance();
    } catch (...) {
        ::OutputDebugStringW(L"Tamsel ended by an unexpected exception\n");
    }
    return 0;
}
