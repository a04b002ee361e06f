#include "controls/hot_static.h"

#include "framework/shell.h"

const fw::MessageMap<CHotStatic> CHotStatic::s_messageMap = {
    fw::on::ReflectCommand(STN_CLICKED, &CHotStatic::OnClicked),
    fw::on::Mouse(WM_MOUSEMOVE, &CHotStatic::OnMouseMove),
    fw::on::Simple(WM_MOUSELEAVE, &CHotStatic::OnMouseLeave),
    fw::on::Paint(&CHotStatic::OnPaint),
};

COLORREF CHotStatic::TextColour() const {
    if (m_bHover)
        return m_crHover;
    return m_bVisited ? m_crVisited : m_crLink;
}

void CHotStatic::Redraw() const {
    // A static has no background of its own to repaint: hiding and showing it again makes the
    // parent erase the area first, so the old text leaves no trace.
    ShowWindow(SW_HIDE);
    ShowWindow(SW_SHOW);
}

void CHotStatic::OnClicked() {
    if (m_strTarget.empty())
        m_strTarget = GetWindowText();
    if (!fw::ShellOpen(nullptr, m_strTarget.c_str())) {
        ::MessageBeep(0);
        return;
    }
    m_bVisited = 1;
    Redraw();
}

void CHotStatic::OnMouseMove(UINT, POINT) {
    if (m_bTracking)
        return;
    fw::TrackMouseLeave(*this);
    m_bTracking = 1;
    m_bHover = 1;
    Redraw();
}

void CHotStatic::OnMouseLeave() {
    m_bTracking = 0;
    if (m_bHover) {
        m_bHover = 0;
        Redraw();
    }
}

void CHotStatic::OnPaint() {
    fw::PaintDc dc(m_hWnd);
    if (!m_fontUnderline) {
        if (auto font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))) {
            LOGFONTA lf{};
            if (::GetObjectA(font, sizeof lf, &lf)) {
                lf.lfUnderline = TRUE;
                m_fontUnderline.reset(::CreateFontIndirectA(&lf));
            }
        }
    }
    // Without a font of its own the control writes with whatever the device context holds.
    HGDIOBJ oldFont = m_fontUnderline ? ::SelectObject(dc.get(), m_fontUnderline.get()) : nullptr;
    const COLORREF oldColour = ::SetTextColor(dc.get(), TextColour());
    const int oldMode = ::SetBkMode(dc.get(), TRANSPARENT);
    const std::string text = GetWindowText();
    ::TextOutA(dc.get(), 0, 0, text.c_str(), static_cast<int>(text.size()));
    ::SetBkMode(dc.get(), oldMode);
    ::SetTextColor(dc.get(), oldColour);
    if (oldFont)
        ::SelectObject(dc.get(), oldFont);
}
