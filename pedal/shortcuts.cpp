#include "pedal/shortcuts.h"

#include <algorithm>
#include <cstdio>

namespace pedal {

const ShortcutRow kShortcutRows[kShortcutCount] = {
    {ShortcutAction::PlayPause, "Shortcut Play Pause", {kVkF9, 0}, "Lecture / pause"},
    {ShortcutAction::Back, "Shortcut Back", {kVkF7, 0}, "Reculer"},
    {ShortcutAction::Forward, "Shortcut Forward", {kVkF8, 0}, "Avancer"},
    {ShortcutAction::Slower, "Shortcut Slower", {kVkF7, kModShift}, "Ralentir"},
    {ShortcutAction::Faster, "Shortcut Faster", {kVkF8, kModShift}, "Accélérer"},
    {ShortcutAction::TimeStamp, "Shortcut Time Stamp", {kVkF6, 0}, "Horodatage"},
};

Shortcuts Shortcuts::Defaults() {
    Shortcuts s;
    for (const ShortcutRow& row : kShortcutRows)
        s[row.action] = row.defaultKey;
    return s;
}

std::optional<ShortcutAction> Shortcuts::Find(Hotkey pressed) const {
    if (pressed.IsOff())
        return std::nullopt;
    for (int i = 0; i < kShortcutCount; ++i) {
        if (keys[i] == pressed)
            return static_cast<ShortcutAction>(i);
    }
    return std::nullopt;
}

std::optional<ShortcutAction> Shortcuts::ClashWithPedalKey(uint8_t pedalVk) const {
    for (int i = 0; i < kShortcutCount; ++i) {
        if (!keys[i].IsOff() && keys[i].vk == pedalVk)
            return static_cast<ShortcutAction>(i);
    }
    return std::nullopt;
}

std::optional<ShortcutAction> Shortcuts::FindDuplicate() const {
    for (int i = 1; i < kShortcutCount; ++i) {
        if (!keys[i].IsOff() && std::find(keys, keys + i, keys[i]) != keys + i)
            return static_cast<ShortcutAction>(i);
    }
    return std::nullopt;
}

std::string HotkeyText(Hotkey key) {
    std::string text;
    if (key.modifiers & kModControl)
        text += "Ctrl+";
    if (key.modifiers & kModAlt)
        text += "Alt+";
    if (key.modifiers & kModShift)
        text += "Maj+";
    char name[16];
    if (key.vk >= 0x70 && key.vk <= 0x87)
        std::snprintf(name, sizeof name, "F%d", key.vk - 0x70 + 1);
    else if ((key.vk >= '0' && key.vk <= '9') || (key.vk >= 'A' && key.vk <= 'Z'))
        std::snprintf(name, sizeof name, "%c", key.vk);
    else
        std::snprintf(name, sizeof name, "touche %02X", key.vk);
    return text + name;
}

namespace {
// The hotkey control's modifier bits against RegisterHotKey's: Shift and Alt swap places.
constexpr uint8_t kControlShift = 0x1, kControlCtrl = 0x2, kControlAlt = 0x4;

std::string Quoted(ShortcutAction action) {
    return std::string("« ") + kShortcutRows[static_cast<int>(action)].label + " »";
}
} // namespace

Hotkey HotkeyFromControl(uint16_t value) {
    const auto vk = static_cast<uint8_t>(value & 0xFF);
    const auto bits = static_cast<uint8_t>(value >> 8);
    if (!IsUsableKey(vk))
        return {};
    uint8_t modifiers = 0;
    modifiers |= (bits & kControlShift) ? kModShift : 0;
    modifiers |= (bits & kControlCtrl) ? kModControl : 0;
    modifiers |= (bits & kControlAlt) ? kModAlt : 0;
    return {vk, modifiers};
}

uint16_t ControlFromHotkey(Hotkey key) {
    if (key.IsOff())
        return 0;
    uint8_t bits = 0;
    bits |= (key.modifiers & kModShift) ? kControlShift : 0;
    bits |= (key.modifiers & kModControl) ? kControlCtrl : 0;
    bits |= (key.modifiers & kModAlt) ? kControlAlt : 0;
    return static_cast<uint16_t>(key.vk | bits << 8);
}

bool TypesCharacter(Hotkey key) {
    if (key.IsOff() || (key.modifiers & (kModControl | kModAlt)) != 0)
        return false;
    const uint8_t vk = key.vk;
    return vk == 0x20 || (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') ||
           (vk >= 0x60 && vk <= 0x6F) || // numeric keypad
           (vk >= 0xBA && vk <= 0xC0) || (vk >= 0xDB && vk <= 0xDF) || vk == 0xE2;
}

std::optional<std::string> ShortcutsProblem(const Shortcuts& shortcuts, uint8_t pedalVk) {
    for (int i = 0; i < kShortcutCount; ++i) {
        const auto action = static_cast<ShortcutAction>(i);
        const Hotkey key = shortcuts.keys[i];
        if (key.IsOff())
            continue;
        const std::string named = Quoted(action) + " (" + HotkeyText(key) + ")";
        if (const auto first = shortcuts.Find(key); first && *first != action)
            return "Le raccourci " + named + " est déjà celui de " + Quoted(*first) +
                   ".\nChoisissez une autre touche.";
        if (pedalVk != 0 && key.vk == pedalVk)
            return "Le raccourci " + named +
                   " utilise la touche de la pédale.\nChoisissez une autre touche.";
        if (TypesCharacter(key))
            return "Le raccourci " + named +
                   " empêcherait de taper ce caractère dans les autres programmes.\n"
                   "Ajoutez-lui Ctrl ou Alt, ou choisissez une touche de fonction.";
    }
    return std::nullopt;
}

uint32_t StoredFromHotkey(Hotkey key) {
    return key.IsOff() ? 0 : key.vk | static_cast<uint32_t>(key.modifiers) << 8;
}

Hotkey HotkeyFromStored(std::optional<uint32_t> stored, Hotkey defaultKey) {
    if (!stored)
        return defaultKey;
    if (*stored == 0)
        return {};
    const uint32_t modifiers = *stored >> 8;
    const int vk = static_cast<int>(*stored & 0xFF);
    if (modifiers > (kModAlt | kModControl | kModShift) || !IsUsableKey(vk))
        return defaultKey;
    return {static_cast<uint8_t>(vk), static_cast<uint8_t>(modifiers)};
}

bool IsUsableKey(int vk) {
    switch (vk) {
    case 0x01: // left, right and middle mouse buttons, Ctrl+Break, X buttons
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x10: // Shift, Ctrl, Alt and their left and right forms, the Windows keys
    case 0x11:
    case 0x12:
    case 0x5B:
    case 0x5C:
        return false;
    default:
        return vk > 0 && vk < 0xFF && !(vk >= 0xA0 && vk <= 0xA5);
    }
}

int64_t SeekStepUnits(int autoRewindTenths) {
    return autoRewindTenths > 0 ? int64_t{autoRewindTenths} * 1'000'000 : 10'000'000;
}

int StepSpeed(int percent, int steps) {
    const int64_t target = std::clamp(percent, player::kSpeedMin, player::kSpeedMax) +
                           int64_t{steps} * player::kSpeedStep;
    return static_cast<int>(std::clamp<int64_t>(target, player::kSpeedMin, player::kSpeedMax));
}

bool ApplySpeedShortcut(ShortcutAction action, SpeedControl& speed) {
    if (action != ShortcutAction::Slower && action != ShortcutAction::Faster)
        return false;
    const int now = speed.SpeedPercent();
    const int next = StepSpeed(now, action == ShortcutAction::Faster ? 1 : -1);
    return next != now && speed.SetSpeedPercent(next);
}

} // namespace pedal
