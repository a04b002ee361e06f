// The keyboard as pedal and remote control: a key pedal seen through a low-level keyboard hook,
// the global shortcuts through the system's hot keys, and typing a time stamp into whatever
// window has the focus.
#pragma once

#include "pedal/shortcuts.h"

#include <windows.h>

#include <string_view>
#include <vector>

// CKeyPedalHook: one key as a foot switch, whichever program has the focus. A low-level hook on
// the calling thread (which must run a message loop) sees the key go down and up, swallows both
// so the focused program never receives them, and ignores the key's auto-repeat. Each press or
// release is posted at once to the target window as `message` with wParam 1 (down) or 0 (up).
// One hook per process: a second Start moves it.
class CKeyPedalHook {
public:
    CKeyPedalHook() = default;
    ~CKeyPedalHook();
    CKeyPedalHook(const CKeyPedalHook&) = delete;
    CKeyPedalHook& operator=(const CKeyPedalHook&) = delete;

    // False when the key is not usable (pedal::IsUsableKey) or the hook cannot be installed.
    bool Start(uint8_t vk, HWND target, UINT message);
    // "Press the pedal's key": the next usable key that goes down, whichever it is, is posted to
    // `target` as `message` with wParam its key code, swallowed, and watched from then on as
    // Start would (its release is swallowed too).
    bool StartCapture(HWND target, UINT message);
    void Stop();
    bool IsStarted() const { return m_hook != nullptr; }
    bool IsHeld() const { return m_held; }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    // True when the event was the pedal's and is swallowed.
    bool OnKey(const KBDLLHOOKSTRUCT& key, bool down);

    static CKeyPedalHook* s_active;
    HHOOK m_hook = nullptr;
    uint8_t m_vk = 0;
    HWND m_target = nullptr;
    UINT m_message = 0;
    bool m_held = false;
    bool m_capturing = false;
};

// CGlobalShortcuts: the shortcuts as hot keys of a window, so they work while another program
// has the focus and the key never reaches it. WM_HOTKEY's identifier names the action
// (ActionOf).
class CGlobalShortcuts {
public:
    static constexpr int kFirstId = 0x5100;

    CGlobalShortcuts() = default;
    ~CGlobalShortcuts();
    CGlobalShortcuts(const CGlobalShortcuts&) = delete;
    CGlobalShortcuts& operator=(const CGlobalShortcuts&) = delete;

    // Registers every shortcut that is on for `target`, replacing what was registered. Returns
    // the actions whose key another program already holds; the others work.
    std::vector<pedal::ShortcutAction> Register(HWND target, const pedal::Shortcuts& shortcuts);
    void Unregister();
    // The action of a WM_HOTKEY identifier, if it is one of ours.
    static std::optional<pedal::ShortcutAction> ActionOf(WPARAM id);

private:
    HWND m_target = nullptr;
    bool m_registered[pedal::kShortcutCount] = {};
};

// Types `text` into the window that has the keyboard focus, as Unicode characters (SendInput,
// KEYEVENTF_UNICODE), whatever its keyboard layout. False when the system did not take every
// event (another desktop, input blocked).
bool TypeText(std::wstring_view text);
