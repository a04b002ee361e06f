// The keyboard pedal's hook, the global shortcuts, typing a time stamp and the Raw Input
// registration, under Wine. Key events come from SendInput here, which the system hands to
// low-level hooks as it does a keyboard's; tests/app/keyboard_pedal_test.sh drives the program
// with real X key events.
#include "pedal/keyboard_input.h"
#include "pedal/raw_input_reader.h"
#include "tests/tools/key_input.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

using pedal::ShortcutAction;

constexpr UINT kPedalMessage = WM_APP + 7;

// Handles this thread's messages for `ms` milliseconds, keeping what reached `window`.
std::vector<MSG> Pump(HWND window, DWORD ms) {
    std::vector<MSG> kept;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        MSG m;
        while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.hwnd == window && m.message >= WM_APP)
                kept.push_back(m);
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return kept;
}

using qdtest::SendKey;

struct Window {
    explicit Window(const char* cls, DWORD style = 0)
        : hwnd(::CreateWindowExA(0, cls, "", style, 10, 10, 300, 60, nullptr, nullptr, nullptr,
                                 nullptr)) {}
    ~Window() { ::DestroyWindow(hwnd); }
    HWND hwnd;
};

TEST(KeyPedalHook, ReportsPressAndReleaseOnceAndSwallowsTheKey) {
    // The focused window stands for the word processor.
    Window target("EDIT", WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    ::SetForegroundWindow(target.hwnd);
    ::SetFocus(target.hwnd);
    CKeyPedalHook hook;
    EXPECT_FALSE(hook.Start(0x10, target.hwnd, kPedalMessage)); // Shift alone
    EXPECT_FALSE(hook.Start(0x01, target.hwnd, kPedalMessage)); // a mouse button
    ASSERT_TRUE(hook.Start('X', target.hwnd, kPedalMessage));

    // Down, two auto-repeats, up; another key in between is left alone.
    SendKey('X', true);
    SendKey('X', true);
    SendKey('Y', true);
    SendKey('Y', false);
    SendKey('X', true);
    std::vector<MSG> got = Pump(target.hwnd, 300);
    EXPECT_TRUE(hook.IsHeld());
    SendKey('X', false);
    const std::vector<MSG> after = Pump(target.hwnd, 300);
    got.insert(got.end(), after.begin(), after.end());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, kPedalMessage);
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(got[1].wParam, 0u);
    EXPECT_FALSE(hook.IsHeld());
    // X never reached the window; Y did.
    char text[16] = {};
    ::GetWindowTextA(target.hwnd, text, sizeof text);
    EXPECT_STREQ(text, "y");

    // Stopped while held: the release is reported at once.
    SendKey('X', true);
    Pump(target.hwnd, 200);
    ASSERT_TRUE(hook.IsHeld());
    hook.Stop();
    got = Pump(target.hwnd, 200);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, 0u);
    SendKey('X', false);
}

TEST(GlobalShortcuts, RegistersEachKeyAndNamesThoseAnotherProgramHolds) {
    Window first("STATIC"), second("STATIC");
    CGlobalShortcuts shortcuts;
    pedal::Shortcuts keys = pedal::Shortcuts::Defaults();
    EXPECT_TRUE(shortcuts.Register(first.hwnd, keys).empty());

    // Another holder of the same keys, with two shortcuts changed and one off: only those still
    // on a key the first holds are refused.
    CGlobalShortcuts other;
    keys[ShortcutAction::PlayPause] = {VK_F11, pedal::kModControl};
    keys[ShortcutAction::TimeStamp] = {};
    keys[ShortcutAction::Faster] = {VK_F12, pedal::kModAlt};
    const std::vector<ShortcutAction> taken = other.Register(second.hwnd, keys);
    EXPECT_EQ(taken, (std::vector<ShortcutAction>{ShortcutAction::Back, ShortcutAction::Forward,
                                                  ShortcutAction::Slower}));

    // Once the first lets go, everything registers.
    shortcuts.Unregister();
    EXPECT_TRUE(other.Register(second.hwnd, keys).empty());

    for (int i = 0; i < pedal::kShortcutCount; ++i)
        EXPECT_EQ(CGlobalShortcuts::ActionOf(CGlobalShortcuts::kFirstId + i),
                  static_cast<ShortcutAction>(i));
    EXPECT_EQ(CGlobalShortcuts::ActionOf(CGlobalShortcuts::kFirstId - 1), std::nullopt);
    EXPECT_EQ(CGlobalShortcuts::ActionOf(CGlobalShortcuts::kFirstId + 6), std::nullopt);
}

TEST(TypeText, TypesUnicodeIntoTheFocusedWindow) {
    Window edit("EDIT", WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    ::SetForegroundWindow(edit.hwnd);
    ::SetFocus(edit.hwnd);
    Pump(edit.hwnd, 200);
    ASSERT_TRUE(TypeText(L"[00:00:07] \u00e9t\u00e9"));
    Pump(edit.hwnd, 300);
    wchar_t text[64] = {};
    ::GetWindowTextW(edit.hwnd, text, 64);
    EXPECT_EQ(std::wstring(text), L"[00:00:07] \u00e9t\u00e9");
    EXPECT_TRUE(TypeText(L""));
}

struct Recorder : CRawInputReader::Listener {
    void OnHidReport(std::span<const uint8_t> report) override {
        reports.emplace_back(report.begin(), report.end());
    }
    void OnHidPresence(bool present) override { presence.push_back(present); }
    std::vector<std::vector<uint8_t>> reports;
    std::vector<bool> presence;
};

std::vector<RAWINPUTDEVICE> Registered() {
    UINT count = 0;
    ::GetRegisteredRawInputDevices(nullptr, &count, sizeof(RAWINPUTDEVICE));
    std::vector<RAWINPUTDEVICE> list(count);
    if (count)
        ::GetRegisteredRawInputDevices(list.data(), &count, sizeof(RAWINPUTDEVICE));
    return list;
}

// No HID device can be attached here: what the system allows without one is the registration,
// the device list, and the unplugging notice.
TEST(RawInputReader, RegistersForTheDevicesCollectionAndSeesItUnplugged) {
    for (const HidDeviceInfo& device : ListHidDevices())
        EXPECT_NE(device.handle, nullptr);
    Recorder recorder;
    CRawInputReader reader;
    EXPECT_FALSE(reader.Start({0x05F3, 0x00FF}, recorder));
    EXPECT_FALSE(reader.IsStarted());

    const HANDLE fake = reinterpret_cast<HANDLE>(0x5EDA1);
    ASSERT_TRUE(reader.StartOn({fake, {0x05F3, 0x00FF}, 0x0C, 0x03}, recorder));
    EXPECT_TRUE(reader.IsPresent());
    std::vector<RAWINPUTDEVICE> list = Registered();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].usUsagePage, 0x0C);
    EXPECT_EQ(list[0].usUsage, 0x03);
    EXPECT_EQ(list[0].dwFlags, static_cast<DWORD>(RIDEV_INPUTSINK | RIDEV_DEVNOTIFY));
    const HWND window = list[0].hwndTarget;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::GetParent(window), nullptr);

    // Another device leaving changes nothing; ours leaving is reported once.
    ::SendMessageW(window, WM_INPUT_DEVICE_CHANGE, GIDC_REMOVAL, 0x1234);
    EXPECT_TRUE(recorder.presence.empty());
    ::SendMessageW(window, WM_INPUT_DEVICE_CHANGE, GIDC_REMOVAL, reinterpret_cast<LPARAM>(fake));
    ::SendMessageW(window, WM_INPUT_DEVICE_CHANGE, GIDC_REMOVAL, reinterpret_cast<LPARAM>(fake));
    EXPECT_EQ(recorder.presence, std::vector<bool>{false});
    EXPECT_FALSE(reader.IsPresent());
    // A WM_INPUT whose handle the system does not know brings no report.
    ::SendMessageW(window, WM_INPUT, RIM_INPUTSINK, 0x4321);
    EXPECT_TRUE(recorder.reports.empty());

    reader.Stop();
    EXPECT_TRUE(Registered().empty());
    EXPECT_FALSE(::IsWindow(window));
}

} // namespace
