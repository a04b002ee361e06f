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
#include <type_traits>

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
    // Whole only on a Unicode window (CDialog makes its dialogs so): an ANSI window keeps what
    // the ANSI code page can hold.
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::string GetWindowText() const;
    std::wstring GetWideWindowText() const;
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
    // Sees every message of the window, and the reflected ones of its children. Routed (below)
    // supplies it from a class's table; a class overrides it by hand only to watch messages go
    // by. True when the message was handled, with its result in `result`.
    virtual bool OnWndMsg(const Message& m, LRESULT& result);

    // Inside a handler: what the window would have done with the current message without us.
    LRESULT Default();
    // Inside a handler: this entry does not take the message after all. It goes on to the next
    // matching entry, the base class's table and at last the window's default processing, as
    // a handler that only adds to the usual behaviour wants.
    void Decline() { m_bDeclined = true; }
    virtual LRESULT DefaultProcedure(const Message& m);

    // Offers a child's notification to the child's own object; true when it was taken.
    static bool ReflectToChild(const Message& m, LRESULT& result);

    // Runs OnWndMsg with `m` as the current message for Default().
    bool Route(const Message& m, LRESULT& result);

private:
    template <class T>
    friend class MessageMap;

    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR refData);
    const Message* m_pCurrent = nullptr;
    bool m_bSubclassed = false;
    bool m_bDeclined = false;
};

// Routed<T, Base>: the base of a window class T with a message table of its own. It routes each
// message to T's table (`static const MessageMap<T> s_messageMap`, made reachable with
// `friend Routed;`), then to Base's routing, so no class writes the dispatch by hand and none
// can forget it. A class that adds no entries derives from Base directly and keeps its table.
template <class T, class Base>
class Routed : public Base {
public:
    using Base::Base;

protected:
    bool OnWndMsg(const Message& m, LRESULT& result) override {
        static_assert(std::is_same_v<decltype(T::s_messageMap), const MessageMap<T>>,
                      "a routed class declares its own table: static const MessageMap<T>");
        return T::s_messageMap.Dispatch(static_cast<T&>(*this), m, result) ||
               Base::OnWndMsg(m, result);
    }
};

} // namespace fw
