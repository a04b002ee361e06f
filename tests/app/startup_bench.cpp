// Times start-up: from process creation to the program's first visible top-level window,
// median of five runs of each program named on the command line.
#include "tests/tools/process_windows.h"
#include "tests/tools/program.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double TimeOnce(const std::string& exe) {
    LARGE_INTEGER freq, start, now;
    ::QueryPerformanceFrequency(&freq);
    qdtest::Program program;
    std::string why;
    ::QueryPerformanceCounter(&start);
    if (!program.Launch(exe, why))
        return -1;
    // Polled every millisecond, finer than Program::WaitMain, for the timing's sake.
    HWND found = nullptr;
    double ms = -1;
    for (int i = 0; i < 20000 && !found; ++i) {
        found = qdtest::FindVisibleTopLevel(program.Pid());
        if (found) {
            ::QueryPerformanceCounter(&now);
            ms = (now.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart;
            break;
        }
        ::Sleep(1);
    }
    if (found)
        ::PostMessageA(found, WM_COMMAND, IDCANCEL, 0);
    // The program is ended when it has not closed by then.
    ::WaitForSingleObject(program.Process(), 10000);
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    for (int a = 1; a < argc; ++a) {
        std::vector<double> runs;
        for (int i = 0; i < 5; ++i)
            runs.push_back(TimeOnce(argv[a]));
        std::vector<double> sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%s: median %.1f ms (runs:", argv[a], sorted[2]);
        for (double r : runs)
            std::printf(" %.1f", r);
        std::printf(")\n");
    }
    return 0;
}
