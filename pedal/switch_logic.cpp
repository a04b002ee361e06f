#include "pedal/switch_logic.h"

#include <algorithm>

namespace pedal {

namespace {

bool Lasts(SwitchFunction f) {
    return f == SwitchFunction::PlayWhileHeld || f == SwitchFunction::RewindWhileHeld ||
           f == SwitchFunction::FastForwardWhileHeld;
}

void Begin(SwitchFunction f, ActionList& actions) {
    if (f == SwitchFunction::PlayWhileHeld)
        actions.Add(TransportAction::Play);
    else if (f == SwitchFunction::RewindWhileHeld)
        actions.Add(TransportAction::StartRewind);
    else if (f == SwitchFunction::FastForwardWhileHeld)
        actions.Add(TransportAction::StartFastForward);
}

void End(SwitchFunction f, ActionList& actions) {
    if (f == SwitchFunction::PlayWhileHeld)
        actions.Add(TransportAction::PauseAndStepBack);
    else if (f == SwitchFunction::RewindWhileHeld || f == SwitchFunction::FastForwardWhileHeld)
        actions.Add(TransportAction::StopWinding);
}

} // namespace

SwitchFunction FunctionFromStored(Switch s, std::optional<uint32_t> stored) {
    if (stored && *stored <= static_cast<uint32_t>(SwitchFunction::PlayPause))
        return static_cast<SwitchFunction>(*stored);
    return kDefaultFunctions[static_cast<int>(s)];
}

std::optional<Switch> SwitchLogic::Driving() const {
    if (m_orderCount == 0)
        return std::nullopt;
    return m_order[m_orderCount - 1];
}

ActionList SwitchLogic::Update(SwitchSet held) {
    held &= static_cast<SwitchSet>((1u << kSwitchCount) - 1);
    ActionList actions;
    const std::optional<Switch> before = Driving();
    const SwitchSet released = m_held & ~held;
    const SwitchSet pressed = held & ~m_held;
    m_held = held;

    m_orderCount =
        static_cast<int>(std::remove_if(m_order, m_order + m_orderCount,
                                        [released](Switch s) { return (released & Bit(s)) != 0; }) -
                         m_order);
    for (int i = 0; i < kSwitchCount; ++i) {
        const auto s = static_cast<Switch>(i);
        if ((pressed & Bit(s)) == 0)
            continue;
        if (m_functions[s] == SwitchFunction::PlayPause)
            actions.Add(TransportAction::TogglePlayPause);
        else if (Lasts(m_functions[s]))
            m_order[m_orderCount++] = s;
    }

    const std::optional<Switch> after = Driving();
    const SwitchFunction was = before ? m_functions[*before] : SwitchFunction::Nothing;
    const SwitchFunction now = after ? m_functions[*after] : SwitchFunction::Nothing;
    if (before != after && was != now) {
        End(was, actions);
        Begin(now, actions);
    }
    return actions;
}

int64_t WindStep(int64_t position, int64_t duration, bool forward) {
    const int64_t target = forward ? position + kWindStepUnits : position - kWindStepUnits;
    return std::clamp<int64_t>(target, 0, std::max<int64_t>(duration, 0));
}

bool EchoFilter::Read(bool echoed, int64_t nowMs) {
    if (echoed) {
        if (m_held)
            Learn(nowMs - m_lastEchoMs);
        m_held = true;
        m_lastEchoMs = nowMs;
    } else if (m_held && nowMs - m_lastEchoMs >= m_releaseAfterMs) {
        m_held = false;
    }
    return m_held;
}

void EchoFilter::Learn(int64_t gapMs) {
    m_gaps[m_nextGap] = static_cast<int>(std::min<int64_t>(gapMs, kLongestReleaseMs));
    m_nextGap = (m_nextGap + 1) % kGapsKept;
    m_gapCount = std::min(m_gapCount + 1, kGapsKept);
    if (m_gapCount < kGapsToLearn)
        return;
    const int longest = *std::max_element(m_gaps, m_gaps + m_gapCount);
    m_releaseAfterMs = std::clamp(2 * longest, kShortestReleaseMs, kLongestReleaseMs);
}

} // namespace pedal
