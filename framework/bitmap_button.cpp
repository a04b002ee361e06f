#include "framework/bitmap_button.h"

#include "framework/win_app.h"

#include <string>

namespace fw {

const MessageMap<CBitmapButton> CBitmapButton::s_messageMap = {
    on::ReflectDrawItem(&CBitmapButton::DrawItem),
    on::Raw(WM_LBUTTONDBLCLK, &CBitmapButton::OnLButtonDblClk),
};

namespace {
UniqueBitmap LoadNamed(const char* name) {
    return UniqueBitmap(name ? ::LoadBitmapA(AfxGetInstanceHandle(), name) : nullptr);
}

SIZE SizeOf(HBITMAP bitmap) {
    BITMAP info{};
    ::GetObjectA(bitmap, sizeof info, &info);
    return {info.bmWidth, info.bmHeight};
}
} // namespace

BOOL CBitmapButton::LoadBitmaps(const char* up, const char* down, const char* focus,
                                const char* disabled) {
    m_bmpUp = LoadNamed(up);
    m_bmpDown = LoadNamed(down);
    m_bmpFocus = LoadNamed(focus);
    m_bmpDisabled = LoadNamed(disabled);
    return m_bmpUp ? TRUE : FALSE;
}

BOOL CBitmapButton::AutoLoad(UINT id, CWnd& parent) {
    HWND item = parent.GetDlgItem(static_cast<int>(id));
    if (!item || (FromHandlePermanent(item) != this && !SubclassWindow(item)))
        return FALSE;
    const std::string name = GetWindowText();
    if (!LoadBitmaps((name + "U").c_str(), (name + "D").c_str(), (name + "F").c_str(),
                     (name + "X").c_str()))
        return FALSE;
    SizeToContent();
    return TRUE;
}

void CBitmapButton::SizeToContent() {
    if (!m_bmpUp)
        return;
    const SIZE size = SizeOf(m_bmpUp.get());
    SetWindowPos(nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBitmapButton::DrawItem(DRAWITEMSTRUCT* dis) {
    HBITMAP image = m_bmpUp.get();
    if ((dis->itemState & ODS_SELECTED) && m_bmpDown)
        image = m_bmpDown.get();
    else if ((dis->itemState & ODS_FOCUS) && m_bmpFocus)
        image = m_bmpFocus.get();
    else if ((dis->itemState & ODS_DISABLED) && m_bmpDisabled)
        image = m_bmpDisabled.get();
    if (!image)
        return;
    UniqueMemoryDc memory(::CreateCompatibleDC(dis->hDC));
    SelectGuard select(memory.get(), image);
    const SIZE size = SizeOf(image);
    ::BitBlt(dis->hDC, dis->rcItem.left, dis->rcItem.top, size.cx, size.cy, memory.get(), 0, 0,
             SRCCOPY);
}

LRESULT CBitmapButton::OnLButtonDblClk(WPARAM keys, LPARAM point) {
    return ::DefSubclassProc(m_hWnd, WM_LBUTTONDOWN, keys, point);
}

} // namespace fw
