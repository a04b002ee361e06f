#include "framework/controls.h"

namespace fw {

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

} // namespace fw
