// Message maps as typed tables.
//
// A class lists, once, which window messages, commands and control notifications reach which of
// its member functions, and derives from Routed<Self, Base> so that its table is consulted:
//
//     class CMyDlg : public fw::Routed<CMyDlg, fw::CDialog> {
//         friend Routed;
//         static const fw::MessageMap<CMyDlg> s_messageMap;
//         ...
//     };
//     const fw::MessageMap<CMyDlg> CMyDlg::s_messageMap = {
//         fw::on::Timer(&CMyDlg::OnTimer),                      // void OnTimer(UINT_PTR id)
//         fw::on::Command(IDC_FILE, &CMyDlg::OnFile),           // void OnFile()
//         fw::on::Notify(IDC_VOL, NM_RELEASEDCAPTURE, &CMyDlg::OnVolumeReleased),
//     };
//
// Each factory below fixes the handler's signature, so the compiler checks it, and decodes the
// message parameters before the call. A message goes to the class's own table first, then to
// its base class's, then to the window's default processing. Entries are tried in order; the
// first that matches handles the message, unless its handler calls Decline() (see CWnd), which
// passes the message on to the next matching entry and from there down the same path.
//
// Reflection: a parent offers WM_NOTIFY, WM_COMMAND, WM_DRAWITEM and WM_CTLCOLOR* from a child
// control to that child's own object first, as the message kReflectBase + message; the
// on::Reflect... factories bind those, so a control keeps its drawing in its own class.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <initializer_list>
#include <vector>

namespace fw {

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

constexpr UINT kReflectBase = 0x2000;
// Stands for the seven WM_CTLCOLOR* messages in one entry.
constexpr UINT kAnyCtlColor = 0xFFFF0001u;
constexpr UINT kReflectedCtlColor = 0xFFFF0002u;
// A plain command entry: a menu item (code 0) or an accelerator (code 1), both without a control
// handle, or a button's click (BN_CLICKED) and fast second click (BN_DOUBLECLICKED) from the
// control. Code 1 from a control (STN_DBLCLK, CBN_SELCHANGE) is another event and never a
// plain command.
constexpr UINT kCommandCode = 0xFFFFFFFFu;

inline bool IsPlainCommand(const Message& m) {
    const UINT code = HIWORD(m.wParam);
    if (m.lParam == 0)
        return code == 0 || code == 1;
    return code == BN_CLICKED || code == BN_DOUBLECLICKED;
}

inline bool IsCtlColor(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

template <class T>
class MessageMap {
public:
    using AnyHandler = void (T::*)();
    // Calls the handler with the decoded parameters; stores the message result in `result`.
    using Thunk = void (*)(T& self, AnyHandler handler, const Message& m, LRESULT& result);

    struct Entry {
        UINT message;
        UINT id;
        UINT code;
        AnyHandler handler;
        Thunk thunk;
    };

    MessageMap(std::initializer_list<Entry> entries) : m_entries(entries) {}

    // True when an entry took the message; an entry whose handler declined did not.
    bool Dispatch(T& self, const Message& m, LRESULT& result) const {
        for (const Entry& e : m_entries) {
            if (!Matches(e, m))
                continue;
            // A handler may send messages to its own window; each keeps its own answer.
            bool& declined = self.m_bDeclined;
            const bool outer = declined;
            declined = false;
            e.thunk(self, e.handler, m, result);
            const bool passed = declined;
            declined = outer;
            if (!passed)
                return true;
        }
        return false;
    }

    size_t size() const { return m_entries.size(); }

private:
    static bool Matches(const Entry& e, const Message& m) {
        switch (e.message) {
        case WM_COMMAND:
            return m.message == WM_COMMAND && LOWORD(m.wParam) == e.id &&
                   (e.code == kCommandCode ? IsPlainCommand(m) : HIWORD(m.wParam) == e.code);
        case WM_NOTIFY: {
            if (m.message != WM_NOTIFY)
                return false;
            auto* hdr = reinterpret_cast<const NMHDR*>(m.lParam);
            return hdr->idFrom == e.id && hdr->code == e.code;
        }
        case kReflectBase + WM_COMMAND:
            return m.message == e.message && HIWORD(m.wParam) == e.code;
        case kReflectBase + WM_NOTIFY:
            return m.message == e.message &&
                   reinterpret_cast<const NMHDR*>(m.lParam)->code == e.code;
        case kAnyCtlColor:
            return IsCtlColor(m.message);
        case kReflectedCtlColor:
            return m.message >= kReflectBase + WM_CTLCOLORMSGBOX &&
                   m.message <= kReflectBase + WM_CTLCOLORSTATIC;
        default:
            return m.message == e.message;
        }
    }

    std::vector<Entry> m_entries;
};

namespace detail {
// A member-function pointer cast to another member-function type of the same class and back
// is the original pointer again; the table only ever calls a handler through its own type.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
#endif
template <class T, class F>
typename MessageMap<T>::AnyHandler Erase(F f) {
    return reinterpret_cast<typename MessageMap<T>::AnyHandler>(f);
}
template <class F, class T>
F Restore(typename MessageMap<T>::AnyHandler f) {
    return reinterpret_cast<F>(f);
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
} // namespace detail

// The factories. Each returns a table entry for the handler's class.
namespace on {

#define FW_THUNK(Sig, ...)                                                                         \
    [](T& self, typename MessageMap<T>::AnyHandler any, const fw::Message& m, LRESULT& result) {   \
        auto f = detail::Restore<Sig, T>(any);                                                     \
        (void)m;                                                                                   \
        __VA_ARGS__;                                                                               \
    }

// Any message, parameters undecoded: LRESULT f(WPARAM, LPARAM).
template <class T>
typename MessageMap<T>::Entry Raw(UINT message, LRESULT (T::*h)(WPARAM, LPARAM)) {
    using Sig = decltype(h);
    return {message, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, result = (self.*f)(m.wParam, m.lParam))};
}

// A message without parameters whose result is 0: WM_DESTROY, WM_PAINT, WM_CLOSE…
template <class T>
typename MessageMap<T>::Entry Simple(UINT message, void (T::*h)()) {
    using Sig = decltype(h);
    return {
        message, 0, 0, detail::Erase<T>(h), FW_THUNK(Sig, (self.*f)(); result = 0)
    };
}

template <class T>
typename MessageMap<T>::Entry Destroy(void (T::*h)()) {
    return Simple(WM_DESTROY, h);
}

template <class T>
typename MessageMap<T>::Entry Paint(void (T::*h)()) {
    return Simple(WM_PAINT, h);
}

// WM_COMMAND from a menu item, an accelerator or a button's click (see kCommandCode): void f().
// A combo box or list box reports other events with code 5; give such controls explicit codes.
template <class T>
typename MessageMap<T>::Entry Command(UINT id, void (T::*h)()) {
    using Sig = decltype(h);
    return {
        WM_COMMAND, id, kCommandCode, detail::Erase<T>(h), FW_THUNK(Sig, (self.*f)(); result = 0)
    };
}

// WM_COMMAND with a given notification code from control `id` (STN_DBLCLK, CBN_SELCHANGE…).
template <class T>
typename MessageMap<T>::Entry Command(UINT id, UINT code, void (T::*h)()) {
    using Sig = decltype(h);
    return {
        WM_COMMAND, id, code, detail::Erase<T>(h), FW_THUNK(Sig, (self.*f)(); result = 0)
    };
}

// WM_NOTIFY with `code` from control `id`: void f(NMHDR*, LRESULT* result).
template <class T>
typename MessageMap<T>::Entry Notify(UINT id, UINT code, void (T::*h)(NMHDR*, LRESULT*)) {
    using Sig = decltype(h);
    return {
        WM_NOTIFY, id, code, detail::Erase<T>(h),
            FW_THUNK(Sig, result = 0; (self.*f)(reinterpret_cast<NMHDR*>(m.lParam), &result))
    };
}

// WM_TIMER: void f(UINT_PTR id).
template <class T>
typename MessageMap<T>::Entry Timer(void (T::*h)(UINT_PTR)) {
    using Sig = decltype(h);
    return {
        WM_TIMER, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, (self.*f)(static_cast<UINT_PTR>(m.wParam)); result = 0)
    };
}

// WM_SYSCOMMAND: void f(UINT id, LPARAM).
template <class T>
typename MessageMap<T>::Entry SysCommand(void (T::*h)(UINT, LPARAM)) {
    using Sig = decltype(h);
    return {
        WM_SYSCOMMAND, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, (self.*f)(static_cast<UINT>(m.wParam), m.lParam); result = 0)
    };
}

// WM_QUERYDRAGICON: HCURSOR f().
template <class T>
typename MessageMap<T>::Entry QueryDragIcon(HCURSOR (T::*h)()) {
    using Sig = decltype(h);
    return {WM_QUERYDRAGICON, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, result = reinterpret_cast<LRESULT>((self.*f)()))};
}

// WM_DROPFILES: void f(HDROP).
template <class T>
typename MessageMap<T>::Entry DropFiles(void (T::*h)(HDROP)) {
    using Sig = decltype(h);
    return {
        WM_DROPFILES, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, (self.*f)(reinterpret_cast<HDROP>(m.wParam)); result = 0)
    };
}

// WM_HSCROLL / WM_VSCROLL: void f(UINT code, UINT pos, HWND bar).
template <class T>
typename MessageMap<T>::Entry Scroll(UINT message, void (T::*h)(UINT, UINT, HWND)) {
    using Sig = decltype(h);
    return {
        message, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, (self.*f)(LOWORD(m.wParam), HIWORD(m.wParam),
                                    reinterpret_cast<HWND>(m.lParam));
                     result = 0)
    };
}

template <class T>
typename MessageMap<T>::Entry HScroll(void (T::*h)(UINT, UINT, HWND)) {
    return Scroll(WM_HSCROLL, h);
}

// Mouse messages (WM_LBUTTONDOWN, WM_MOUSEMOVE…): void f(UINT keys, POINT client).
template <class T>
typename MessageMap<T>::Entry Mouse(UINT message, void (T::*h)(UINT, POINT)) {
    using Sig = decltype(h);
    return {
        message, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, POINT pt{static_cast<short>(LOWORD(m.lParam)),
                                   static_cast<short>(HIWORD(m.lParam))};
                     (self.*f)(static_cast<UINT>(m.wParam), pt); result = 0)
    };
}

template <class T>
typename MessageMap<T>::Entry LButtonDown(void (T::*h)(UINT, POINT)) {
    return Mouse(WM_LBUTTONDOWN, h);
}

// WM_ERASEBKGND: BOOL f(HDC); non-zero means the background was erased.
template <class T>
typename MessageMap<T>::Entry EraseBkgnd(BOOL (T::*h)(HDC)) {
    using Sig = decltype(h);
    return {WM_ERASEBKGND, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, result = (self.*f)(reinterpret_cast<HDC>(m.wParam)))};
}

// WM_CTLCOLOR*: HBRUSH f(HDC, HWND control, UINT kind), kind being CTLCOLOR_STATIC and so on.
template <class T>
typename MessageMap<T>::Entry CtlColor(HBRUSH (T::*h)(HDC, HWND, UINT)) {
    using Sig = decltype(h);
    return {kAnyCtlColor, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, result = reinterpret_cast<LRESULT>((self.*f)(
                              reinterpret_cast<HDC>(m.wParam), reinterpret_cast<HWND>(m.lParam),
                              m.message - WM_CTLCOLORMSGBOX)))};
}

// Reflected WM_NOTIFY with `code`, offered to the control itself: void f(NMHDR*, LRESULT*).
template <class T>
typename MessageMap<T>::Entry ReflectNotify(UINT code, void (T::*h)(NMHDR*, LRESULT*)) {
    using Sig = decltype(h);
    return {
        kReflectBase + WM_NOTIFY, 0, code, detail::Erase<T>(h),
            FW_THUNK(Sig, result = 0; (self.*f)(reinterpret_cast<NMHDR*>(m.lParam), &result))
    };
}

// Reflected WM_COMMAND with a notification code: void f().
template <class T>
typename MessageMap<T>::Entry ReflectCommand(UINT code, void (T::*h)()) {
    using Sig = decltype(h);
    return {
        kReflectBase + WM_COMMAND, 0, code, detail::Erase<T>(h),
            FW_THUNK(Sig, (self.*f)(); result = 0)
    };
}

// Reflected WM_DRAWITEM: void f(DRAWITEMSTRUCT*).
template <class T>
typename MessageMap<T>::Entry ReflectDrawItem(void (T::*h)(DRAWITEMSTRUCT*)) {
    using Sig = decltype(h);
    return {
        kReflectBase + WM_DRAWITEM, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, (self.*f)(reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam)); result = TRUE)
    };
}

// Reflected WM_CTLCOLOR*: HBRUSH f(HDC, UINT kind).
template <class T>
typename MessageMap<T>::Entry ReflectCtlColor(HBRUSH (T::*h)(HDC, UINT)) {
    using Sig = decltype(h);
    return {kReflectedCtlColor, 0, 0, detail::Erase<T>(h),
            FW_THUNK(Sig, result = reinterpret_cast<LRESULT>(
                              (self.*f)(reinterpret_cast<HDC>(m.wParam),
                                        m.message - kReflectBase - WM_CTLCOLORMSGBOX)))};
}

#undef FW_THUNK

} // namespace on
} // namespace fw
