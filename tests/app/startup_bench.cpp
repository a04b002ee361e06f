// Times start-up: from process creation to the program's first visible top-level window,
// median of five runs of each program named on the command line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND wnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == search->pid && ::IsWindowVisible(wnd) && !::GetWindow(wnd, GW_OWNER)) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

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
    Search search{pi.dwProcessId, nullptr};
    double ms = -1;
    for (int i = 0; i < 20000 && !search.found; ++i) {
        ::EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            ::QueryPerformanceCounter(&now);
            ms = (now.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart;
            break;
        }
        ::Sleep(1);
    }
    if (search.found)
        ::PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
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
