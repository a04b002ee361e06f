// LumoSliderCtrl: a trackbar that looks drawn straight onto its parent's skin. Through its own
// custom-draw notifications it shows the part of the parent's background that lies behind it
// (captured once, at its first paint), lets the trackbar draw its standard channel over that,
// draws the thumb as a white ellipse and never draws tick marks. Range, position, keyboard and
// mouse handling stay the trackbar's own.
#pragma once

#include "framework/controls.h"
#include "framework/handle.h"

class LumoSliderCtrl : public fw::Routed<LumoSliderCtrl, fw::CSliderCtrl> {
public:
    LumoSliderCtrl() = default;
    ~LumoSliderCtrl() override;

protected:
    fw::UniqueMemoryDc m_dcBk;
    fw::UniqueBitmap m_bmpBk;
    HGDIOBJ m_pOldBmp = nullptr;

private:
    // NM_CUSTOMDRAW from the trackbar, handed back to the control by its parent. `result` is the
    // reply for the stage: which items to announce, and whether the trackbar draws them.
    void OnCustomDraw(NMHDR* header, LRESULT* result);
    // Returns 0: the trackbar's own painting and OnCustomDraw cover the whole client area.
    BOOL OnEraseBkgnd(HDC dc);

    void DrawThumb(HDC dc);
    // The captured parent background everywhere except where the trackbar's fresh fill is pure
    // black, which stays black.
    void DrawBackground(HDC dc);

    friend Routed;
    static const fw::MessageMap<LumoSliderCtrl> s_messageMap;
};
