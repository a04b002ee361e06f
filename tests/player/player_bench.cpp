// Times opening a recording until its duration is known, median of five, with the DirectShow
// player and with the audio engine:
//
//   player_bench.exe RECORDING...
//
// and the peak working set of this process while one player plays a recording for ten seconds
// (run once per player, each in a process of its own):
//
//   player_bench.exe --memory engine|dshow RECORDING
#include "player/audio_engine.h"
#include "tests/player/player_test_support.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

double Now() {
    LARGE_INTEGER freq, at;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&at);
    return static_cast<double>(at.QuadPart) * 1000.0 / freq.QuadPart;
}

std::wstring Wide(const char* ansi) {
    wchar_t wide[MAX_PATH];
    return ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, MAX_PATH) > 0 ? wide : L"";
}

// Five opens of `file` by `open`, which answers the duration it found (100 ns units).
void TimeOpens(const char* label, const char* file, const std::function<LONGLONG()>& open) {
    std::vector<double> runs;
    LONGLONG duration = 0;
    for (int i = 0; i < 5; ++i) {
        const double start = Now();
        duration = open();
        runs.push_back(Now() - start);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("%s%s: duration %.1f s, Open median %.1f ms (min %.1f, max %.1f)\n", label, file,
                duration / 1e7, runs[2], runs[0], runs[4]);
}

int Memory(const char* which, const char* file) {
    std::unique_ptr<MediaPlayer> player;
    if (std::strcmp(which, "engine") == 0)
        player = std::make_unique<CAudioEngine>();
    else
        player = std::make_unique<CDShowMediaPlayer>();
    if (player->OpenFile(Wide(file)) != 0 || player->Play() != 0)
        return 1;
    qdtest::PumpFor(10000);
    const double position = player->Position() / 1e7;
    player->Pause();
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    std::printf("working set playing, %s: peak_ws=%llu ws=%llu private=%llu position=%.1f\n", which,
                static_cast<unsigned long long>(counters.PeakWorkingSetSize),
                static_cast<unsigned long long>(counters.WorkingSetSize),
                static_cast<unsigned long long>(counters.PrivateUsage), position);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qdtest::PlayerTestApp app;
    ::CoInitialize(nullptr);
    fw::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
        std::printf("message box: %s\n", text);
        return IDOK;
    });
    int rc = 0;
    if (argc == 4 && std::strcmp(argv[1], "--memory") == 0) {
        rc = Memory(argv[2], argv[3]);
    } else {
        for (int a = 1; a < argc; ++a) {
            TimeOpens("", argv[a], [&] {
                CDShowMediaPlayer player;
                player.Open(argv[a]);
                return player.m_llDuration;
            });
            TimeOpens("audio engine, ", argv[a], [&] {
                CAudioEngine engine;
                return engine.OpenFile(Wide(argv[a])) == 0 ? engine.Duration() : 0;
            });
        }
    }
    ::CoUninitialize();
    return rc;
}
