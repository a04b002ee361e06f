// Press to sound and release to silence, for the audio engine and the DirectShow player, and
// the engine's clock against real time: the calls' times go to a file (seconds of the
// performance counter, which Wine takes from the host's raw monotonic clock) that
// press-latency.sh matches with the times the paced sink heard the sound.
//
//   press_latency_bench.exe RECORDING TIMES
#include "player/audio_engine.h"
#include "tests/player/player_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Eight presses of 600 ms with releases of 600 ms; every call's time goes to `out`. Then five
// releases that step back as the toolbar's do; the longest the caller waited for a press or a
// release is printed.
void Presses(MediaPlayer& player, const char* name, FILE* out) {
    double longest = 0;
    for (int i = 0; i < 8; ++i) {
        double at = Now();
        std::fprintf(out, "%s play %.6f\n", name, at);
        player.Play();
        longest = std::max(longest, Now() - at);
        qdtest::PumpFor(600);
        at = Now();
        std::fprintf(out, "%s pause %.6f\n", name, at);
        player.Pause();
        longest = std::max(longest, Now() - at);
        qdtest::PumpFor(600);
    }
    for (int i = 0; i < 5; ++i) {
        player.Play();
        qdtest::PumpFor(300);
        const double at = Now();
        player.Pause();
        player.Seek(std::max<int64_t>(player.Position() - MediaPlayer::kUnitsPerSecond / 2, 0));
        longest = std::max(longest, Now() - at);
    }
    std::printf("longest call, %s: %.1f ms\n", name, longest * 1000);
    std::fflush(stdout);
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

// The wineserver's processor time (user + system), read from Linux's /proc through Wine's Z:
// drive: the server is a Linux process whose id press-latency.sh gives. -1 when unknown.
double ServerCpuSeconds() {
    const char* pid = std::getenv("QD_WINESERVER_PID");
    if (!pid)
        return -1;
    FILE* f = std::fopen((std::string("Z:\\proc\\") + pid + "\\stat").c_str(), "r");
    if (!f)
        return -1;
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    // Fields 14 and 15 (user and system clock ticks) follow the parenthesised command name.
    const char* rest = read ? std::strrchr(line, ')') : nullptr;
    unsigned long long user = 0, system = 0;
    if (!rest || std::sscanf(rest + 2, "%*c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu %llu",
                             &user, &system) != 2)
        return -1;
    return static_cast<double>(user + system) / 100; // USER_HZ
}

// Waits `ms` as a program's message loop does, asleep until a message comes: the tests' pump
// polls, which costs more than the player measured.
void IdleFor(DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (DWORD waited = 0; waited < ms; waited = ::GetTickCount() - start) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - waited, QS_ALLINPUT);
        qdtest::Pump();
    }
}

// The processor time over five seconds of playback, in percent of one core: the process's
// (Wine's mixer runs in it too) and, apart, the wineserver's.
void Cpu(MediaPlayer& player, const char* what) {
    player.Seek(0);
    player.Play();
    qdtest::PumpFor(500);
    const double cpu0 = CpuSeconds(), server0 = ServerCpuSeconds(), t0 = Now();
    IdleFor(5000);
    const double seconds = Now() - t0;
    const double share = (CpuSeconds() - cpu0) / seconds * 100;
    const double server = (ServerCpuSeconds() - server0) / seconds * 100;
    player.Pause();
    std::printf("cpu while playing, %s: %.1f %% of one core", what, share);
    if (server0 >= 0)
        std::printf(" (wineserver %.1f %%)", server);
    std::printf("\n");
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
