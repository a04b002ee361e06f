// The toolbar's keyboard: the global shortcuts.
#include "app/quillodrome_dlg.h"

#include <algorithm>
#include <string>

LRESULT CQuillodromeDlg::OnHotKey(WPARAM id, LPARAM) {
    const std::optional<pedal::ShortcutAction> action = CGlobalShortcuts::ActionOf(id);
    if (!action || !m_bFileLoaded || !m_player.m_pSeeking)
        return 0;
    LONGLONG position = 0;
    m_player.m_pSeeking->GetCurrentPosition(&position);
    switch (*action) {
    case pedal::ShortcutAction::PlayPause:
        if (IsRunning())
            OnPause();
        else
            Play();
        break;
    case pedal::ShortcutAction::Back:
    case pedal::ShortcutAction::Forward: {
        const LONGLONG step = pedal::SeekStepUnits(m_nAutoRewind);
        const LONGLONG end = static_cast<LONGLONG>(m_dDuration * 10'000'000);
        const LONGLONG target =
            *action == pedal::ShortcutAction::Back ? position - step : position + step;
        SeekTo(std::clamp<LONGLONG>(target, 0, std::max<LONGLONG>(end, 0)) / 10'000'000.0);
        break;
    }
    case pedal::ShortcutAction::Slower:
    case pedal::ShortcutAction::Faster:
        pedal::ApplySpeedShortcut(*action, *this);
        break;
    case pedal::ShortcutAction::TimeStamp: {
        const std::string stamp = pedal::FormatTimeStamp(m_timeStampFormat, position);
        TypeText(std::wstring(stamp.begin(), stamp.end()));
        break;
    }
    }
    return 0;
}

bool CQuillodromeDlg::IsRunning() const {
    OAFilterState state = State_Stopped;
    return m_player.m_pControl && SUCCEEDED(m_player.m_pControl->GetState(0, &state)) &&
           state == State_Running;
}

bool CQuillodromeDlg::SetSpeedPercent(int percent) {
    if (!m_player.m_pSeeking || FAILED(m_player.m_pSeeking->SetRate(percent / 100.0)))
        return false;
    m_nSpeed = percent;
    return true;
}
