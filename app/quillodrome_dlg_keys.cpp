// The toolbar's keyboard and multi-switch pedals: the global shortcuts, the keyboard pedal's
// immediate presses, and what a HID pedal's switches ask for.
#include "app/quillodrome_dlg.h"

#include "framework/timer.h"
#include "pedal/key_port.h"

#include <algorithm>
#include <string>

LRESULT CQuillodromeDlg::OnHotKey(WPARAM id, LPARAM) {
    const std::optional<pedal::ShortcutAction> action = CGlobalShortcuts::ActionOf(id);
    if (!action || !m_bFileLoaded || !m_player->IsOpen())
        return 0;
    const LONGLONG position = m_player->Position();
    switch (*action) {
    case pedal::ShortcutAction::PlayPause:
        TogglePlayPause();
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

bool CQuillodromeDlg::SetSpeedPercent(int percent) {
    m_sliderSpeed.SetPos(transport::SpeedSliderValue(percent), TRUE);
    SetSpeed(percent);
    return true;
}

LRESULT CQuillodromeDlg::OnKeyPedal(WPARAM, LPARAM) {
    // The tick reads the port, which already knows the key's state.
    if (m_bPedalActive)
        OnTimer(fw::kWindowTimerId);
    return 0;
}

void CQuillodromeDlg::WireKeyPedal() {
    auto* key = dynamic_cast<CKeyPort*>(m_pPort.get());
    if (!key)
        return;
    key->NotifyTo(m_hWnd, kKeyPedalMessage);
    // Opened by the settings dialog before it could be told: again, now telling the window.
    if (key->IsOpen()) {
        key->Close();
        key->Open();
    }
}

void CQuillodromeDlg::RunSwitchActions(const pedal::ActionList& actions, double& position) {
    for (const pedal::TransportAction action : actions) {
        switch (action) {
        case pedal::TransportAction::Play:
            Play();
            break;
        case pedal::TransportAction::PauseAndStepBack:
            PauseAndStepBack(position);
            break;
        case pedal::TransportAction::TogglePlayPause:
            TogglePlayPause();
            break;
        case pedal::TransportAction::StartRewind:
        case pedal::TransportAction::StartFastForward:
            m_nWind = action == pedal::TransportAction::StartRewind ? -1 : 1;
            ::SetTimer(m_hWnd, kWindTimerId, pedal::kWindStepMilliseconds, nullptr);
            OnWindStep();
            break;
        case pedal::TransportAction::StopWinding:
            m_nWind = 0;
            ::KillTimer(m_hWnd, kWindTimerId);
            break;
        }
    }
}

void CQuillodromeDlg::OnWindStep() {
    if (m_nWind == 0 || !m_player->IsOpen())
        return;
    const LONGLONG position = m_player->Position();
    const auto duration = static_cast<int64_t>(m_dDuration * 10'000'000);
    SeekTo(pedal::WindStep(position, duration, m_nWind > 0) / 10'000'000.0);
}

void CQuillodromeDlg::TogglePlayPause() {
    if (m_player->IsPlaying())
        m_player->Pause();
    else
        Play();
}
