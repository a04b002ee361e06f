// The speed stretcher on generated tones: pitch, duration and position at each speed, no click
// when the speed changes, and the step back replayed from memory.
#include "player/speed_stretcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using player::SpeedStretcher;
using player::StreamFormat;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr StreamFormat kDevice{48000, 2};

// A tone of `freq` Hz; with `sweepTo` the frequency glides there, so that no two stretches of
// the signal look alike.
std::vector<float> Tone(StreamFormat f, double seconds, double freq, float amp,
                        double sweepTo = 0) {
    size_t frames = static_cast<size_t>(seconds * f.rate);
    std::vector<float> out(frames * f.channels);
    double phase = 0;
    for (size_t i = 0; i < frames; ++i) {
        double now = sweepTo ? freq + (sweepTo - freq) * i / frames : freq;
        phase += 2 * kPi * now / f.rate;
        for (unsigned c = 0; c < f.channels; ++c)
            out[i * f.channels + c] = amp * static_cast<float>(std::sin(phase));
    }
    return out;
}

// Feeds `input` as a decoder would (whatever room there is) while rendering device blocks of
// 10 ms; stops after `seconds` of device time, or at the end when `seconds` is 0.
std::vector<float> Play(SpeedStretcher& s, const std::vector<float>& input, size_t& fed,
                        double seconds = 0) {
    const unsigned rc = s.Recording().channels, dc = s.Device().channels;
    const int64_t block = s.Device().rate / 100;
    std::vector<float> out;
    std::vector<float> buf(block * dc);
    for (int64_t done = 0; seconds == 0 || done < seconds * s.Device().rate; done += block) {
        int64_t left = static_cast<int64_t>((input.size() / rc) - fed);
        fed += s.Append(input.data() + fed * rc, std::min(left, s.Room()));
        if (fed * rc == input.size())
            s.MarkEnd();
        s.Render(buf.data(), block);
        out.insert(out.end(), buf.begin(), buf.end());
        if (s.Finished())
            break;
    }
    return out;
}

std::vector<float> Channel(const std::vector<float>& v, unsigned channels, unsigned c) {
    std::vector<float> out;
    for (size_t i = c; i < v.size(); i += channels)
        out.push_back(v[i]);
    return out;
}

// Frequency from the upward zero crossings (interpolated) in [from, to).
double Frequency(const std::vector<float>& x, size_t from, size_t to, unsigned rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to && i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            double t = i - 1 + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

// Frames from the first to the last sample louder than half of `amp`.
double LoudSeconds(const std::vector<float>& x, float amp, unsigned rate) {
    auto loud = [amp](float v) { return std::fabs(v) > amp / 2; };
    auto first = std::find_if(x.begin(), x.end(), loud);
    auto last = std::find_if(x.rbegin(), x.rend(), loud);
    return first == x.end() ? 0
                            : static_cast<double>((x.rend() - last) - (first - x.begin())) / rate;
}

float LargestStep(const std::vector<float>& x, size_t from, size_t to) {
    float step = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to && i < x.size(); ++i)
        step = std::max(step, std::fabs(x[i] - x[i - 1]));
    return step;
}

TEST(SpeedStretcher, ToneKeepsItsPitchAndTheDurationScalesAtEverySpeed) {
    const StreamFormat recordings[] = {{44100, 1}, {48000, 2}, {22050, 1}};
    const int speeds[] = {50, 75, 100, 150, 200};
    const double seconds = 4;
    const float amp = 0.5f;
    for (StreamFormat rec : recordings) {
        std::vector<float> input = Tone(rec, seconds, 440, amp);
        for (int speed : speeds) {
            SCOPED_TRACE(testing::Message()
                         << rec.rate << " Hz, " << rec.channels << " channels, " << speed << " %");
            SpeedStretcher s(rec, kDevice);
            ASSERT_TRUE(s.Valid());
            s.SetSpeed(speed);
            size_t fed = 0;
            // One second of device time advances the position by `speed` % of a second.
            std::vector<float> out = Play(s, input, fed, 1.0);
            EXPECT_NEAR(s.PositionBefore(0) / rec.rate, speed / 100.0, 0.03);
            EXPECT_NEAR(s.PositionBefore(kDevice.rate / 2) / rec.rate, speed / 200.0, 0.03);
            std::vector<float> rest = Play(s, input, fed);
            out.insert(out.end(), rest.begin(), rest.end());
            ASSERT_TRUE(s.Finished());
            EXPECT_DOUBLE_EQ(s.PositionBefore(0), seconds * rec.rate);

            std::vector<float> left = Channel(out, 2, 0), right = Channel(out, 2, 1);
            EXPECT_EQ(left, right);
            double expected = seconds * 100 / speed;
            EXPECT_NEAR(LoudSeconds(left, amp, kDevice.rate), expected, expected * 0.005);
            size_t mid = left.size() / 2;
            EXPECT_NEAR(
                Frequency(left, mid - kDevice.rate / 2, mid + kDevice.rate / 2, kDevice.rate), 440,
                4.4);
        }
    }
}

TEST(SpeedStretcher, ChangingSpeedWhilePlayingMakesNoClick) {
    const StreamFormat rec{44100, 1};
    const float amp = 0.5f;
    std::vector<float> input = Tone(rec, 8, 440, amp);
    // The largest step a 440 Hz sine of this amplitude takes between two device samples.
    const float own = amp * static_cast<float>(2 * kPi * 440 / kDevice.rate);
    SpeedStretcher s(rec, kDevice);
    size_t fed = 0;
    std::vector<float> out = Play(s, input, fed, 0.5);
    for (int speed : {75, 50, 200, 100, 150}) {
        size_t change = out.size() / 2;
        s.SetSpeed(speed);
        EXPECT_EQ(s.Speed(), speed);
        std::vector<float> more = Play(s, input, fed, 0.5);
        out.insert(out.end(), more.begin(), more.end());
        std::vector<float> left = Channel(out, 2, 0);
        EXPECT_LE(LargestStep(left, change - 2400, change + 24000), own * 1.02f)
            << "at the change to " << speed << " %";
    }
}

TEST(SpeedStretcher, StepBackReplaysFromMemoryAsAFreshStretchFromThere) {
    const StreamFormat rec{44100, 1};
    std::vector<float> input = Tone(rec, 30, 200, 0.5f, 2000);
    SpeedStretcher s(rec, kDevice);
    s.SetSpeed(75);
    size_t fed = 0;
    Play(s, input, fed, 8);
    // The pedal's release: back 3 seconds of recording from what plays now.
    int64_t back = static_cast<int64_t>(s.PositionBefore(0)) - 3 * rec.rate;
    int64_t decodedBefore = s.DecodedEnd();
    ASSERT_TRUE(s.Seek(back)) << "the last seconds are not held";
    EXPECT_DOUBLE_EQ(s.PositionBefore(0), back);
    EXPECT_DOUBLE_EQ(s.PositionBefore(4800), back) << "sound still queued counts as there";
    size_t refed = fed;
    std::vector<float> replay = Play(s, input, refed, 2);

    SpeedStretcher fresh(rec, kDevice);
    fresh.SetSpeed(75);
    fresh.Restart(back);
    size_t from = static_cast<size_t>(back);
    std::vector<float> expected = Play(fresh, input, from, 2);
    ASSERT_EQ(replay.size(), expected.size());
    EXPECT_EQ(replay, expected);
    EXPECT_GE(s.DecodedEnd(), decodedBefore);

    // Beyond what is held, the decoder has to seek: nothing changes.
    Play(s, input, refed, 14);
    double now = s.PositionBefore(0);
    EXPECT_FALSE(s.Seek(0));
    EXPECT_FALSE(s.Seek(s.DecodedEnd() + 1));
    EXPECT_DOUBLE_EQ(s.PositionBefore(0), now);
    EXPECT_TRUE(s.Seek(static_cast<int64_t>(now) - 10 * rec.rate)) << "10 s back is held";
}

TEST(SpeedStretcher, OfferedSpeedsAreStepsOfFiveWithinTheRange) {
    const int cases[][2] = {{100, 100}, {50, 50},    {200, 200}, {49, 50}, {0, 50},   {-5, 50},
                            {201, 200}, {1000, 200}, {72, 70},   {73, 75}, {147, 145}};
    for (auto [asked, given] : cases)
        EXPECT_EQ(player::NearestSpeed(asked), given) << asked;
}

} // namespace
