// The real Quillodrome.exe under load of a typist: how long a press of the serial pedal takes to
// start playback at the main loop's 100 ms period and, after the settings dialog, at 50 ms; then
// the program's peak working set with the recording played, next to an empty dialog program's.
// Run by tools/bench.sh in a session of its own (tools/wine-own-session.sh) with the pedal
// simulator on COM5.
//
//   toolbar_bench <recording> <empty dialog program> [trials]
// prints one line per figure.
#include "res/resource.h"
#include "tests/app/toolbar_harness.h"
#include "tests/tools/pedal_sim_client.h"
#include "tests/tools/ui_driver.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace apptest;

constexpr int kCom = 5;

double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The indicator's bitmap handle: the tick that sees a press starts the graph and then swaps it.
HBITMAP Indicator(HWND toolbar) {
    return reinterpret_cast<HBITMAP>(
        ::SendDlgItemMessageA(toolbar, IDC_PEDAL, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

// From the simulator's acknowledgement of the press to the toolbar answering with the pressed
// indicator, with presses landing at phases spread over the period; false when a press is not
// seen within a second.
bool PressToPlay(pedal_sim::Client& sim, HWND toolbar, int periodMs, int trials) {
    const HBITMAP up = Indicator(toolbar);
    std::vector<double> latencies;
    for (int trial = 0; trial < trials; ++trial) {
        ::Sleep(static_cast<DWORD>(3 * periodMs + trial * 37 % periodMs));
        sim.Press(kCom);
        const double pressed = NowMs();
        double seen = -1;
        while (NowMs() - pressed < 1000) {
            if (Indicator(toolbar) != up) {
                seen = NowMs();
                break;
            }
            ::Sleep(1);
        }
        sim.Release(kCom);
        if (seen < 0) {
            std::printf("press to play, %d ms loop: a press was not seen within 1 s\n", periodMs);
            return false;
        }
        latencies.push_back(seen - pressed);
        qdtest::WaitUntil([&] { return Indicator(toolbar) == up; }, 2000);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("press to play, %d ms loop: n=%zu min %.1f ms  median %.1f ms  max %.1f ms\n",
                periodMs, latencies.size(), latencies.front(), latencies[latencies.size() / 2],
                latencies.back());
    return true;
}

// Peak and current working set of another process, through GetProcessMemoryInfo.
void ReportMemory(const char* what, DWORD pid) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    const bool read = process && ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    const DWORD error = ::GetLastError();
    if (process)
        ::CloseHandle(process);
    if (!read) {
        std::printf("working set, %s: GetProcessMemoryInfo failed (%lu)\n", what, error);
        return;
    }
    std::printf("working set, %s: peak_ws=%zu ws=%zu private=%zu\n", what,
                static_cast<size_t>(counters.PeakWorkingSetSize),
                static_cast<size_t>(counters.WorkingSetSize),
                static_cast<size_t>(counters.PagefileUsage));
}

int Run(const std::string& recording, const std::string& emptyDialog, int trials) {
    pedal_sim::Client sim;
    std::string why;
    if (!sim.Connect(why) || !sim.OpenPort(kCom, why)) {
        std::printf("pedal simulator: %s\n", why.c_str());
        return 1;
    }
    PrepareProfile(1, kCom - 1, recording);
    int failed = 0;
    {
        Toolbar toolbar;
        if (!toolbar.Start())
            return 1;
        HWND w = toolbar.Main();
        if (!toolbar.WaitPedal(IDB_PEDAL_UP, 10000)) {
            std::printf("the toolbar does not show a connected pedal\n");
            return 1;
        }
        failed |= !PressToPlay(sim, w, 100, trials);

        // OK in the settings dialog restarts the loop at 50 ms on the same port.
        HWND setup = qdtest::Click(w, IDC_OPTION)
                         ? qdtest::WaitDialog(toolbar.Pid(), 5000, "Réglages", w)
                         : nullptr;
        if (!setup || !qdtest::Answer(setup, IDOK) || !toolbar.WaitPedal(IDB_PEDAL_UP)) {
            std::printf("press to play, 50 ms loop: the settings dialog did not come and go (%s)\n",
                        qdtest::LastProblem().c_str());
            failed = 1;
        } else {
            failed |= !PressToPlay(sim, w, 50, trials);
        }

        // Ten seconds of playback, as under a typist's foot, before the peak is read.
        sim.Press(kCom);
        ::Sleep(10000);
        sim.Release(kCom);
        ::Sleep(500);
        ReportMemory("Quillodrome.exe, recording played", toolbar.Pid());
        failed |= toolbar.Exit() != 0;
    }
    ClearProfile();

    qdtest::Program empty;
    if (!empty.Start(emptyDialog, why)) {
        std::printf("empty dialog: %s\n", why.c_str());
        return 1;
    }
    ::Sleep(2000);
    ReportMemory("empty dialog", empty.Pid());
    ::PostMessageA(empty.Main(), WM_COMMAND, IDCANCEL, 0);
    empty.WaitExit(10000);
    return failed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: toolbar_bench <recording> <empty dialog program> [trials]\n");
        return 2;
    }
    return Run(argv[1], argv[2], argc > 3 ? std::max(3, std::atoi(argv[3])) : 20);
}
