// The global shortcuts for a typist without a pedal, the key a keyboard pedal sends, and the
// speed they step.
//
// Keys are Windows virtual-key codes and modifiers RegisterHotKey's MOD_ALT, MOD_CONTROL and
// MOD_SHIFT bits, so that the window layer hands them to the system unchanged.
//
// Windows-free: built and tested natively as well.
#pragma once

#include "player/speed.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pedal {

inline constexpr uint8_t kVkF6 = 0x75;
inline constexpr uint8_t kVkF7 = 0x76;
inline constexpr uint8_t kVkF8 = 0x77;
inline constexpr uint8_t kVkF9 = 0x78;

inline constexpr uint8_t kModAlt = 0x1;
inline constexpr uint8_t kModControl = 0x2;
inline constexpr uint8_t kModShift = 0x4;

// A key with its modifiers; a key code of 0 means the shortcut is turned off.
struct Hotkey {
    uint8_t vk = 0;
    uint8_t modifiers = 0;

    bool IsOff() const { return vk == 0; }
    bool operator==(const Hotkey&) const = default;
};

enum class ShortcutAction : uint8_t {
    // Plays or pauses.
    PlayPause,
    // Back by the auto-rewind amount (SeekStepUnits).
    Back,
    // Forward by the same.
    Forward,
    // Speed down by one speed step (5 points).
    Slower,
    // Speed up by the same.
    Faster,
    // Types the current position into the focused window (time_stamp.h).
    TimeStamp,
};
inline constexpr int kShortcutCount = 6;

// One row per shortcut, in ShortcutAction order: its stored value (REG_DWORD, see
// StoredFromHotkey), its key unless the typist changed it, and its French label.
struct ShortcutRow {
    ShortcutAction action;
    const char* valueName;
    Hotkey defaultKey;
    const char* label;
};
extern const ShortcutRow kShortcutRows[kShortcutCount];

struct Shortcuts {
    Hotkey keys[kShortcutCount];

    // Every shortcut on its default key.
    static Shortcuts Defaults();
    Hotkey& operator[](ShortcutAction a) { return keys[static_cast<int>(a)]; }
    Hotkey operator[](ShortcutAction a) const { return keys[static_cast<int>(a)]; }
    // The shortcut `pressed` (key and exact modifiers) triggers, if any.
    std::optional<ShortcutAction> Find(Hotkey pressed) const;
    // The first shortcut a keyboard pedal sending `pedalVk` would take away: the pedal's key is
    // swallowed whatever the modifiers, so any shortcut on that key clashes.
    std::optional<ShortcutAction> ClashWithPedalKey(uint8_t pedalVk) const;
    // The later of the first two shortcuts set on the same key and modifiers, if any.
    std::optional<ShortcutAction> FindDuplicate() const;
};

// How the settings name a key to the typist: "F9", "Maj+F8", "Ctrl+Alt+P".
std::string HotkeyText(Hotkey key);

// What a hotkey control (HKM_GETHOTKEY, HKM_SETHOTKEY) holds: the key code in the low byte, its
// own modifier bits (HOTKEYF_SHIFT 1, HOTKEYF_CONTROL 2, HOTKEYF_ALT 4, HOTKEYF_EXT 8) in the
// high one. A control left empty, or holding modifiers alone, is a shortcut turned off.
Hotkey HotkeyFromControl(uint16_t value);
uint16_t ControlFromHotkey(Hotkey key);

// True when `key` types a character in the focused program (a letter, a digit, the space bar,
// punctuation, the numeric keypad's digits and signs) unless Ctrl or Alt goes with it: taken
// as a global shortcut, that character could no longer be typed anywhere.
bool TypesCharacter(Hotkey key);

// Why the typist's shortcuts cannot be kept, in French, or nothing when they can: two on the
// same key, one on the keyboard pedal's key (`pedalVk`, 0 when the pedal is not a key), or one
// that types a character. The first problem found, in row order.
std::optional<std::string> ShortcutsProblem(const Shortcuts& shortcuts, uint8_t pedalVk);

// Stored form: key code in bits 0-7, modifiers in bits 8-15, 0 for a shortcut turned off.
uint32_t StoredFromHotkey(Hotkey key);
// A missing value, or one that is not a usable key (unknown bits, a mouse button, a modifier key
// on its own), gives the default, which the program then writes back.
Hotkey HotkeyFromStored(std::optional<uint32_t> stored, Hotkey defaultKey);

// A key a keyboard pedal can send and a shortcut can use: not a mouse button, not a modifier on
// its own, not 0 or 255.
bool IsUsableKey(int vk);

// How far F7 and F8 move: the auto-rewind amount (tenths of a second), or 1 s when that is 0.
// 100-nanosecond units.
int64_t SeekStepUnits(int autoRewindTenths);

// `percent` moved by `steps` of the player's speed step, kept within its speeds
// (player/speed.h).
int StepSpeed(int percent, int steps);

// What the speed shortcuts need of the player; the toolbar implements it over the audio engine.
class SpeedControl {
public:
    virtual ~SpeedControl() = default;
    virtual int SpeedPercent() const = 0;
    // Returns false when the player cannot change its speed (nothing happens then).
    virtual bool SetSpeedPercent(int percent) = 0;
};

// Slower or Faster on `speed`; false when the speed did not change (already at its end, or the
// player refused).
bool ApplySpeedShortcut(ShortcutAction action, SpeedControl& speed);

} // namespace pedal
