// Push buttons, and the owner-drawn button that shows the program's bitmaps instead of a face.
//
// A CBitmapButton draws nothing but one of its images: the pressed one while the button is held
// down, else the focused or disabled one when it has them, else the up image. Its images are
// named after the button's text in the dialog template ("PLAY" draws with "PLAYU", "PLAYD",
// "PLAYF" and "PLAYX"); the button must be BS_OWNERDRAW, and its parent a subclassed window that
// reflects WM_DRAWITEM (any CDialog).
#pragma once

#include "framework/handle.h"
#include "framework/wnd.h"

namespace fw {

// A push button (a view; owns nothing).
class CButton : public CWnd {
public:
    CButton() = default;
    explicit CButton(HWND wnd) : CWnd(wnd) {}
};

class CBitmapButton : public Routed<CBitmapButton, CButton> {
public:
    // Loads the named bitmaps of the program's resources; only `up` is required. FALSE when the
    // up bitmap is missing. Earlier images are given up in any case.
    BOOL LoadBitmaps(const char* up, const char* down = nullptr, const char* focus = nullptr,
                     const char* disabled = nullptr);
    // Binds dialog item `id` of `parent`, loads the images named after its text and sizes the
    // button to the up image. FALSE when there is no such item or no up image; in the latter
    // case the button stays bound and keeps its size.
    BOOL AutoLoad(UINT id, CWnd& parent);
    // Gives the window the up image's size, keeping its position and z-order.
    void SizeToContent();

    HBITMAP UpBitmap() const { return m_bmpUp.get(); }
    HBITMAP DownBitmap() const { return m_bmpDown.get(); }
    HBITMAP FocusBitmap() const { return m_bmpFocus.get(); }
    HBITMAP DisabledBitmap() const { return m_bmpDisabled.get(); }

private:
    // Reflected WM_DRAWITEM: blits the image for the item's state at the item's top left.
    void DrawItem(DRAWITEMSTRUCT* dis);
    // A fast second click is pressed like the first one: the button shows its pressed image and
    // reports BN_CLICKED on release, where an owner-drawn button would only report a double
    // click and never look pressed.
    LRESULT OnLButtonDblClk(WPARAM keys, LPARAM point);

    friend Routed;
    static const MessageMap<CBitmapButton> s_messageMap;
    UniqueBitmap m_bmpUp, m_bmpDown, m_bmpFocus, m_bmpDisabled;
};

} // namespace fw
