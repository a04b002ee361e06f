// Views of the common dialog controls that the program's windows bind by data exchange.
//
// Each wrapper owns nothing: it names the control's messages (bitmap of a static, rows of a
// combo box, range and position of a trackbar or a progress bar) so that callers do not pack
// parameters by hand. A class derived from one of them and subclassed onto its control
// (DDX_Control) also gets the control's messages and its reflected notifications through its
// message map.
#pragma once

#include "framework/wnd.h"

#include <commctrl.h>

#include <string>

namespace fw {

// A static control: text, or an image when it has the SS_BITMAP style.
class CStatic : public CWnd {
public:
    CStatic() = default;
    explicit CStatic(HWND wnd) : CWnd(wnd) {}

    // Only an SS_BITMAP static takes the image; the caller keeps owning `bitmap` and must keep
    // it alive while it is shown. The control hands back the image it showed before and
    // deletes nothing. When that is not the one given here last, it is the picture the dialog
    // template made the control load (or a copy the control made of one of ours): nobody else
    // holds it, so it is deleted here.
    void SetBitmap(HBITMAP bitmap) {
        auto previous = reinterpret_cast<HBITMAP>(
            SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
        if (previous && previous != m_hShown && previous != bitmap)
            ::DeleteObject(previous);
        m_hShown = bitmap;
    }
    HBITMAP GetBitmap() const {
        return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
    }

private:
    HBITMAP m_hShown = nullptr;
};

// A drop-down list (combo box). Rows are addressed by their 0-based index; CB_ERR (-1) means
// none.
class CComboBox : public CWnd {
public:
    CComboBox() = default;
    explicit CComboBox(HWND wnd) : CWnd(wnd) {}

    // Returns the new row's index (at the end of an unsorted list), or CB_ERR.
    int AddString(const char* text) const {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    void ResetContent() const { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    // The selected row, or CB_ERR when none is.
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    // -1 clears the selection. Sends no CBN_SELCHANGE: only the user's choices do.
    int SetCurSel(int row) const { return static_cast<int>(SendMessage(CB_SETCURSEL, row)); }
    // The text of `row`; empty when there is no such row.
    std::string GetLBText(int row) const;
};

// A trackbar (msctls_trackbar32).
class CSliderCtrl : public CWnd {
public:
    CSliderCtrl() = default;
    explicit CSliderCtrl(HWND wnd) : CWnd(wnd) {}

    void SetRange(int minimum, int maximum, BOOL redraw = FALSE) const {
        SendMessage(TBM_SETRANGEMIN, FALSE, minimum);
        SendMessage(TBM_SETRANGEMAX, redraw, maximum);
    }
    int GetRangeMin() const { return static_cast<int>(SendMessage(TBM_GETRANGEMIN)); }
    int GetRangeMax() const { return static_cast<int>(SendMessage(TBM_GETRANGEMAX)); }
    int GetPos() const { return static_cast<int>(SendMessage(TBM_GETPOS)); }
    // The trackbar keeps the position inside its range by itself.
    void SetPos(int pos, BOOL redraw = TRUE) const { SendMessage(TBM_SETPOS, redraw, pos); }
    RECT GetThumbRect() const;
    RECT GetChannelRect() const;
};

// A progress bar (msctls_progress32).
class CProgressCtrl : public CWnd {
public:
    CProgressCtrl() = default;
    explicit CProgressCtrl(HWND wnd) : CWnd(wnd) {}

    // The classic 16-bit range message: low word the lower bound, high word the upper.
    void SetRange(short lower, short upper) const {
        SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
    }
    // Returns the previous position; the bar clamps the new one to its range.
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, pos)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

// Asks the system for one WM_MOUSELEAVE to `wnd` once the pointer leaves it. The request ends
// with that message; a window that wants the next one asks again after it.
bool TrackMouseLeave(const CWnd& wnd);

} // namespace fw
