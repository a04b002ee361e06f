// What the control tests share: a patterned parent window that hands its children their own
// notifications, pixel captures of what is on screen, and screenshots kept in the build tree.
#pragma once

#include "framework/wnd.h"
#include "tests/tools/pixels.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace ctltest {

// Pixels as 0x00RRGGBB, top row first.
using Picture = qdtest::Pixels;

// The pixel the test pattern has at (x, y) of the parent's client area, as a capture shows it.
uint32_t PatternPixel(int x, int y);
// A captured pixel for a colour.
uint32_t PixelOf(COLORREF colour);

// A popup window painted with a pattern that has no black in it. It records the presses on its
// caption instead of letting the window manager move it, and can give its trackbars a black
// background brush.
class PatternParent : public fw::Routed<PatternParent, fw::CWnd> {
public:
    PatternParent(int x, int y, int w, int h);
    ~PatternParent() override;

    struct Press {
        WPARAM hit;
        LPARAM point;
    };
    std::vector<Press> m_presses;
    bool m_bBlackTrackbars = false;

private:
    BOOL OnEraseBkgnd(HDC dc);
    LRESULT OnNcLButtonDown(WPARAM hit, LPARAM point);
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
    friend Routed;
    static const fw::MessageMap<PatternParent> s_messageMap;
    HBITMAP m_hPattern = nullptr;
};

// Repaints `wnd` and its children now, background included.
void Repaint(HWND wnd);

// The header of a top-down 32-bit image of w × h pixels.
BITMAPINFO TopDown32(int w, int h);

// The pixels of `rc` (client coordinates of `wnd`), read from the window's device context.
Picture Capture(HWND wnd, const RECT& rc);
Picture CaptureClient(HWND wnd);
// Keeps a screenshot as `name`.bmp in the test's artefact folder (QD_ARTIFACT_DIR).
void Keep(const Picture& picture, const std::string& name);

// A timer message for `wnd` is waiting, or arrives within `ms` milliseconds (nothing is removed).
bool TimerPending(HWND wnd, DWORD ms);

// GDI objects and window device contexts that this executable's own code holds: the count
// starts with the first call (which installs the counting) and is made by the test itself,
// since Wine's GetGuiResources answers 0.
int GdiObjects();

// Leave notifications asked for (_TrackMouseEvent with TME_LEAVE) and beeps sounded
// (MessageBeep) by this executable's own code, counted the same way.
int LeaveRequests();
int Beeps();

// The texts of `dialog`'s static text controls that are wider than their control in the font
// the control uses, each line measured on its own.
std::vector<std::string> ClippedTexts(HWND dialog);

// The dialog font at its usual size (Tahoma 8 points at 96 dpi).
HFONT DialogFont();

} // namespace ctltest
