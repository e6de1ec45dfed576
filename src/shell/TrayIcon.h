// The program's notification-area icon: added once at start-up, put back when
// the shell's taskbar is re-created, removed at the end. A left double-click
// on it asks the window to reopen.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

namespace tamsel {

class CTrayIcon {
public:
    CTrayIcon();

    // Adds the icon for `owner` (callback UM_TRAY_NOTIFY, id kTrayIconId),
    // with `tip` as its tool tip when not empty. Once added, true at once.
    bool AddTrayIcon(HWND owner, HICON icon, const std::wstring& tip);
    void RemoveTrayIcon();
    bool Added() const noexcept { return m_bTrayIconAdded; }

    // Called on a left double-click on the icon.
    void OnDoubleClick(std::function<void()> handler) { m_onDoubleClick = std::move(handler); }

    // UM_TRAY_NOTIFY and the shell's "TaskbarCreated" broadcast.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

private:
    NOTIFYICONDATAW m_nid{};
    bool m_bTrayIconAdded = false;
    UINT m_taskbarCreated = 0;
    std::function<void()> m_onDoubleClick;
};

} // namespace tamsel
