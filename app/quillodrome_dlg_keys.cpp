// The toolbar's pedals and keys: the global shortcuts, the pedal's presses and releases as they
// come (from the reader's worker, the keyboard hook or the HID port), and what a HID pedal's
// switches ask for.
#include "app/quillodrome_dlg.h"

#include "framework/timer.h"
#include "pedal/port_catalogue.h"

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
    // The port already knows its switches. A port the worker reads posts its own readings.
    if (!m_bPedalActive || m_pedal.IsReading() || m_pedal.IsBusy())
        return 0;
    CPort* port = m_pedal.Port();
    if (!port)
        return 0;
    double position = CurrentPosition();
    RunPedal(port->ReadSwitches(), port->GetType() == pedal::TypeCode(pedal::PortKind::Hid),
             position);
    RefreshAfterPedal();
    return 0;
}

LRESULT CQuillodromeDlg::OnPedalReading(WPARAM held, LPARAM tag) {
    // A reading stopped since it posted this (the port handed over, replaced or closed).
    if (!m_pedal.IsCurrent(tag))
        return 0;
    // The worker ended on a closed port: collected here, reconnected by the tick.
    if (m_pedal.HasEnded())
        m_pedal.Stop();
    double position = CurrentPosition();
    RunPedal(static_cast<pedal::SwitchSet>(held), false, position);
    RefreshAfterPedal();
    return 0;
}

void CQuillodromeDlg::RefreshAfterPedal() {
    ShowPedal();
    // The read-outs show a step back at once, as they did when the tick itself saw the release.
    OnTimer(fw::kWindowTimerId);
}

void CQuillodromeDlg::WirePort() {
    if (CPort* port = m_pedal.Port())
        port->NotifyTo(m_hWnd, kKeyPedalMessage);
}

void CQuillodromeDlg::RunPedal(pedal::SwitchSet held, bool multiSwitch, double& position) {
    m_nPedalHeld = held;
    if (multiSwitch) {
        RunSwitchActions(m_switchLogic.Update(held), position);
        return;
    }
    switch (m_pedalSwitch.Read(held != 0)) {
    case transport::PedalAction::Play:
        Play();
        break;
    case transport::PedalAction::PauseAndStepBack:
        PauseAndStepBack(position);
        break;
    case transport::PedalAction::None:
        break;
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
