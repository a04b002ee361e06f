// Listens to what the player produces: ALSA's default device of this test's HOME writes Wine's
// mixed stream (48 kHz, stereo, 32-bit float) to a file that the test reads back.
#include "tests/player/player_test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

using qdtest::Fixture;
using qdtest::PumpFor;

namespace {

qdtest::PlayerTestApp g_app;

std::string CapturePath() {
    const char* path = std::getenv("QD_CAPTURE");
    return path ? qdtest::WindowsPath(path) : std::string();
}

long long CaptureSize() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(CapturePath().c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Level {
    double peak = -1;
    double rms = -1; // of the loudest 10 ms: Wine's mixer fills gaps with silence under load
};

// Peak and RMS level between two byte offsets of the capture (aligned to whole frames).
Level Measure(long long from, long long to) {
    from &= ~7LL;
    FILE* f = std::fopen(CapturePath().c_str(), "rb");
    if (!f)
        return {};
    _fseeki64(f, from, SEEK_SET);
    Level level{0, 0};
    const long long block = 480 * 2; // 10 ms of stereo samples at 48 kHz
    double sum = 0;
    long long count = 0;
    float sample;
    for (long long at = from; at + 4 <= to && std::fread(&sample, 4, 1, f) == 1; at += 4) {
        level.peak = std::fmax(level.peak, std::fabs(sample));
        sum += static_cast<double>(sample) * sample;
        if (++count == block) {
            level.rms = std::fmax(level.rms, std::sqrt(sum / count));
            sum = 0;
            count = 0;
        }
    }
    std::fclose(f);
    return level;
}

// The capture grows while Wine mixes; measure a window that lies inside one playing state.
Level MeasureWhile(DWORD settleMs, DWORD measureMs) {
    PumpFor(settleMs);
    long long from = CaptureSize();
    PumpFor(measureMs);
    return Measure(from, CaptureSize());
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

int main(int argc, char** argv) { return qdtest::RunAllWithCom(argc, argv); }
