#include "controls/scroll_static.h"

#include "framework/timer.h"

namespace {
// Between the end of the text and its repeat.
constexpr int kGap = 15;
constexpr int kStep = 2;
constexpr UINT kStepMs = 50;
constexpr int kTextTop = 2;
} // namespace

const fw::MessageMap<CScrollStatic> CScrollStatic::s_messageMap = {
    fw::on::Timer(&CScrollStatic::OnTimer),
    fw::on::Destroy(&CScrollStatic::OnDestroy),
    fw::on::Paint(&CScrollStatic::OnPaint),
    fw::on::LButtonDown(&CScrollStatic::OnLButtonDown),
};

void CScrollStatic::CreateStrip(int width) {
    fw::WindowDc screen(m_hWnd);
    if (!m_dcStrip)
        m_dcStrip.reset(::CreateCompatibleDC(screen.get()));
    m_bmpStrip.reset(::CreateCompatibleBitmap(screen.get(), width, Height()));
    m_rcStrip = m_rcWindow;
    m_rcStrip.right = m_rcStrip.left + width;
}

void CScrollStatic::RestartScroll() {
    if (m_bScrolling) {
        KillTimer(fw::kWindowTimerId);
        m_bScrolling = FALSE;
    }
    // Before the first paint there is no strip yet; that paint comes back here.
    if (!m_dcStrip)
        return;
    HDC dc = m_dcStrip.get();
    // The strip's device context holds the font and the bitmap only while it draws, so that
    // each object can be deleted later without being selected anywhere.
    fw::SelectGuard font(dc, m_font ? static_cast<HGDIOBJ>(m_font.get())
                                    : ::GetCurrentObject(dc, OBJ_FONT));
    ::SetTextColor(dc, m_crText);
    ::SetBkColor(dc, m_crBack);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, m_strText.c_str(), static_cast<int>(m_strText.size()), &extent);
    const int w = Width();
    m_nPeriod = extent.cx + kGap > w ? extent.cx + kGap : w;
    if (extent.cx + kGap <= w)
        return;

    // Every offset up to the wrap must find drawn pixels a whole control width ahead of it.
    if (StripWidth() < m_nPeriod + w)
        CreateStrip(m_nPeriod + w);
    fw::SelectGuard bitmap(dc, m_bmpStrip.get());
    {
        fw::UniqueBrush black(::CreateSolidBrush(RGB(0, 0, 0)));
        fw::SelectGuard brush(dc, black.get());
        ::Rectangle(dc, 0, 0, StripWidth(), Height());
    }
    ::TextOutW(dc, 0, kTextTop, m_strText.c_str(), static_cast<int>(m_strText.size()));
    ::TextOutW(dc, m_nPeriod, kTextTop, m_strText.c_str(), static_cast<int>(m_strText.size()));
    m_nOffset = 0;
    m_bScrolling = TRUE;
    fw::StartWindowTimer(*this, kStepMs);
}

void CScrollStatic::OnTimer(UINT_PTR) {
    m_nOffset += kStep;
    if (m_nOffset >= m_nPeriod)
        m_nOffset = 0;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    Decline();
}

void CScrollStatic::OnDestroy() {
    KillTimer(fw::kWindowTimerId);
    m_bScrolling = FALSE;
    Decline();
}

void CScrollStatic::OnPaint() {
    if (!m_bInitialized) {
        Default();
        m_strText = GetWideWindowText();
        m_rcWindow = GetWindowRect();
        const int w = Width();
        {
            fw::WindowDc screen(m_hWnd);
            m_dcStrip.reset(::CreateCompatibleDC(screen.get()));
        }
        CreateStrip(5 * w);
        if (!m_font) {
            auto current = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
            LOGFONTA lf{};
            if (current && ::GetObjectA(current, sizeof lf, &lf) == sizeof lf)
                m_font.reset(::CreateFontIndirectA(&lf));
        }
        RestartScroll();
        m_bInitialized = TRUE;
        return;
    }
    if (!m_bScrolling) {
        Decline();
        return;
    }
    fw::PaintDc paint(m_hWnd);
    fw::SelectGuard strip(m_dcStrip.get(), m_bmpStrip.get());
    ::BitBlt(paint.get(), 0, 0, Width(), Height(), m_dcStrip.get(), m_nOffset, 0, SRCCOPY);
}

void CScrollStatic::OnLButtonDown(UINT, POINT point) {
    ::PostMessageA(GetParent(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
}
