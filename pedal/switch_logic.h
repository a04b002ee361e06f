// What each pedal switch does, how it is stored, and how changes of the switches become
// transport actions.
//
// Windows-free: built and tested natively as well.
#pragma once

#include "pedal/hid_pedals.h"

#include <cstdint>
#include <optional>

namespace pedal {

// A switch's function, stored as its code (REG_DWORD) in "Pedal Left", "Pedal Middle" and
// "Pedal Right". The codes are part of every typist's profile: never renumber them.
enum class SwitchFunction : uint32_t {
    // The switch does nothing.
    Nothing = 0,
    // Plays while held; on release pauses and steps back by the auto-rewind amount.
    PlayWhileHeld = 1,
    // While held, the position moves back 1 s every 100 ms (ten times real speed, in steps:
    // the player seeks, it does not play backwards). Playing or paused stays as it was.
    RewindWhileHeld = 2,
    // The same forwards.
    FastForwardWhileHeld = 3,
    // Each press toggles between playing and paused; the release does nothing.
    PlayPause = 4,
};

inline constexpr int kSwitchFunctionCount = 5;
// What the settings dialog lists for each switch, in code order.
inline constexpr const char* kSwitchFunctionLabels[kSwitchFunctionCount] = {
    "Rien", "Lecture tant qu'elle est appuyée", "Retour rapide tant qu'elle est appuyée",
    "Avance rapide tant qu'elle est appuyée", "Lecture/pause à chaque appui"};

inline constexpr const char* kSwitchValueNames[kSwitchCount] = {"Pedal Left", "Pedal Middle",
                                                                "Pedal Right"};
// The HID pedal chosen ("Port Type" 5), as "VVVV:PPPP" (FormatUsbId).
inline constexpr const char* kPedalDeviceValueName = "Pedal Device";

// A one-switch pedal (serial, USB on the FTDI chip, keyboard key) is its middle switch, so it
// plays while held unless the typist chose otherwise.
inline constexpr SwitchFunction kDefaultFunctions[kSwitchCount] = {
    SwitchFunction::RewindWhileHeld, SwitchFunction::PlayWhileHeld,
    SwitchFunction::FastForwardWhileHeld};

struct SwitchFunctions {
    SwitchFunction of[kSwitchCount] = {kDefaultFunctions[0], kDefaultFunctions[1],
                                       kDefaultFunctions[2]};
    SwitchFunction operator[](Switch s) const { return of[static_cast<int>(s)]; }
};

// The function a stored value names; a missing value or an unknown code gives the switch's
// default, which the program then writes back.
SwitchFunction FunctionFromStored(Switch s, std::optional<uint32_t> stored);

// What the toolbar is asked to do.
enum class TransportAction : uint8_t {
    Play,
    PauseAndStepBack,
    TogglePlayPause,
    StartRewind,
    StartFastForward,
    StopWinding,
};

// The actions one change of the switches asks for, in order.
struct ActionList {
    static constexpr int kMax = 2 * kSwitchCount + 2;
    TransportAction items[kMax];
    int count = 0;

    void Add(TransportAction a) { items[count++] = a; }
    const TransportAction* begin() const { return items; }
    const TransportAction* end() const { return items + count; }
};

// Turns successive switch states into transport actions.
//
// Two switches held at once: the last press wins. Of the switches held whose function lasts
// while held (play, rewind, fast-forward), the one pressed last drives the transport; its
// press ends what the earlier one was doing exactly as a release would (play pauses and steps
// back, winding stops). Releasing it hands the transport back to the latest-pressed switch
// still held, as if that one were pressed again; two switches with the same function hand over
// without a break. Switches pressed within one report count from left to right, so the
// rightmost is the last. Play/pause and nothing act on the press alone and never take over.
// A pedal unplugged while held counts as released.
class SwitchLogic {
public:
    explicit SwitchLogic(const SwitchFunctions& functions = {}) : m_functions(functions) {}

    ActionList Update(SwitchSet held);
    ActionList Unplugged() { return Update(0); }
    SwitchSet Held() const { return m_held; }

private:
    std::optional<Switch> Driving() const;

    SwitchFunctions m_functions;
    SwitchSet m_held = 0;
    // Switches with a lasting function, in the order they were pressed.
    Switch m_order[kSwitchCount] = {};
    int m_orderCount = 0;
};

// A loop-back switch (serial, USB) read every few milliseconds: each poll tells whether a probe
// came back since the previous one. A press counts at the first echo. A release counts only once
// no echo has come for a while, because echoes come late now and then (a USB-serial adapter
// holds received bytes for up to 16 ms, a busy machine delays the poll or the far end), and a
// held switch must not flicker released between two of them. How long is learnt from the port
// itself: twice the longest gap between echoes over its last kGapsKept gaps while held, so a
// port that echoes every poll lets go within kShortestReleaseMs and an adapter that holds its
// bytes waits for them. Until the port has shown kGapsToLearn gaps, a release waits
// kReleaseAfterMs, enough for any adapter.
class EchoFilter {
public:
    static constexpr int kReleaseAfterMs = 25;
    static constexpr int kShortestReleaseMs = 12;
    static constexpr int kLongestReleaseMs = 60;
    static constexpr int kGapsToLearn = 8;
    // About a second of holding at the reader's quick pace.
    static constexpr int kGapsKept = 200;

    // One poll at `nowMs` (any steadily increasing millisecond clock): true while held.
    bool Read(bool echoed, int64_t nowMs);
    // How long a held switch must stay silent to count as released now.
    int ReleaseAfterMs() const { return m_releaseAfterMs; }

private:
    void Learn(int64_t gapMs);

    bool m_held = false;
    int64_t m_lastEchoMs = 0;
    int m_releaseAfterMs = kReleaseAfterMs;
    // The last gaps between echoes while held, in a ring.
    int m_gaps[kGapsKept] = {};
    int m_gapCount = 0;
    int m_nextGap = 0;
};

// One winding step: the position 1 s further back or on, kept within 0 and the duration.
// 100-nanosecond units, as the player counts.
inline constexpr int64_t kWindStepUnits = 10'000'000;
inline constexpr int kWindStepMilliseconds = 100;
int64_t WindStep(int64_t position, int64_t duration, bool forward);

} // namespace pedal
