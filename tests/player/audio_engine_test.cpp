// The audio engine end to end under Wine: what it sends to ALSA (captured to a file, see
// player_test_support.h) at several speeds, at the end of a recording, when paused, and what
// it says of files it cannot play. ALSA's capture device does not pace the stream, so these
// checks measure the sound itself (pitch, length, silence), not how long it took.
#include "player/audio_engine.h"
#include "tests/player/player_test_support.h"

#include <algorithm>
#include <cmath>

using qdtest::CapturedLeft;
using qdtest::CaptureSize;
using qdtest::Fixture;
using qdtest::PumpFor;

namespace {

qdtest::PlayerTestApp g_app;

constexpr double kToneAmp = 8000.0 / 32768.0;
constexpr unsigned kRate = 48000;

std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                  wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n : 0);
    return wide;
}

double Seconds(int64_t units) {
    return static_cast<double>(units) / MediaPlayer::kUnitsPerSecond;
}

// What came out between two points of the capture: how long the tone sounded (10 ms blocks
// above a quarter of its amplitude) and its frequency (the median over its loud 100 ms pieces,
// so that gaps the mixer fills with silence do not count).
struct Heard {
    double seconds = 0;
    double frequency = 0;
    float peak = 0;
};

Heard Listen(long long from, long long to) {
    std::vector<float> x = CapturedLeft(from, to);
    Heard heard;
    std::vector<double> frequencies;
    const size_t block = kRate / 100;
    int loudBlocks = 0;
    int loudRun = 0;
    for (size_t b = 0; b + block <= x.size(); b += block) {
        double sum = 0;
        for (size_t i = b; i < b + block; ++i) {
            sum += static_cast<double>(x[i]) * x[i];
            heard.peak = std::max(heard.peak, std::fabs(x[i]));
        }
        const bool loud = std::sqrt(sum / block) > kToneAmp / 4;
        loudBlocks += loud;
        loudRun = loud ? loudRun + 1 : 0;
        if (loudRun == 10) {
            loudRun = 0;
            // Upward zero crossings over the last 100 ms, interpolated.
            double first = -1, last = -1;
            int crossings = 0;
            for (size_t i = b + block - 10 * block + 1; i < b + block; ++i) {
                if (x[i - 1] < 0 && x[i] >= 0) {
                    double t = i - 1 + x[i - 1] / (x[i - 1] - x[i]);
                    first = first < 0 ? t : first;
                    last = t;
                    ++crossings;
                }
            }
            if (crossings > 1)
                frequencies.push_back((crossings - 1) * kRate / (last - first));
        }
    }
    heard.seconds = loudBlocks / 100.0;
    if (!frequencies.empty()) {
        std::nth_element(frequencies.begin(), frequencies.begin() + frequencies.size() / 2,
                         frequencies.end());
        heard.frequency = frequencies[frequencies.size() / 2];
    }
    return heard;
}

// Plays to the end (or for at most `limitMs`); false when the position ever went back.
bool PlayToEnd(CAudioEngine& engine, DWORD limitMs = 40000) {
    int64_t last = engine.Position();
    bool forward = true;
    EXPECT_EQ(engine.Play(), 0);
    for (DWORD waited = 0; engine.IsPlaying() && waited < limitMs; waited += 20) {
        PumpFor(20);
        forward = forward && engine.Position() >= last;
        last = engine.Position();
    }
    EXPECT_FALSE(engine.IsPlaying()) << "still playing after " << limitMs << " ms";
    // What the mixer still held reaches the capture.
    PumpFor(300);
    return forward;
}

TEST(AudioEngine, PlaysAtEachSpeedWithThePitchKeptStaysAtTheEndAndStepsBackFromThere) {
    struct Case {
        const char* file;
        int speed;
    };
    const Case cases[] = {{"tone440.wav", 75}, {"tone440.mp3", 150}, {"entretien_été.wav", 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file << " at " << c.speed << " %");
        CAudioEngine engine;
        ASSERT_EQ(engine.OpenFile(Wide(Fixture(c.file))), 0);
        ASSERT_TRUE(engine.IsOpen());
        EXPECT_TRUE(engine.CanChangeSpeed());
        EXPECT_NEAR(Seconds(engine.Duration()), 10.0, 0.1);
        EXPECT_EQ(engine.Position(), 0);
        engine.SetSpeed(c.speed);
        EXPECT_EQ(engine.Speed(), c.speed);

        long long from = CaptureSize();
        EXPECT_TRUE(PlayToEnd(engine)) << "the position went back while playing";
        Heard heard = Listen(from, CaptureSize());
        EXPECT_NEAR(heard.frequency, 440, 4.4);
        const double expected = Seconds(engine.Duration()) * 100 / c.speed;
        EXPECT_NEAR(heard.seconds, expected, expected * 0.01);
        EXPECT_EQ(engine.Position(), engine.Duration()) << "the position stays at the end";
        EXPECT_EQ(engine.TakeFailure(), 0);

        // A press at the end plays nothing.
        from = CaptureSize();
        engine.Play();
        PumpFor(300);
        EXPECT_LT(Listen(from, CaptureSize()).peak, 0.002);
        EXPECT_EQ(engine.Position(), engine.Duration());

        // The release's step back, then a press: the last two seconds again, from memory.
        engine.Seek(engine.Duration() - 2 * MediaPlayer::kUnitsPerSecond);
        EXPECT_NEAR(Seconds(engine.Duration() - engine.Position()), 2.0, 0.001);
        from = CaptureSize();
        PlayToEnd(engine);
        heard = Listen(from, CaptureSize());
        EXPECT_NEAR(heard.seconds, 200.0 / c.speed, 0.05);
        EXPECT_NEAR(heard.frequency, 440, 4.4);
    }
}

TEST(AudioEngine, PauseSilencesAtOnceKeepsThePositionAndStopRewinds) {
    CAudioEngine engine;
    ASSERT_EQ(engine.OpenFile(Wide(Fixture("tone880.wav"))), 0);
    engine.SetVolume(-600); // half the amplitude
    ASSERT_EQ(engine.Play(), 0);
    PumpFor(400);
    long long from = CaptureSize();
    PumpFor(200);
    qdtest::Level playing = qdtest::Measure(CapturedLeft(from, CaptureSize()));
    EXPECT_NEAR(playing.peak, kToneAmp / 2, 0.02);

    engine.Pause();
    EXPECT_FALSE(engine.IsPlaying());
    const int64_t paused = engine.Position();
    EXPECT_GT(paused, 0);
    from = CaptureSize();
    PumpFor(400);
    EXPECT_LT(qdtest::Measure(CapturedLeft(from, CaptureSize())).peak, 0.002)
        << "sound after the pause";
    EXPECT_EQ(engine.Position(), paused);

    EXPECT_EQ(engine.Stop(), 1);
    EXPECT_EQ(engine.Position(), 0);
    EXPECT_FALSE(engine.IsPlaying());
    engine.Close();
    EXPECT_FALSE(engine.IsOpen());
    EXPECT_EQ(engine.Stop(), 0);
}

TEST(AudioEngine, FilesThatCannotPlayAreReportedAndDamagedOnesPlayWhatTheyHold) {
    CAudioEngine engine;
    for (const char* name : {"texte.mp3", "vide.wav", "absent.wav", "dossier.wav"}) {
        SCOPED_TRACE(name);
        EXPECT_LT(engine.OpenFile(Wide(Fixture(name))), 0);
        EXPECT_FALSE(engine.IsOpen());
        EXPECT_EQ(engine.Duration(), 0);
        EXPECT_LT(engine.Play(), 0);
        EXPECT_FALSE(engine.IsPlaying());
    }
    // Cut after about 5 s, and a header that promises 10 s for 3: each plays what it holds and
    // then behaves as at the end, its duration now what was there.
    const std::pair<const char*, double> damaged[] = {{"coupe.mp3", 5.0}, {"menteur.wav", 3.0}};
    for (auto [name, seconds] : damaged) {
        SCOPED_TRACE(name);
        ASSERT_EQ(engine.OpenFile(Wide(Fixture(name))), 0);
        engine.SetSpeed(200);
        long long from = CaptureSize();
        PlayToEnd(engine);
        EXPECT_NEAR(Seconds(engine.Duration()), seconds, 0.1);
        EXPECT_EQ(engine.Position(), engine.Duration());
        EXPECT_NEAR(Listen(from, CaptureSize()).seconds, seconds / 2, 0.1);
    }
}

// What the toolbar relies on, from both players: failures reported and never shown, the
// position where it was put, play and pause, and whether the speed can change.
TEST(MediaPlayers, BothKeepTheSameContract) {
    CAudioEngine engine;
    CDShowMediaPlayer fallback;
    MediaPlayer* players[] = {&engine, &fallback};
    for (MediaPlayer* player : players) {
        const bool isEngine = player == &engine;
        SCOPED_TRACE(isEngine ? "engine" : "DirectShow");
        qdtest::Boxes().clear();
        EXPECT_LT(player->OpenFile(Wide(Fixture("texte.mp3"))), 0);
        EXPECT_FALSE(player->IsOpen());
        ASSERT_EQ(player->OpenFile(Wide(Fixture("tone440.wav"))), 0);
        EXPECT_TRUE(player->IsOpen());
        EXPECT_NEAR(Seconds(player->Duration()), 10.0, 0.01);
        EXPECT_EQ(player->CanChangeSpeed(), isEngine);
        player->SetSpeed(150);
        EXPECT_EQ(player->Speed(), isEngine ? 150 : 100);
        player->Seek(5 * MediaPlayer::kUnitsPerSecond);
        EXPECT_NEAR(Seconds(player->Position()), 5.0, 0.01);
        EXPECT_EQ(player->Play(), 0);
        PumpFor(300);
        EXPECT_TRUE(player->IsPlaying());
        player->Pause();
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_GT(Seconds(player->Position()), 5.0);
        EXPECT_EQ(player->Stop(), 1);
        EXPECT_EQ(player->Position(), 0);
        player->Close();
        EXPECT_FALSE(player->IsOpen());
        EXPECT_TRUE(qdtest::Boxes().empty()) << qdtest::Boxes().front();
    }
}

} // namespace

int main(int argc, char** argv) {
    return qdtest::RunAllWithCom(argc, argv);
}
