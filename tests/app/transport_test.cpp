// The timer loop's window-free rules: the foot switch's transitions, the step back, the slider
// scale and the read-outs.
#include "app/transport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using transport::PedalAction;

struct SwitchCase {
    const char* name;
    std::vector<bool> readings;
    std::vector<PedalAction> actions;
};

class PedalSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(PedalSwitchTest, ActsOnlyOnTransitions) {
    transport::PedalSwitch pedal;
    std::vector<PedalAction> seen;
    for (bool pressed : GetParam().readings)
        seen.push_back(pedal.Read(pressed));
    EXPECT_EQ(seen, GetParam().actions);
    EXPECT_NE(pedal.m_bPressArmed, pedal.m_bReleaseArmed) << "exactly one flag stays armed";
}

constexpr auto P = PedalAction::Play;
constexpr auto R = PedalAction::PauseAndStepBack;
constexpr auto N = PedalAction::None;

INSTANTIATE_TEST_SUITE_P(
    Readings, PedalSwitchTest,
    ::testing::Values(
        // A reopened recording with the pedal up steps back once, at the first reading.
        SwitchCase{"FirstReadingUp", {false, false, false}, {R, N, N}},
        SwitchCase{"FirstReadingDown", {true, true, false, false}, {P, N, R, N}},
        SwitchCase{"Alternating", {false, true, false, true, false}, {R, P, R, P, R}},
        SwitchCase{"HeldThroughManyTicks", {true, true, true, true, false}, {P, N, N, N, R}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Transport, StepBackNeverGoesBeforeTheStart) {
    struct {
        double from;
        int tenths;
        double to;
    } cases[] = {{10.35, 20, 8.35}, {1.2, 50, 0}, {0, 20, 0}, {5.0, 0, 5.0}, {3.4, 34, 0}};
    for (const auto& c : cases)
        EXPECT_NEAR(transport::StepBack(c.from, c.tenths), c.to, 1e-9)
            << c.from << " - " << c.tenths;
}

TEST(Transport, PositionSliderScale) {
    EXPECT_EQ(transport::PositionSliderValue(0, 125.5), 0);
    EXPECT_EQ(transport::PositionSliderValue(62.75, 125.5), 100);
    EXPECT_EQ(transport::PositionSliderValue(125.0, 125.5), 199);
    EXPECT_EQ(transport::PositionSliderValue(125.5, 125.5), 200) << "the slider itself holds 199";
    EXPECT_EQ(transport::PositionSliderValue(30, 0), 0) << "no file, no division by zero";
    EXPECT_EQ(transport::PositionSliderValue(1e300, 1), 1000000) << "no overflow";
    EXPECT_DOUBLE_EQ(transport::PositionFromSlider(100, 125.5), 62.75);
}

TEST(Transport, ReadoutTexts) {
    using transport::FormatTime;
    using transport::SplitMinutes;
    EXPECT_EQ(FormatTime(SplitMinutes(8.35), SplitMinutes(125.5)), "00:08.3  02:05.5");
    EXPECT_EQ(FormatTime(SplitMinutes(59.96), SplitMinutes(0)), "00:60.0  00:00.0");
    EXPECT_EQ(FormatTime(SplitMinutes(-3), SplitMinutes(3600.04)), "00:00.0  60:00.0");
    EXPECT_EQ(transport::FormatAutoRewind(34), "3.4  Sec");
    EXPECT_EQ(transport::FormatAutoRewind(0), "0.0  Sec");
    EXPECT_EQ(transport::FormatAutoRewind(50), "5.0  Sec");
}

TEST(Transport, SpeedSliderHasOneStepPerOfferedSpeed) {
    EXPECT_EQ(transport::SpeedSliderMax(), 30);
    const struct {
        int percent;
        int value;
    } both[] = {{50, 0}, {75, 5}, {100, 10}, {150, 20}, {200, 30}};
    for (auto [percent, value] : both) {
        EXPECT_EQ(transport::SpeedSliderValue(percent), value) << percent;
        EXPECT_EQ(transport::SpeedFromSlider(value), percent) << value;
    }
    EXPECT_EQ(transport::SpeedFromSlider(-1), 50) << "the slider's own limits hold";
    EXPECT_EQ(transport::SpeedFromSlider(31), 200);
    EXPECT_EQ(transport::FormatSpeed(75), "75 %");
    EXPECT_EQ(transport::FormatSpeed(200), "200 %");
}

TEST(Transport, ReadoutCacheRewritesOnlyOnChange) {
    transport::ReadoutCache cache;
    const auto zero = transport::SplitMinutes(0);
    EXPECT_TRUE(cache.TimeChanged(zero, zero)) << "the first tick replaces the template text";
    EXPECT_FALSE(cache.TimeChanged(zero, zero));
    EXPECT_TRUE(cache.TimeChanged(zero, transport::SplitMinutes(125.5))) << "a new duration";
    EXPECT_FALSE(cache.TimeChanged(zero, transport::SplitMinutes(125.5)));
    EXPECT_TRUE(cache.TimeChanged(transport::SplitMinutes(0.1), transport::SplitMinutes(125.5)));
    EXPECT_TRUE(cache.AutoRewindChanged(0));
    EXPECT_FALSE(cache.AutoRewindChanged(0));
    EXPECT_TRUE(cache.AutoRewindChanged(34));
}

} // namespace
