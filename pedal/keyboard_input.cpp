#include "pedal/keyboard_input.h"

CKeyPedalHook* CKeyPedalHook::s_active = nullptr;

CKeyPedalHook::~CKeyPedalHook() {
    Stop();
}

bool CKeyPedalHook::Start(uint8_t vk, HWND target, UINT message) {
    Stop();
    if (!pedal::IsUsableKey(vk))
        return false;
    if (s_active)
        s_active->Stop();
    m_hook = ::SetWindowsHookExA(WH_KEYBOARD_LL, &HookProc, ::GetModuleHandleA(nullptr), 0);
    if (!m_hook)
        return false;
    m_vk = vk;
    m_target = target;
    m_message = message;
    m_held = false;
    s_active = this;
    return true;
}

bool CKeyPedalHook::StartCapture(HWND target, UINT message) {
    // Any usable key will do until one is pressed.
    if (!Start(0x41, target, message))
        return false;
    m_capturing = true;
    return true;
}

void CKeyPedalHook::Stop() {
    if (!m_hook)
        return;
    ::UnhookWindowsHookEx(m_hook);
    m_hook = nullptr;
    if (s_active == this)
        s_active = nullptr;
    // Unhooked while held: the release will not be seen, so it is reported now.
    if (m_held && m_target && !m_capturing)
        ::PostMessageA(m_target, m_message, 0, 0);
    m_held = false;
    m_capturing = false;
}

LRESULT CALLBACK CKeyPedalHook::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && s_active) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        if (s_active->OnKey(key, down))
            return 1;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

bool CKeyPedalHook::OnKey(const KBDLLHOOKSTRUCT& key, bool down) {
    if (m_capturing && down && pedal::IsUsableKey(static_cast<int>(key.vkCode))) {
        m_capturing = false;
        m_vk = static_cast<uint8_t>(key.vkCode);
        m_held = true;
        if (m_target)
            ::PostMessageA(m_target, m_message, m_vk, 0);
        return true;
    }
    if (m_capturing || key.vkCode != m_vk)
        return false;
    // Held keys repeat their key-down: only a change is a press or a release.
    if (down != m_held) {
        m_held = down;
        if (m_target)
            ::PostMessageA(m_target, m_message, down ? 1 : 0, 0);
    }
    return true;
}

CGlobalShortcuts::~CGlobalShortcuts() {
    Unregister();
}

std::vector<pedal::ShortcutAction> CGlobalShortcuts::Register(HWND target,
                                                              const pedal::Shortcuts& shortcuts) {
    Unregister();
    m_target = target;
    std::vector<pedal::ShortcutAction> taken;
    for (int i = 0; i < pedal::kShortcutCount; ++i) {
        const pedal::Hotkey key = shortcuts.keys[i];
        if (key.IsOff())
            continue;
        // MOD_NOREPEAT: a held F9 toggles once, not ten times a second.
        m_registered[i] =
            ::RegisterHotKey(target, kFirstId + i, key.modifiers | MOD_NOREPEAT, key.vk) != FALSE;
        if (!m_registered[i])
            taken.push_back(static_cast<pedal::ShortcutAction>(i));
    }
    return taken;
}

void CGlobalShortcuts::Unregister() {
    for (int i = 0; i < pedal::kShortcutCount; ++i) {
        if (m_registered[i])
            ::UnregisterHotKey(m_target, kFirstId + i);
        m_registered[i] = false;
    }
    m_target = nullptr;
}

std::optional<pedal::ShortcutAction> CGlobalShortcuts::ActionOf(WPARAM id) {
    if (id < static_cast<WPARAM>(kFirstId) ||
        id >= static_cast<WPARAM>(kFirstId + pedal::kShortcutCount))
        return std::nullopt;
    return static_cast<pedal::ShortcutAction>(id - kFirstId);
}

bool TypeText(std::wstring_view text) {
    std::vector<INPUT> events;
    events.reserve(text.size() * 2);
    for (wchar_t c : text) {
        INPUT event{};
        event.type = INPUT_KEYBOARD;
        event.ki.wScan = static_cast<WORD>(c);
        event.ki.dwFlags = KEYEVENTF_UNICODE;
        events.push_back(event);
        event.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        events.push_back(event);
    }
    if (events.empty())
        return true;
    return ::SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT)) ==
           events.size();
}
