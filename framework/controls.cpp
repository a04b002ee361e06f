#include "framework/controls.h"

namespace fw {

std::string CComboBox::GetLBText(int row) const {
    const LRESULT length = SendMessage(CB_GETLBTEXTLEN, row);
    if (length == CB_ERR)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessage(CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

RECT CSliderCtrl::GetThumbRect() const {
    RECT rc{};
    SendMessage(TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&rc));
    return rc;
}

RECT CSliderCtrl::GetChannelRect() const {
    RECT rc{};
    SendMessage(TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&rc));
    return rc;
}

bool TrackMouseLeave(const CWnd& wnd) {
    TRACKMOUSEEVENT request{};
    request.cbSize = sizeof request;
    request.dwFlags = TME_LEAVE;
    request.hwndTrack = wnd.m_hWnd;
    return ::_TrackMouseEvent(&request) != FALSE;
}

} // namespace fw
