#include "pedal/hid_pedals.h"
#include "pedal/shortcuts.h"
#include "pedal/switch_logic.h"
#include "pedal/time_stamp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace pedal;
using Bytes = std::vector<uint8_t>;
using A = TransportAction;

constexpr SwitchSet L = Bit(Switch::Left), M = Bit(Switch::Middle), R = Bit(Switch::Right);

// Each report is handed over in a buffer of exactly its size, so that the sanitizers see any
// read past its end.
std::optional<SwitchSet> Decode(const ReportLayout& layout, const Bytes& report) {
    auto copy = std::make_unique<uint8_t[]>(report.size());
    std::copy(report.begin(), report.end(), copy.get());
    return DecodeReport(layout, {copy.get(), report.size()});
}

TEST(HidPedals, EachKnownPedalDecodesItsReports) {
    struct Case {
        UsbId id;
        std::vector<std::pair<Bytes, std::optional<SwitchSet>>> reports;
    };
    const Case cases[] = {
        // Report ID 0, the button byte, a padding byte.
        {{0x05F3, 0x00FF},
         {{{0, 0x01, 0}, L},
          {{0, 0x02, 0}, M},
          {{0, 0x04, 0}, R},
          {{0, 0x07, 0}, L | M | R},
          {{0, 0x05, 0xFF}, L | R},
          {{0, 0xF8, 0}, 0},
          {{0, 0x02}, M},
          {{0}, 0},
          {{}, std::nullopt},
          {{1, 0x07, 0}, std::nullopt},
          {{0, 0x03, 0, 0, 0, 0, 0, 0, 0}, L | M}}},
        // Report ID 0, the pedals byte, 15 reserved bytes, the unit ID, the program switch.
        {{0x05F3, 0x0268},
         {{{0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0x18}, L},
          {{0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0x18}, M},
          {{0, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0x18}, R},
          {{0, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0x18}, L | R},
          {{0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0x18}, 0},
          {{0, 0x04}, M},
          {{0}, 0}}},
    };
    for (const Case& c : cases) {
        const KnownPedal* pedal = FindKnownPedal(c.id);
        ASSERT_NE(pedal, nullptr) << FormatUsbId(c.id);
        EXPECT_TRUE(pedal->layoutKnown);
        for (const auto& [report, held] : c.reports)
            EXPECT_EQ(Decode(pedal->layout, report), held)
                << pedal->name << " report of " << report.size();
    }
    // A pedal whose bits are not published is recognised but has nothing to decode with.
    const KnownPedal* philips = FindKnownPedal({0x0911, 0x091A});
    ASSERT_NE(philips, nullptr);
    EXPECT_FALSE(philips->layoutKnown);
    EXPECT_FALSE(philips->layout.HasAny());
    EXPECT_EQ(Decode(philips->layout, {0, 0xFF, 0xFF}), 0);
    EXPECT_EQ(FindKnownPedal({0x05F3, 0x0001}), nullptr);
}

TEST(HidPedals, PedalDeviceTextRoundTripsAndRefusesGarbage) {
    EXPECT_EQ(ParseUsbId("05F3:00FF"), (UsbId{0x05F3, 0x00FF}));
    EXPECT_EQ(ParseUsbId("abcd:EF01"), (UsbId{0xABCD, 0xEF01}));
    EXPECT_EQ(FormatUsbId({0x5F3, 0xFF}), "05F3:00FF");
    EXPECT_EQ(FormatUsbId({0xFFFF, 0}), "FFFF:0000");
    for (const char* garbage : {"", "05F3", "05F300FF", "5F3:FF", "05F3:00FF ", " 05F3:00FF",
                                "05F3-00FF", "05G3:00FF", "05F3:+0FF", "005F3:0FF", "05F3:00FF:"})
        EXPECT_FALSE(ParseUsbId(garbage)) << '"' << garbage << '"';
}

TEST(HidPedals, LearningBindsEachSwitchInTurnOnAnUnknownDevice) {
    // A device with report ID 2, a constant byte 0x80 and its buttons in byte 3.
    LayoutLearner learner;
    learner.Start();
    EXPECT_EQ(learner.Asking(), Switch::Left);
    // The first report shows the constant bits as well as the press: nothing is bound.
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x10}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x00}));
    EXPECT_TRUE(learner.Feed(Bytes{2, 0x80, 0, 0x10}));
    EXPECT_EQ(learner.Asking(), Switch::Middle);
    // Still held, then the same switch again, then two at once: none of these binds.
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x10}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x30}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x00}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x10}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x00}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x60}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x00}));
    EXPECT_TRUE(learner.Feed(Bytes{2, 0x80, 0, 0x20}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0x00}));
    // A short report keeps the bytes it lacks; a report with another ID, or reaching beyond what
    // is looked at, binds nothing.
    EXPECT_FALSE(learner.Feed(Bytes{2}));
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0, 0}));
    EXPECT_FALSE(learner.Feed(Bytes{5, 0x01}));
    EXPECT_FALSE(learner.Feed(Bytes{5, 0x00}));
    Bytes longReport(200, 0);
    longReport[0] = 2;
    longReport[1] = 0x80;
    longReport[150] = 1;
    EXPECT_FALSE(learner.Feed(longReport));
    EXPECT_TRUE(learner.Feed(Bytes{2, 0x80, 0x01, 0x00}));
    EXPECT_EQ(learner.Asking(), std::nullopt);
    EXPECT_FALSE(learner.Feed(Bytes{2, 0x80, 0x03, 0x00}));

    const ReportLayout learnt = learner.Layout();
    EXPECT_EQ(learnt, (ReportLayout{2, {{3, 0x10}, {3, 0x20}, {2, 0x01}}}));
    EXPECT_EQ(Decode(learnt, {2, 0x80, 0x01, 0x30}), L | M | R);
    EXPECT_EQ(Decode(learnt, {2, 0x80, 0x01}), R);
    EXPECT_EQ(Decode(learnt, {0, 0x80, 0x01, 0x30}), std::nullopt);
    // Kept as "Pedal Layout" and read back.
    EXPECT_EQ(FormatLayout(learnt), "02 03:10 03:20 02:01");
    EXPECT_EQ(ParseLayout(FormatLayout(learnt)), learnt);
    for (const char* garbage :
         {"", "02 03:10 03:20 02:0", "02 03:10 03:20 02:03", "02 40:10 03:20 02:01",
          "02-03:10 03:20 02:01", "00 00:00 00:00 00:00", "02 03:10 03:20 02:01 "})
        EXPECT_FALSE(ParseLayout(garbage)) << '"' << garbage << '"';

    // A one-switch device: bind the first, leave the rest out.
    learner.Start();
    EXPECT_FALSE(learner.Layout().HasAny());
    EXPECT_FALSE(learner.Feed(Bytes{0, 0x00}));
    EXPECT_TRUE(learner.Feed(Bytes{0, 0x01}));
    learner.Skip();
    EXPECT_EQ(learner.Asking(), std::nullopt);
    EXPECT_EQ(Decode(learner.Layout(), {0, 0xFF}), L);
}

// The settings dialog's HID rows from what Raw Input and the devices report.
TEST(HidPedals, TheListNamesEachDeviceThatCouldBeAPedalOnce) {
    const UsbId infinity{0x05F3, 0x00FF}, philips{0x0911, 0x091A}, other{0x1234, 0xABCD},
        nameless{0x0ABC, 0x0001}, mouse{0x046D, 0xC077}, chosen{0x1111, 0x2222};
    const std::string longName(60, 'x');
    const HidDeviceDescription attached[] = {
        {mouse, 0x01, 0x02, "USB Optical Mouse"},
        {infinity, 0x0C, 0x03, "VEC USB Footpedal"},
        // A second collection of the same device.
        {infinity, 0xFF00, 0x01, "VEC USB Footpedal"},
        {other, 0xFF00, 0x01, "  Foot\tSwitch\x01 Pro  "},
        {nameless, 0x01, 0x04, ""},
        {{0x0B00, 0x0001}, 0x0D, 0x02, "Pen"},
        {{0x0B00, 0x0002}, 0x01, 0x06, "Keyboard"},
        {{0x0C00, 0x0003}, 0x0C, 0x01, longName},
        {philips, 0x0C, 0x01, ""},
        {{}, 0x0C, 0x01, "no IDs"},
    };
    const std::vector<std::pair<UsbId, std::string>> want = {
        {infinity, "HID: Infinity IN-USB (VEC)"},
        {other, "HID: Foot Switch Pro"},
        {nameless, "HID: Périphérique 0ABC:0001"},
        {{0x0C00, 0x0003}, "HID: " + std::string(kMaxProductName, 'x')},
        {philips, "HID: Philips ACC2330"},
        {chosen, "HID: Périphérique 1111:2222"},
    };
    for (const UsbId remembered : {chosen, infinity, UsbId{}}) {
        std::vector<std::pair<UsbId, std::string>> got;
        for (const HidListRow& row : BuildHidRows(attached, remembered))
            got.emplace_back(row.id, row.text);
        // The chosen device is listed once, and last only when it is not attached.
        auto expected = want;
        if (remembered != chosen)
            expected.pop_back();
        EXPECT_EQ(got, expected) << FormatUsbId(remembered);
    }
    EXPECT_TRUE(BuildHidRows({}, {}).empty());
    EXPECT_EQ(BuildHidRows({}, infinity).at(0).text, "HID: Infinity IN-USB (VEC)");
    EXPECT_EQ(CleanProductName("\x7f\x1f "), "");
}

TEST(SwitchLogic, TurnsSwitchChangesIntoTransportActions) {
    struct Step {
        SwitchSet held;
        std::vector<A> actions;
    };
    struct Scenario {
        const char* name;
        SwitchFunctions functions;
        std::vector<Step> steps;
        bool unplugAtEnd;
        std::vector<A> onUnplug;
    };
    using F = SwitchFunction;
    const SwitchFunctions defaults;
    const Scenario scenarios[] = {
        {"each switch alone",
         defaults,
         {{M, {A::Play}},
          {0, {A::PauseAndStepBack}},
          {L, {A::StartRewind}},
          {0, {A::StopWinding}},
          {R, {A::StartFastForward}},
          {R, {}},
          {0, {A::StopWinding}},
          {0, {}}},
         false,
         {}},
        {"the last press wins and hands back",
         defaults,
         {{M, {A::Play}},
          {M | L, {A::PauseAndStepBack, A::StartRewind}},
          {M, {A::StopWinding, A::Play}},
          {M | R, {A::PauseAndStepBack, A::StartFastForward}},
          {M | R | L, {A::StopWinding, A::StartRewind}},
          {M | L, {}},
          {L, {}},
          {0, {A::StopWinding}}},
         false,
         {}},
        {"pressed in one report: the rightmost is last",
         defaults,
         {{L | M | R, {A::StartFastForward}}, {L | M, {A::StopWinding, A::Play}}},
         false,
         {}},
        {"unplugged while held counts as released",
         defaults,
         {{M, {A::Play}}, {M | R, {A::PauseAndStepBack, A::StartFastForward}}},
         true,
         {A::StopWinding}},
        {"play/pause acts on each press and never takes over",
         {{F::PlayPause, F::PlayWhileHeld, F::Nothing}},
         {{L, {A::TogglePlayPause}},
          {0, {}},
          {L, {A::TogglePlayPause}},
          {L | M, {A::Play}},
          {M, {}},
          {M | L, {A::TogglePlayPause}},
          {M | L | R, {}},
          {0, {A::PauseAndStepBack}}},
         false,
         {}},
        {"two switches with one function hand over without a break",
         {{F::PlayWhileHeld, F::PlayWhileHeld, F::Nothing}},
         {{L, {A::Play}}, {L | M, {}}, {M, {}}, {0, {A::PauseAndStepBack}}},
         true,
         {}},
        {"a one-switch pedal plays while held and stops on unplug",
         defaults,
         {{M, {A::Play}}},
         true,
         {A::PauseAndStepBack}},
    };
    for (const Scenario& sc : scenarios) {
        SwitchLogic logic(sc.functions);
        for (std::size_t i = 0; i < sc.steps.size(); ++i) {
            const ActionList got = logic.Update(sc.steps[i].held);
            EXPECT_EQ(std::vector<A>(got.begin(), got.end()), sc.steps[i].actions)
                << sc.name << ", step " << i;
            EXPECT_EQ(logic.Held(), sc.steps[i].held);
        }
        if (sc.unplugAtEnd) {
            const ActionList got = logic.Unplugged();
            EXPECT_EQ(std::vector<A>(got.begin(), got.end()), sc.onUnplug) << sc.name;
            EXPECT_EQ(logic.Held(), 0);
        }
    }
}

TEST(StoredSettings, GarbageFallsBackToDefaults) {
    EXPECT_EQ(FunctionFromStored(Switch::Left, std::nullopt), SwitchFunction::RewindWhileHeld);
    EXPECT_EQ(FunctionFromStored(Switch::Middle, 7), SwitchFunction::PlayWhileHeld);
    EXPECT_EQ(FunctionFromStored(Switch::Right, 0xFFFFFFFF), SwitchFunction::FastForwardWhileHeld);
    EXPECT_EQ(FunctionFromStored(Switch::Right, 0), SwitchFunction::Nothing);
    EXPECT_EQ(FunctionFromStored(Switch::Left, 4), SwitchFunction::PlayPause);

    const Hotkey f9{kVkF9, 0};
    EXPECT_EQ(HotkeyFromStored(std::nullopt, f9), f9);
    EXPECT_EQ(HotkeyFromStored(0, f9), Hotkey{});
    EXPECT_EQ(HotkeyFromStored(0x0477, f9), (Hotkey{kVkF8, kModShift}));
    EXPECT_EQ(HotkeyFromStored(0x0641, f9), (Hotkey{'A', kModShift | kModControl}));
    for (uint32_t garbage : {0x0801u, 0x0001u, 0x0010u, 0x00A1u, 0x00FFu, 0x10078u, 0xFFFFFFFFu})
        EXPECT_EQ(HotkeyFromStored(garbage, f9), f9) << std::hex << garbage;
    for (const ShortcutRow& row : kShortcutRows)
        EXPECT_EQ(HotkeyFromStored(StoredFromHotkey(row.defaultKey), {}), row.defaultKey);
    EXPECT_EQ(StoredFromHotkey({}), 0u);

    EXPECT_EQ(TimeStampFormatFromStored(2), TimeStampFormat::Hash);
    EXPECT_EQ(TimeStampFormatFromStored(3), TimeStampFormat::Seconds);
    EXPECT_EQ(TimeStampFormatFromStored(std::nullopt), TimeStampFormat::Seconds);
}

class FakeSpeed : public SpeedControl {
public:
    int SpeedPercent() const override { return percent; }
    bool SetSpeedPercent(int p) override {
        if (refuse)
            return false;
        percent = p;
        return true;
    }
    int percent = player::kSpeedNormal;
    bool refuse = false;
};

TEST(Shortcuts, DefaultsFindClashesAndSpeedSteps) {
    Shortcuts keys = Shortcuts::Defaults();
    EXPECT_EQ(keys.Find({kVkF9, 0}), ShortcutAction::PlayPause);
    EXPECT_EQ(keys.Find({kVkF7, 0}), ShortcutAction::Back);
    EXPECT_EQ(keys.Find({kVkF8, 0}), ShortcutAction::Forward);
    EXPECT_EQ(keys.Find({kVkF7, kModShift}), ShortcutAction::Slower);
    EXPECT_EQ(keys.Find({kVkF8, kModShift}), ShortcutAction::Faster);
    EXPECT_EQ(keys.Find({kVkF6, 0}), ShortcutAction::TimeStamp);
    EXPECT_EQ(keys.Find({kVkF6, kModControl}), std::nullopt);
    EXPECT_EQ(keys.FindDuplicate(), std::nullopt);
    // The pedal's key is swallowed with any modifier: F8 takes Forward (and Faster) away.
    EXPECT_EQ(keys.ClashWithPedalKey(kVkF8), ShortcutAction::Forward);
    EXPECT_EQ(keys.ClashWithPedalKey(0x7B), std::nullopt);
    keys[ShortcutAction::Forward] = {};
    EXPECT_EQ(keys.ClashWithPedalKey(kVkF8), ShortcutAction::Faster);
    EXPECT_EQ(keys.Find({0, 0}), std::nullopt);
    keys[ShortcutAction::TimeStamp] = {kVkF9, 0};
    EXPECT_EQ(keys.FindDuplicate(), ShortcutAction::TimeStamp);

    EXPECT_EQ(HotkeyText({kVkF9, 0}), "F9");
    EXPECT_EQ(HotkeyText({kVkF8, kModShift}), "Maj+F8");
    EXPECT_EQ(HotkeyText({'P', kModControl | kModAlt}), "Ctrl+Alt+P");
    EXPECT_EQ(HotkeyText({0x87, 0}), "F24");
    EXPECT_EQ(HotkeyText({0xBA, 0}), "touche BA");

    EXPECT_EQ(SeekStepUnits(0), 10'000'000);
    EXPECT_EQ(SeekStepUnits(25), 25'000'000);
    EXPECT_EQ(SeekStepUnits(-3), 10'000'000);

    FakeSpeed speed;
    EXPECT_TRUE(ApplySpeedShortcut(ShortcutAction::Faster, speed));
    EXPECT_EQ(speed.percent, 105);
    speed.percent = 198;
    EXPECT_TRUE(ApplySpeedShortcut(ShortcutAction::Faster, speed));
    EXPECT_EQ(speed.percent, 200);
    EXPECT_FALSE(ApplySpeedShortcut(ShortcutAction::Faster, speed));
    speed.percent = 50;
    EXPECT_FALSE(ApplySpeedShortcut(ShortcutAction::Slower, speed));
    EXPECT_FALSE(ApplySpeedShortcut(ShortcutAction::Back, speed));
    speed.percent = 100;
    speed.refuse = true;
    EXPECT_FALSE(ApplySpeedShortcut(ShortcutAction::Slower, speed));
    EXPECT_EQ(StepSpeed(1000, -1), 195);
    EXPECT_EQ(StepSpeed(0, 1), 55);
    EXPECT_EQ(StepSpeed(100, -1000000000), 50);

    // The dialog's hotkey controls swap Shift and Alt; modifiers alone are no shortcut.
    for (const Hotkey key : {Hotkey{kVkF9, 0}, Hotkey{kVkF8, kModShift}, Hotkey{'P', kModAlt},
                             Hotkey{'Q', kModControl | kModShift}, Hotkey{}}) {
        EXPECT_EQ(HotkeyFromControl(ControlFromHotkey(key)), key) << HotkeyText(key);
    }
    EXPECT_EQ(ControlFromHotkey({kVkF7, kModShift}), 0x0176);
    EXPECT_EQ(HotkeyFromControl(0x0476), (Hotkey{kVkF7, kModAlt}));
    EXPECT_TRUE(HotkeyFromControl(0x0600).IsOff());

    // What OK refuses, the first problem in row order.
    struct Problem {
        ShortcutAction action;
        Hotkey key;
        uint8_t pedalVk;
        const char* says; // empty: accepted
    };
    const Problem problems[] = {
        {ShortcutAction::TimeStamp,
         {kVkF9, 0},
         0,
         "Le raccourci « Horodatage » (F9) est déjà celui de « Lecture / pause »."},
        {ShortcutAction::Back,
         {kVkF8, kModShift},
         0,
         "Le raccourci « Accélérer » (Maj+F8) est déjà celui de « Reculer »."},
        {ShortcutAction::Slower, {'A', 0}, 0, "« Ralentir » (A) empêcherait de taper"},
        {ShortcutAction::Slower, {' ', kModShift}, 0, "« Ralentir » (Maj+touche 20)"},
        {ShortcutAction::Slower, {0x6B, 0}, 0, "empêcherait de taper"},
        {ShortcutAction::Slower, {'A', kModControl}, 0, ""},
        {ShortcutAction::Slower, {0x13, 0}, 0, ""},
        {ShortcutAction::TimeStamp,
         {'X', kModAlt},
         'X',
         "Le raccourci « Horodatage » (Alt+X) utilise la touche de la pédale."},
        {ShortcutAction::TimeStamp, {}, kVkF6, ""},
    };
    for (const Problem& p : problems) {
        Shortcuts chosen = Shortcuts::Defaults();
        chosen[p.action] = p.key;
        const std::optional<std::string> problem = ShortcutsProblem(chosen, p.pedalVk);
        if (*p.says == 0)
            EXPECT_EQ(problem, std::nullopt) << HotkeyText(p.key);
        else
            EXPECT_NE(problem.value_or("").find(p.says), std::string::npos)
                << HotkeyText(p.key) << ": " << problem.value_or("accepted");
    }

    for (int vk : {0, 1, 2, 4, 0x10, 0x11, 0x12, 0xA0, 0xA5, 0x5B, 0xFF, 300, -1})
        EXPECT_FALSE(IsUsableKey(vk)) << vk;
    for (int vk : {0x08, 0x13, 0x41, 0x75, 0x87, 0xA6, 0xFE})
        EXPECT_TRUE(IsUsableKey(vk)) << vk;
}

TEST(TimeStamps, FormatsTruncateThePosition) {
    struct Case {
        int64_t position;
        const char *seconds, *tenths, *hash;
    };
    const Case cases[] = {
        {79'900'000, "[00:00:07]", "[00:00:07.9]", "#00:00:07-9#"},
        {0, "[00:00:00]", "[00:00:00.0]", "#00:00:00-0#"},
        {-5'000'000, "[00:00:00]", "[00:00:00.0]", "#00:00:00-0#"},
        {(3600LL + 61) * 10'000'000 + 4'999'999, "[01:01:01]", "[01:01:01.4]", "#01:01:01-4#"},
        {359'999'999'999LL, "[09:59:59]", "[09:59:59.9]", "#09:59:59-9#"},
        {100LL * 3600 * 10'000'000, "[100:00:00]", "[100:00:00.0]", "#100:00:00-0#"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatTimeStamp(TimeStampFormat::Seconds, c.position), c.seconds);
        EXPECT_EQ(FormatTimeStamp(TimeStampFormat::Tenths, c.position), c.tenths);
        EXPECT_EQ(FormatTimeStamp(TimeStampFormat::Hash, c.position), c.hash);
    }
    EXPECT_EQ(FormatTimeStamp(TimeStampFormat::Seconds, INT64_MAX).front(), '[');
}

TEST(SwitchLogic, WindingStaysWithinTheRecording) {
    EXPECT_EQ(WindStep(50'000'000, 100'000'000, true), 60'000'000);
    EXPECT_EQ(WindStep(50'000'000, 100'000'000, false), 40'000'000);
    EXPECT_EQ(WindStep(95'000'000, 100'000'000, true), 100'000'000);
    EXPECT_EQ(WindStep(5'000'000, 100'000'000, false), 0);
    EXPECT_EQ(WindStep(5'000'000, 0, true), 0);
}

} // namespace

// Polls every 4 ms: a press shows at its first echo, a late echo keeps the switch held, and the
// release shows once no echo has come for the whole margin.
TEST(EchoFilter, PressAtOnceReleaseAfterTheMargin) {
    struct Poll {
        int64_t atMs;
        bool echoed;
        bool held;
    };
    constexpr int64_t kMargin = EchoFilter::kReleaseAfterMs;
    const Poll polls[] = {
        {0, false, false},
        {4, true, true},
        {4 + kMargin - 1, false, true},
        {4 + kMargin, true, true},
        {4 + 2 * kMargin - 1, false, true},
        {4 + 2 * kMargin, false, false},
        {8 + 2 * kMargin, false, false},
        {12 + 2 * kMargin, true, true},
    };
    EchoFilter filter;
    for (const Poll& p : polls)
        EXPECT_EQ(filter.Read(p.echoed, p.atMs), p.held) << "poll at " << p.atMs << " ms";
}

// The release wait learnt from the port: the first wait until enough gaps are known, then twice
// the longest kept gap (an adapter's 16 ms bursts) but never more than the longest wait, and
// the shortest wait once only 5 ms polls are kept. Each step holds the switch with `echoes`
// echoes `gapMs` apart, then checks the wait; silence then releases exactly after it.
TEST(EchoFilter, LearnsHowLateThePortEchoes) {
    struct Step {
        int echoes;
        int gapMs;
        int releaseAfterMs;
    };
    const Step steps[] = {
        {EchoFilter::kGapsToLearn - 1, 5, EchoFilter::kReleaseAfterMs},
        {1, 16, 32},
        {1, 31, EchoFilter::kLongestReleaseMs},
        {EchoFilter::kGapsKept - 2, 5, EchoFilter::kLongestReleaseMs},
        {1, 5, EchoFilter::kLongestReleaseMs},
        {1, 5, EchoFilter::kShortestReleaseMs},
    };
    EchoFilter filter;
    int64_t now = 0;
    ASSERT_TRUE(filter.Read(true, now));
    for (const Step& step : steps) {
        for (int i = 0; i < step.echoes; ++i) {
            for (int64_t t = now + 1; t < now + step.gapMs; ++t)
                ASSERT_TRUE(filter.Read(false, t)) << "at " << t << " ms";
            now += step.gapMs;
            ASSERT_TRUE(filter.Read(true, now));
        }
        EXPECT_EQ(filter.ReleaseAfterMs(), step.releaseAfterMs) << "after gaps of " << step.gapMs;
    }
    // Silence: held one millisecond short of the wait, released at it, and pressed again by the
    // next echo with what was learnt kept.
    const int wait = filter.ReleaseAfterMs();
    EXPECT_TRUE(filter.Read(false, now + wait - 1));
    EXPECT_FALSE(filter.Read(false, now + wait));
    EXPECT_TRUE(filter.Read(true, now + wait + 5));
    EXPECT_EQ(filter.ReleaseAfterMs(), wait);
}
