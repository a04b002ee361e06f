// Times Open of a recording until its duration is known: median of five.
#include "tests/player/player_test_support.h"

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    qdtest::PlayerTestApp app;
    ::CoInitialize(nullptr);
    fw::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
        std::printf("message box: %s\n", text);
        return IDOK;
    });
    for (int a = 1; a < argc; ++a) {
        std::vector<double> runs;
        LONGLONG duration = 0;
        for (int i = 0; i < 5; ++i) {
            CDShowMediaPlayer player;
            LARGE_INTEGER freq, start, end;
            ::QueryPerformanceFrequency(&freq);
            ::QueryPerformanceCounter(&start);
            player.Open(argv[a]);
            ::QueryPerformanceCounter(&end);
            duration = player.m_llDuration;
            runs.push_back((end.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart);
        }
        std::sort(runs.begin(), runs.end());
        std::printf("%s: duration %.1f s, Open median %.1f ms (min %.1f, max %.1f)\n", argv[a],
                    duration / 1e7, runs[2], runs[0], runs[4]);
    }
    ::CoUninitialize();
    return 0;
}
