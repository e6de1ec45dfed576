#include "framework/Dialog.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/Debug.h"

namespace fw {

Dialog::~Dialog()
{
    DestroyWindow();
}

INT_PTR Dialog::DoModal(HWND parent)
{
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                                             parent, &Dialog::StaticProc, reinterpret_cast<LPARAM>(this));
    if (result == -1)
        TraceLastError(L"DialogBoxParamW");
    return result;
}

bool Dialog::Create(HWND parent)
{
    if (!::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent,
                              &Dialog::StaticProc, reinterpret_cast<LPARAM>(this)))
        return TraceLastError(L"CreateDialogParamW");
    return true;
}

void Dialog::DestroyWindow()
{
    if (m_hwnd)
        ::DestroyWindow(m_hwnd); // WM_NCDESTROY clears m_hwnd
}

void Dialog::CenterOverOwner()
{
    RECT window, around;
    ::GetWindowRect(m_hwnd, &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTONEAREST), &monitor))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT& work = monitor.rcWork;
    const HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
    if (!owner || !::IsWindowVisible(owner) || !::GetWindowRect(owner, &around))
        around = work;
    const int w = window.right - window.left, h = window.bottom - window.top;
    int x = around.left + (around.right - around.left - w) / 2;
    int y = around.top + (around.bottom - around.top - h) / 2;
    x = (std::max)(static_cast<int>(work.left), (std::min)(x, static_cast<int>(work.right) - w));
    y = (std::max)(static_cast<int>(work.top), (std::min)(y, static_cast<int>(work.bottom) - h));
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Dialog::BindControl(int id, ChildControl& control)
{
    if (!control.Attach(Item(id)))
        return false;
    m_controls.push_back(&control);
    return true;
}

void Dialog::PumpWaitingMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        return self->Dispatch(msg, wp, lp);
    } catch (...) {
        // Nothing may unwind into the system's dialog manager.
        DebugTrace(L"Unexpected exception in dialog message 0x%x\n", msg);
        return FALSE;
    }
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        for (ChildControl* c : m_controls) {
            if (c->Hwnd() == item->hwndItem) {
                c->DrawItem(*item);
                ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
        }
        break;
    }
    case WM_PRINTCLIENT:
        if (!PaintBackground(reinterpret_cast<HDC>(wp)))
            break;
        ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_NCDESTROY: {
        for (ChildControl* c : m_controls)
            c->Detach();
        m_controls.clear();
        ::SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        OnWindowGone();
        return FALSE;
    }
    default:
        break;
    }

    LRESULT result = 0;
    if (!OnMessage(msg, wp, lp, result))
        return FALSE;
    switch (msg) {
    // These return their result directly instead of through DWLP_MSGRESULT.
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: case WM_COMPAREITEM: case WM_VKEYTOITEM:
    case WM_CHARTOITEM: case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

ChildControl::~ChildControl()
{
    Detach();
}

bool ChildControl::Attach(HWND control)
{
    if (!control)
        return false;
    Detach();
    if (!::SetWindowSubclass(control, &ChildControl::SubclassProc, 1,
                             reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hwnd = control;
    return true;
}

void ChildControl::Detach()
{
    if (m_hwnd) {
        ::RemoveWindowSubclass(m_hwnd, &ChildControl::SubclassProc, 1);
        m_hwnd = nullptr;
    }
}

LRESULT CALLBACK ChildControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                            UINT_PTR, DWORD_PTR selfPtr)
{
    auto* self = reinterpret_cast<ChildControl*>(selfPtr);
    try {
        LRESULT result = 0;
        if (msg != WM_NCDESTROY && self->OnMessage(msg, wp, lp, result))
            return result;
        if (msg == WM_NCDESTROY) {
            ::RemoveWindowSubclass(hwnd, &ChildControl::SubclassProc, 1);
            self->m_hwnd = nullptr;
        }
    } catch (...) {
        DebugTrace(L"Unexpected exception in control message 0x%x\n", msg);
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

} // namespace fw
