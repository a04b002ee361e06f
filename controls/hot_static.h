// CHotStatic: a static text of a dialog turned into a link. Its text is drawn underlined at the
// control's top-left corner, blue until it has been opened, purple afterwards, red while the
// pointer is over it; a click opens m_strTarget through the shell.
//
// The static must have SS_NOTIFY, or it reports no clicks. While m_strTarget is empty, the first
// click takes the control's own text as the target and keeps it, so a label that shows its
// address needs nothing more. A target the shell will not open beeps and changes nothing.
#pragma once

#include "framework/controls.h"
#include "framework/handle.h"

#include <string>

class CHotStatic : public fw::Routed<CHotStatic, fw::CStatic> {
public:
    CHotStatic() = default;
    ~CHotStatic() override = default;

    COLORREF m_crLink = RGB(0, 0, 255);
    COLORREF m_crVisited = RGB(128, 0, 128);
    COLORREF m_crHover = RGB(255, 0, 0);
    int m_bHover = 0;
    // A leave notification has been asked for and has not arrived yet.
    int m_bTracking = 0;
    int m_bVisited = 0;
    // An underlined copy of the control's font, made at the first paint and kept.
    fw::UniqueFont m_fontUnderline;
    std::string m_strTarget;

private:
    // STN_CLICKED, reflected by the parent.
    void OnClicked();
    // The first move over the control asks for the leave notification and lights it.
    void OnMouseMove(UINT keys, POINT point);
    void OnMouseLeave();
    void OnPaint();

    COLORREF TextColour() const;
    // The parent redraws the area behind the text, then the control paints on it.
    void Redraw() const;

    friend Routed;
    static const fw::MessageMap<CHotStatic> s_messageMap;
};
