// Times start-up: from process creation to the program's first visible top-level window,
// median of five runs of each program named on the command line.
#include "tests/tools/process_windows.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double TimeOnce(const std::string& exe) {
    LARGE_INTEGER freq, start, now;
    ::QueryPerformanceFrequency(&freq);
    std::string cmd = "\"" + exe + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    HWND found = nullptr;
    double ms = -1;
    for (int i = 0; i < 20000 && !found; ++i) {
        found = qdtest::FindVisibleTopLevel(pi.dwProcessId);
        if (found) {
            ::QueryPerformanceCounter(&now);
            ms = (now.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart;
            break;
        }
        ::Sleep(1);
    }
    if (found)
        ::PostMessageA(found, WM_COMMAND, IDCANCEL, 0);
    if (::WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
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
