// A dialog window made from a template, modal or modeless. The derived class
// handles messages in OnMessage and gets WM_COMMAND and WM_INITDIALOG as their
// own calls. Child controls bound with BindControl are subclassed and receive
// their owner-draw requests.
#pragma once

#include <windows.h>

#include <vector>

namespace fw {

class ChildControl;

class Dialog {
public:
    explicit Dialog(UINT templateId) noexcept : m_templateId(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog's own modal loop; returns the EndDialog result, or -1
    // when the window cannot be created.
    INT_PTR DoModal(HWND parent);
    // Creates the dialog modeless; the caller's message loop drives it.
    bool Create(HWND parent);
    // Destroys the window if it still exists.
    void DestroyWindow();

    HWND Hwnd() const noexcept { return m_hwnd; }
    HWND Item(int id) const noexcept { return ::GetDlgItem(m_hwnd, id); }

    // Centres the window over its owner (over the work area when it has
    // none), then moves it back inside the work area of its monitor; where it
    // cannot fit, its top left corner stays reachable.
    void CenterOverOwner();

protected:
    // WM_INITDIALOG; true lets the system set the default focus.
    virtual bool OnInitDialog() { return true; }
    // WM_COMMAND.
    virtual void OnCommand(UINT id, UINT notifyCode, HWND control) {}
    // Every other message. Return true when handled and set result; false lets
    // the dialog manager's default processing run.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) { return false; }
    // Runs after the window is gone (WM_NCDESTROY).
    virtual void OnWindowGone() {}
    // The window's background into `dc`, in client coordinates: what its
    // painting draws first, and what an image button erases below itself
    // (WM_PRINTCLIENT). False for a dialog that has none of its own: the
    // dialog manager's default then runs.
    virtual bool PaintBackground(HDC dc) { return false; }

    // Subclasses the template's control `id` so that `control` draws it.
    bool BindControl(int id, ChildControl& control);

    // Dispatches every message already queued for this thread. A quit
    // message met on the way is posted again so the modal loop still sees it.
    static void PumpWaitingMessages();

private:
    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    UINT m_templateId;
    HWND m_hwnd = nullptr;
    std::vector<ChildControl*> m_controls;
};

// A control of a dialog template taken over by a C++ object. The object must
// outlive the control window or Detach before it goes.
class ChildControl {
public:
    ChildControl() noexcept = default;
    virtual ~ChildControl();
    ChildControl(const ChildControl&) = delete;
    ChildControl& operator=(const ChildControl&) = delete;

    bool Attach(HWND control);
    void Detach();
    HWND Hwnd() const noexcept { return m_hwnd; }
    int Id() const noexcept { return m_hwnd ? ::GetDlgCtrlID(m_hwnd) : 0; }

    // WM_DRAWITEM from the parent, for owner-drawn controls.
    virtual void DrawItem(const DRAWITEMSTRUCT& item) {}

protected:
    // Messages of the control itself; false lets the control's class handle it.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) { return false; }

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                         UINT_PTR id, DWORD_PTR self);
    HWND m_hwnd = nullptr;
};

} // namespace fw
