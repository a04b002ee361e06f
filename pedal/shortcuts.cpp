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
