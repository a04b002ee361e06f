// Press to sound and release to silence, for the audio engine and the DirectShow player, and
// the engine's clock against real time: the calls' times go to a file (seconds of the
// performance counter, which Wine takes from the host's raw monotonic clock) that
// press-latency.sh matches with the times the paced sink heard the sound.
//
//   press_latency_bench.exe RECORDING TIMES
#include "player/audio_engine.h"
#include "tests/player/player_test_support.h"

#include <cstdio>
#include <string>

namespace {

double Now() {
    LARGE_INTEGER freq, at;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&at);
    return static_cast<double>(at.QuadPart) / freq.QuadPart;
}

std::wstring Wide(const char* ansi) {
    wchar_t wide[MAX_PATH];
    int n = ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, MAX_PATH);
    return n > 0 ? wide : L"";
}

// Eight presses of 600 ms with releases of 600 ms; every call's time goes to `out`.
void Presses(MediaPlayer& player, const char* name, FILE* out) {
    for (int i = 0; i < 8; ++i) {
        std::fprintf(out, "%s play %.6f\n", name, Now());
        player.Play();
        qdtest::PumpFor(600);
        std::fprintf(out, "%s pause %.6f\n", name, Now());
        player.Pause();
        qdtest::PumpFor(600);
    }
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](FILETIME t) {
        return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// The process's processor time over five seconds of playback, in percent of one core (Wine's
// mixer runs in the process too; the wineserver is not counted).
void Cpu(MediaPlayer& player, const char* what) {
    player.Seek(0);
    player.Play();
    qdtest::PumpFor(500);
    const double cpu0 = CpuSeconds(), t0 = Now();
    qdtest::PumpFor(5000);
    const double share = (CpuSeconds() - cpu0) / (Now() - t0) * 100;
    player.Pause();
    std::printf("cpu while playing, %s: %.1f %% of one core\n", what, share);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    qdtest::PlayerTestApp app;
    ::CoInitialize(nullptr);
    FILE* out = std::fopen(argv[2], "w");
    if (!out)
        return 1;
    {
        CAudioEngine engine;
        if (engine.OpenFile(Wide(argv[1])) != 0)
            return 1;
        Presses(engine, "engine", out);
        // The clock: position against real time over three seconds at 150 %.
        engine.SetSpeed(150);
        engine.Seek(0);
        engine.Play();
        qdtest::PumpFor(500);
        const double t0 = Now();
        const double p0 = engine.Position() / 1e7;
        qdtest::PumpFor(3000);
        const double rate = (engine.Position() / 1e7 - p0) / (Now() - t0);
        engine.Pause();
        std::fprintf(out, "clock %.4f\n", rate / 1.5);
        engine.SetSpeed(75);
        Cpu(engine, "audio engine at 75 %");
        engine.SetSpeed(150);
        Cpu(engine, "audio engine at 150 %");
        std::printf("engine clock at 150 %%: %.3f s of recording per second (%.4f x the speed)\n",
                    rate, rate / 1.5);
    }
    {
        CDShowMediaPlayer fallback;
        if (fallback.OpenFile(Wide(argv[1])) != 0)
            return 1;
        Presses(fallback, "dshow", out);
        Cpu(fallback, "DirectShow at 100 % (baseline)");
    }
    std::fclose(out);
    ::CoUninitialize();
    return 0;
}
