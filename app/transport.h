// The parts of the toolbar's timer loop that need no window: the foot switch's two armed flags,
// the step back on release, the position slider's scale and the two read-outs with their
// caches. The window calls these once per tick; nothing here touches the player or the port.
#pragma once

#include <string>

namespace transport {

// What one reading of the switch asks of the player.
enum class PedalAction {
    None,
    // Run the recording.
    Play,
    // Pause (if playing) and step back by the auto-rewind amount.
    PauseAndStepBack,
};

// The switch's state between ticks. Both flags start armed, so the first reading after start-up
// is acted on whichever it is; afterwards exactly one of them is armed.
struct PedalSwitch {
    int m_bPressArmed = 1;
    int m_bReleaseArmed = 1;

    // One reading: acts on a press only when a press is armed, on a release only when a release
    // is armed, and arms the other.
    PedalAction Read(bool bPressed);
};

// The position after a release: `seconds` minus the auto-rewind amount, never before 0.
double StepBack(double seconds, int nAutoRewindTenths);

// The position slider's value (0 to 199) for a position; 0 while there is no duration. Positions
// at or past the end give 199 or more, which the slider holds at 199.
int PositionSliderValue(double seconds, double duration);
// The position for a slider value: value / 200 of the duration.
double PositionFromSlider(int nValue, double duration);

// Seconds as whole minutes and the rest; negative positions count as 0.
struct MinutesSeconds {
    int nMinutes = 0;
    double dSeconds = 0;
};
MinutesSeconds SplitMinutes(double seconds);

// "mm:ss.s  mm:ss.s": position, two blanks, duration. The seconds are rounded to one decimal
// while the minutes are truncated, so 59.96 s reads "00:60.0".
std::string FormatTime(MinutesSeconds position, MinutesSeconds duration);
// "3.4  Sec" for 34 tenths.
std::string FormatAutoRewind(int nTenths);

// The speed slider: one step per speed the player offers, 0 for the slowest.
int SpeedSliderMax();
int SpeedSliderValue(int percent);
int SpeedFromSlider(int nValue);
// "75 %".
std::string FormatSpeed(int percent);

// The read-outs as last written, so that a tick rewrites a text only when its value changed
// (exact comparison). Everything starts at -1000, which no real value equals: the first tick
// writes both texts over the template's.
class ReadoutCache {
public:
    // True (and remembers the values) when any of the four differs from what was last shown.
    bool TimeChanged(MinutesSeconds position, MinutesSeconds duration);
    bool AutoRewindChanged(int nTenths);

private:
    MinutesSeconds m_position{-1000, -1000};
    MinutesSeconds m_duration{-1000, -1000};
    int m_nAutoRewind = -1000;
};

} // namespace transport
