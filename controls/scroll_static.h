// CScrollStatic: the toolbar's one-line caption. A text wider than the control scrolls from
// right to left as an endless band (text, 15-pixel gap, text again), 2 pixels every 50 ms, out
// of an off-screen strip drawn once per text; a press on it drags the parent window.
//
// The text is wide, so that a file name in any script shows as it is named. The owner changes
// the text by assigning m_strText, setting the same window text and, once
// m_bInitialized is true, calling RestartScroll(). Before the first paint nothing is needed:
// the first paint reads the window text itself.
#pragma once

#include "framework/controls.h"
#include "framework/handle.h"

#include <string>

class CScrollStatic : public fw::Routed<CScrollStatic, fw::CStatic> {
public:
    CScrollStatic() = default;
    ~CScrollStatic() override = default;

    // Stops the band, measures m_strText and, when it does not fit, redraws the strip and
    // starts the band again from its beginning.
    void RestartScroll();

    std::wstring m_strText;

protected:
    int m_nOffset = 0;
    RECT m_rcWindow{};
    RECT m_rcStrip{};
    int m_nPeriod = 0;
    fw::UniqueBitmap m_bmpStrip;
    fw::UniqueMemoryDc m_dcStrip;
    BOOL m_bScrolling = FALSE;

public:
    // The owner chooses both before the first paint.
    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crBack = RGB(0, 0, 0);
    BOOL m_bInitialized = FALSE;

protected:
    fw::UniqueFont m_font;

private:
    // Timer 0: one step of the band; the whole control is repainted without erasing.
    void OnTimer(UINT_PTR id);
    // After the static's own clean-up the band stops for good.
    void OnDestroy();
    // The first paint builds the strip; later ones copy the visible part of it, or leave the
    // painting to the static when the text fits.
    void OnPaint();
    // Hands the press to the parent as a press on its caption, so that the window manager
    // moves the whole toolbar.
    void OnLButtonDown(UINT keys, POINT point);

    int Width() const { return m_rcWindow.right - m_rcWindow.left; }
    int Height() const { return m_rcWindow.bottom - m_rcWindow.top; }
    int StripWidth() const { return m_rcStrip.right - m_rcStrip.left; }
    // A strip of `width` pixels, compatible with the control's screen.
    void CreateStrip(int width);

    friend Routed;
    static const fw::MessageMap<CScrollStatic> s_messageMap;
};
