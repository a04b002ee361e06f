#include "framework/wnd.h"

#include <commctrl.h>

namespace fw {

namespace {
constexpr UINT_PTR kSubclassId = 0x51D0;
// Names the object that subclassed a window, for reflection from its parent.
constexpr const char* kObjectProperty = "fw.CWnd";

HWND ChildOf(const Message& m) {
    if (m.message == WM_NOTIFY)
        return reinterpret_cast<const NMHDR*>(m.lParam)->hwndFrom;
    if (m.message == WM_DRAWITEM)
        return reinterpret_cast<const DRAWITEMSTRUCT*>(m.lParam)->hwndItem;
    if (m.message == WM_COMMAND || IsCtlColor(m.message))
        return reinterpret_cast<HWND>(m.lParam);
    return nullptr;
}
} // namespace

CWnd::~CWnd() {
    if (m_bSubclassed)
        UnsubclassWindow();
}

bool CWnd::SubclassWindow(HWND wnd) {
    // One object per window: a second one would take the first one's messages away silently.
    if (!wnd || m_bSubclassed || FromHandlePermanent(wnd))
        return false;
    if (!::SetWindowSubclass(wnd, &CWnd::SubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this)))
        return false;
    ::SetPropA(wnd, kObjectProperty, this);
    m_hWnd = wnd;
    m_bSubclassed = true;
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, const CWnd& parent) {
    return SubclassWindow(::GetDlgItem(parent.m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
    HWND wnd = m_hWnd;
    if (m_bSubclassed && wnd) {
        ::RemoveWindowSubclass(wnd, &CWnd::SubclassProc, kSubclassId);
        ::RemovePropA(wnd, kObjectProperty);
    }
    m_bSubclassed = false;
    m_hWnd = nullptr;
    return wnd;
}

CWnd* CWnd::FromHandlePermanent(HWND wnd) {
    return wnd ? static_cast<CWnd*>(::GetPropA(wnd, kObjectProperty)) : nullptr;
}

std::string CWnd::GetWindowText() const {
    int length = ::GetWindowTextLengthA(m_hWnd);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    int copied = ::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring CWnd::GetWideWindowText() const {
    int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    int copied = ::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

RECT CWnd::GetWindowRect() const {
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

RECT CWnd::GetClientRect() const {
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

bool CWnd::OnWndMsg(const Message&, LRESULT&) {
    return false;
}

LRESULT CWnd::Default() {
    return m_pCurrent ? DefaultProcedure(*m_pCurrent) : 0;
}

LRESULT CWnd::DefaultProcedure(const Message& m) {
    if (m_bSubclassed)
        return ::DefSubclassProc(m_hWnd, m.message, m.wParam, m.lParam);
    return ::DefWindowProcA(m_hWnd, m.message, m.wParam, m.lParam);
}

bool CWnd::ReflectToChild(const Message& m, LRESULT& result) {
    CWnd* child = FromHandlePermanent(ChildOf(m));
    if (!child)
        return false;
    return child->Route(Message{kReflectBase + m.message, m.wParam, m.lParam}, result);
}

bool CWnd::Route(const Message& m, LRESULT& result) {
    const Message* outer = m_pCurrent;
    m_pCurrent = &m;
    bool handled = OnWndMsg(m, result);
    m_pCurrent = outer;
    return handled;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR refData) {
    auto* self = reinterpret_cast<CWnd*>(refData);
    const Message m{message, wParam, lParam};
    LRESULT result = 0;
    if (message == WM_NCDESTROY) {
        // The window is going: the object lets go of it before the window's own clean-up.
        self->Route(m, result);
        self->UnsubclassWindow();
        return ::DefSubclassProc(wnd, message, wParam, lParam);
    }
    if (ReflectToChild(m, result) || self->Route(m, result))
        return result;
    return ::DefSubclassProc(wnd, message, wParam, lParam);
}

} // namespace fw
