#include "controls/lumo_slider_ctrl.h"

const fw::MessageMap<LumoSliderCtrl> LumoSliderCtrl::s_messageMap = {
    fw::on::ReflectNotify(NM_CUSTOMDRAW, &LumoSliderCtrl::OnCustomDraw),
    fw::on::EraseBkgnd(&LumoSliderCtrl::OnEraseBkgnd),
};

LumoSliderCtrl::~LumoSliderCtrl() {
    // The captured bitmap can only be deleted once its device context no longer holds it.
    if (m_dcBk)
        ::SelectObject(m_dcBk.get(), m_pOldBmp);
    m_dcBk.reset();
    m_bmpBk.reset();
}

BOOL LumoSliderCtrl::OnEraseBkgnd(HDC) {
    return FALSE;
}

void LumoSliderCtrl::OnCustomDraw(NMHDR* header, LRESULT* result) {
    auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(header);
    if (draw->dwDrawStage == CDDS_PREPAINT) {
        *result = CDRF_NOTIFYITEMDRAW;
        return;
    }
    if (draw->dwDrawStage != CDDS_ITEMPREPAINT) {
        *result = CDRF_DODEFAULT;
        return;
    }
    HDC dc = draw->hdc;
    const int saved = ::SaveDC(dc);
    switch (draw->dwItemSpec) {
    case TBCD_CHANNEL:
        DrawBackground(dc);
        *result = CDRF_DODEFAULT;
        break;
    case TBCD_THUMB:
        DrawThumb(dc);
        *result = CDRF_SKIPDEFAULT;
        break;
    default: // the tick marks, and anything a later trackbar may announce
        *result = CDRF_SKIPDEFAULT;
        break;
    }
    ::RestoreDC(dc, saved);
}

void LumoSliderCtrl::DrawThumb(HDC dc) {
    RECT thumb = GetThumbRect();
    fw::UniqueBrush white(::CreateSolidBrush(RGB(255, 255, 255)));
    fw::SelectGuard brush(dc, white.get());
    ::Ellipse(dc, thumb.left, thumb.top, thumb.right, thumb.bottom);
}

void LumoSliderCtrl::DrawBackground(HDC dc) {
    const RECT client = GetClientRect();
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;

    // The parent's screen is read once; every later paint works from memory only.
    if (!m_dcBk) {
        HWND parent = GetParent();
        fw::WindowDc parentDc(parent);
        RECT place = GetWindowRect();
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
        m_dcBk.reset(::CreateCompatibleDC(parentDc.get()));
        m_bmpBk.reset(::CreateCompatibleBitmap(parentDc.get(), w, h));
        m_pOldBmp = ::SelectObject(m_dcBk.get(), m_bmpBk.get());
        ::BitBlt(m_dcBk.get(), 0, 0, w, h, parentDc.get(), place.left, place.top, SRCCOPY);
    }

    const COLORREF oldBack = ::SetBkColor(dc, RGB(0, 0, 0));
    const COLORREF oldText = ::SetTextColor(dc, RGB(255, 255, 255));
    {
        // A bitmap made compatible with a fresh memory device context is monochrome: copying
        // the trackbar's picture into it marks its black pixels (D's background colour) with 1.
        fw::UniqueMemoryDc blackDc(::CreateCompatibleDC(dc));
        fw::UniqueBitmap black(::CreateCompatibleBitmap(blackDc.get(), w, h));
        fw::SelectGuard blackSel(blackDc.get(), black.get());
        fw::UniqueMemoryDc maskDc(::CreateCompatibleDC(dc));
        fw::UniqueBitmap mask(::CreateBitmap(w, h, 1, 1, nullptr));
        fw::SelectGuard maskSel(maskDc.get(), mask.get());

        ::BitBlt(blackDc.get(), 0, 0, w, h, dc, client.left, client.top, SRCCOPY);
        ::BitBlt(dc, 0, 0, w, h, m_dcBk.get(), 0, 0, SRCCOPY);
        ::BitBlt(maskDc.get(), 0, 0, w, h, blackDc.get(), 0, 0, SRCCOPY);
        // Monochrome sources expand to black for 1 and white for 0: where the trackbar was
        // black, ((bg ^ black) & black) ^ black is black; elsewhere ((bg ^ white) & white) ^
        // white is the background again.
        ::BitBlt(dc, 0, 0, w, h, blackDc.get(), 0, 0, SRCINVERT);
        ::BitBlt(dc, 0, 0, w, h, maskDc.get(), 0, 0, SRCAND);
        ::BitBlt(dc, 0, 0, w, h, blackDc.get(), 0, 0, SRCINVERT);
    }
    ::SetBkColor(dc, oldBack);
    ::SetTextColor(dc, oldText);
}
