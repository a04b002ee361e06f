// CWnd: a view of one window and the object that its messages reach.
//
// A CWnd either views a window it does not own (CWnd{hwnd}) or, after SubclassWindow, receives
// the window's messages through its message map (OnWndMsg) before the window's own procedure.
// A subclassed window also offers WM_NOTIFY, WM_COMMAND, WM_DRAWITEM and WM_CTLCOLOR* from its
// children to those children's objects first (reflection, see message_map.h). The object never
// destroys the window; destroying the object first detaches it.
#pragma once

#include "framework/message_map.h"

#include <windows.h>

#include <string>

namespace fw {

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND wnd) : m_hWnd(wnd) {}
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Routes the messages of an existing window (a dialog's control) to this object. False when
    // this object or the window is already bound.
    bool SubclassWindow(HWND wnd);
    bool SubclassDlgItem(UINT id, const CWnd& parent);
    // Gives the window back to its own procedure; returns it.
    HWND UnsubclassWindow();
    // The object that subclassed `wnd`, or null.
    static CWnd* FromHandlePermanent(HWND wnd);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    void SetWindowText(const std::string& text) const { ::SetWindowTextA(m_hWnd, text.c_str()); }
    std::string GetWindowText() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL ShowWindow(int how) const { return ::ShowWindow(m_hWnd, how); }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) const {
        return ::SetTimer(m_hWnd, id, elapse, nullptr);
    }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }

protected:
    // Sees every message of the window, and the reflected ones of its children. A derived
    // class consults its own table and then its base's: `return s_messageMap.Dispatch(*this,
    // m, result) || Base::OnWndMsg(m, result);`. True when the message was handled, with its
    // result in `result`.
    virtual bool OnWndMsg(const Message& m, LRESULT& result);

    // Inside a handler: what the window would have done with the current message without us.
    LRESULT Default();
    virtual LRESULT DefaultProcedure(const Message& m);

    // Offers a child's notification to the child's own object; true when it was taken.
    static bool ReflectToChild(const Message& m, LRESULT& result);

    // Runs OnWndMsg with `m` as the current message for Default().
    bool Route(const Message& m, LRESULT& result);

private:
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR refData);
    const Message* m_pCurrent = nullptr;
    bool m_bSubclassed = false;
};

} // namespace fw
