// Listens to what the player produces: ALSA's default device of this test's HOME writes Wine's
// mixed stream (48 kHz, stereo, 32-bit float) to a file that the test reads back.
#include "tests/player/player_test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

using qdtest::CapturePath;
using qdtest::CaptureSize;
using qdtest::Fixture;
using qdtest::Level;
using qdtest::Measure;
using qdtest::PumpFor;

namespace {

qdtest::PlayerTestApp g_app;

// The capture grows while Wine mixes; measure a window that lies inside one playing state.
Level MeasureWhile(DWORD settleMs, DWORD measureMs) {
    PumpFor(settleMs);
    long long from = CaptureSize();
    PumpFor(measureMs);
    return Measure(qdtest::CapturedLeft(from, CaptureSize()));
}

TEST(PlayerSound, ToneWhilePlayingSilenceWhilePausedFortyDecibelsDownAtMinimumVolume) {
    ASSERT_FALSE(CapturePath().empty());
    CDShowMediaPlayer player;
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    ASSERT_TRUE(player.m_pControl);

    player.m_pControl->Run();
    Level playing = MeasureWhile(400, 800);
    ASSERT_GT(CaptureSize(), 0) << "nothing reached the capture device";
    // A sine of amplitude A has an RMS level of A / sqrt(2).
    EXPECT_NEAR(playing.rms, 8000.0 / 32768.0 / std::sqrt(2.0), 0.02);

    player.m_pControl->Pause();
    Level paused = MeasureWhile(400, 600);
    EXPECT_LT(paused.peak, 0.002);

    player.m_pAudio->put_Volume(-4000);
    player.m_pControl->Run();
    Level quiet = MeasureWhile(400, 800);
    ASSERT_GT(quiet.rms, 0);
    double drop = 20 * std::log10(playing.rms / quiet.rms);
    EXPECT_NEAR(drop, 40.0, 3.0) << "playing " << playing.rms << ", at -4000: " << quiet.rms;
    player.Close();
}

} // namespace

int main(int argc, char** argv) {
    return qdtest::RunAllWithCom(argc, argv);
}
