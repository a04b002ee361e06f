#include "app/transport.h"

#include "player/speed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace transport {

PedalAction PedalSwitch::Read(bool bPressed) {
    if (bPressed) {
        if (!m_bPressArmed)
            return PedalAction::None;
        m_bPressArmed = 0;
        m_bReleaseArmed = 1;
        return PedalAction::Play;
    }
    if (!m_bReleaseArmed)
        return PedalAction::None;
    m_bReleaseArmed = 0;
    m_bPressArmed = 1;
    return PedalAction::PauseAndStepBack;
}

double StepBack(double seconds, int nAutoRewindTenths) {
    const double stepped = seconds - nAutoRewindTenths / 10.0;
    return stepped < 0 ? 0 : stepped;
}

int PositionSliderValue(double seconds, double duration) {
    if (!(duration > 0))
        return 0;
    const double value = std::trunc(seconds * 200.0 / duration);
    // A position the player reports far past the end must not overflow the conversion.
    if (value > 1e6)
        return 1000000;
    if (value < -1e6)
        return -1000000;
    return static_cast<int>(value);
}

double PositionFromSlider(int nValue, double duration) {
    return nValue / 200.0 * duration;
}

MinutesSeconds SplitMinutes(double seconds) {
    if (seconds < 0)
        seconds = 0;
    const int nMinutes = static_cast<int>(std::trunc(seconds / 60.0));
    return {nMinutes, seconds - 60.0 * nMinutes};
}

std::string FormatTime(MinutesSeconds position, MinutesSeconds duration) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%04.1f  %02d:%04.1f", position.nMinutes,
                  position.dSeconds, duration.nMinutes, duration.dSeconds);
    return text;
}

std::string FormatAutoRewind(int nTenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%3.1f  Sec", nTenths / 10.0);
    return text;
}

int SpeedSliderMax() {
    return (player::kSpeedMax - player::kSpeedMin) / player::kSpeedStep;
}

int SpeedSliderValue(int percent) {
    return (std::clamp(percent, player::kSpeedMin, player::kSpeedMax) - player::kSpeedMin) /
           player::kSpeedStep;
}

int SpeedFromSlider(int nValue) {
    return player::kSpeedMin + std::clamp(nValue, 0, SpeedSliderMax()) * player::kSpeedStep;
}

std::string FormatSpeed(int percent) {
    return std::to_string(percent) + " %";
}

bool ReadoutCache::TimeChanged(MinutesSeconds position, MinutesSeconds duration) {
    if (position.nMinutes == m_position.nMinutes && position.dSeconds == m_position.dSeconds &&
        duration.nMinutes == m_duration.nMinutes && duration.dSeconds == m_duration.dSeconds)
        return false;
    m_position = position;
    m_duration = duration;
    return true;
}

bool ReadoutCache::AutoRewindChanged(int nTenths) {
    if (nTenths == m_nAutoRewind)
        return false;
    m_nAutoRewind = nTenths;
    return true;
}

} // namespace transport
