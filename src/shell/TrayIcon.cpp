#include "shell/TrayIcon.h"

#include "framework/Debug.h"
#include "framework/Messages.h"

namespace tamsel {

CTrayIcon::CTrayIcon() : m_taskbarCreated(::RegisterWindowMessageW(L"TaskbarCreated")) {}

bool CTrayIcon::AddTrayIcon(HWND owner, HICON icon, const std::wstring& tip)
{
    if (m_bTrayIconAdded)
        return true;
    m_nid = NOTIFYICONDATAW{};
    m_nid.cbSize = sizeof m_nid;
    m_nid.hWnd = owner;
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    m_nid.uCallbackMessage = UM_TRAY_NOTIFY;
    m_nid.hIcon = icon;
    if (!tip.empty()) {
        m_nid.uFlags |= NIF_TIP;
        ::lstrcpynW(m_nid.szTip, tip.c_str(), ARRAYSIZE(m_nid.szTip));
    }
    if (!::Shell_NotifyIconW(NIM_ADD, &m_nid))
        return fw::TraceLastError(L"Shell_NotifyIconW(NIM_ADD)");
    m_bTrayIconAdded = true;
    return true;
}

void CTrayIcon::RemoveTrayIcon()
{
    if (m_bTrayIconAdded) {
        ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
        m_bTrayIconAdded = false;
    }
}

bool CTrayIcon::OnMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result)
{
    if (msg == UM_TRAY_NOTIFY) {
        if (lp == WM_LBUTTONDBLCLK && m_onDoubleClick)
            m_onDoubleClick();
        result = 0;
        return true;
    }
    if (msg == m_taskbarCreated && m_taskbarCreated != 0) {
        // A restarted shell has forgotten every icon: ours goes back with the
        // record it was added with.
        if (m_bTrayIconAdded && !::Shell_NotifyIconW(NIM_ADD, &m_nid))
            fw::TraceLastError(L"Shell_NotifyIconW(NIM_ADD) after TaskbarCreated");
        result = 0;
        return true;
    }
    return false;
}

} // namespace tamsel
