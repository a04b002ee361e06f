// The real Quillodrome.exe under load of a typist: how long a press of the serial pedal takes to
// start playback, and its release to pause it, at the main loop's 100 ms period and, after the
// settings dialog, at 50 ms; the same for a keyboard pedal; then the program's peak working set
// with the recording played, next to an empty dialog program's.
// Run by tools/bench.sh in a session of its own (tools/wine-own-session.sh) with the pedal
// simulator on COM5.
//
//   toolbar_bench <recording> <empty dialog program> [trials]
// prints one line per figure.
#include "res/resource.h"
#include "tests/app/toolbar_harness.h"
#include "tests/tools/key_input.h"
#include "tests/tools/pedal_sim_client.h"
#include "tests/tools/ui_driver.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace apptest;

constexpr int kCom = 5;
// F11: no shortcut uses it.
constexpr WORD kPedalKey = VK_F11;

// From the switch closing (the simulator's acknowledgement, or the key sent) to the toolbar
// answering with the pressed indicator, which it sets right after starting the playback; then
// from the switch opening to the released indicator, after the pause and the step back. Presses
// land at phases spread over the main loop's period. False when a change is not seen within a
// second.
bool PressToPlay(const char* what, HWND toolbar, int periodMs, int trials,
                 const std::function<void(bool)>& hold) {
    const HBITMAP up = Indicator(toolbar);
    std::vector<double> presses, releases;
    for (int trial = 0; trial < trials; ++trial) {
        ::Sleep(static_cast<DWORD>(3 * periodMs + trial * 37 % periodMs));
        const double pressed = MsUntilIndicatorLeaves(toolbar, up, [&] { hold(true); });
        const HBITMAP down = Indicator(toolbar);
        ::Sleep(static_cast<DWORD>(periodMs + trial * 23 % periodMs));
        const double released =
            pressed < 0 ? -1 : MsUntilIndicatorLeaves(toolbar, down, [&] { hold(false); });
        if (pressed < 0 || released < 0) {
            hold(false);
            std::printf("press to play, %s, %d ms loop: a change was not seen within 1 s\n", what,
                        periodMs);
            return false;
        }
        presses.push_back(pressed);
        releases.push_back(released);
    }
    for (auto* samples : {&presses, &releases}) {
        std::sort(samples->begin(), samples->end());
        std::printf("%s, %s, %d ms loop: n=%zu min %.1f ms  median %.1f ms  max %.1f ms\n",
                    samples == &presses ? "press to play" : "release to pause", what, periodMs,
                    samples->size(), samples->front(), (*samples)[samples->size() / 2],
                    samples->back());
    }
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
        auto serial = [&](bool down) { down ? sim.Press(kCom) : sim.Release(kCom); };
        failed |= !PressToPlay("serial", w, 100, trials, serial);

        // OK in the settings dialog restarts the loop at 50 ms on the same port.
        HWND setup = qdtest::Click(w, IDC_OPTION)
                         ? qdtest::WaitDialog(toolbar.Pid(), 5000, "Réglages", w)
                         : nullptr;
        if (!setup || !qdtest::Answer(setup, IDOK) || !toolbar.WaitPedal(IDB_PEDAL_UP)) {
            std::printf("press to play, 50 ms loop: the settings dialog did not come and go (%s)\n",
                        qdtest::LastProblem().c_str());
            failed = 1;
        } else {
            failed |= !PressToPlay("serial", w, 50, trials, serial);
        }

        // Ten seconds of playback, as under a typist's foot, before the peak is read.
        sim.Press(kCom);
        ::Sleep(10000);
        sim.Release(kCom);
        ::Sleep(500);
        ReportMemory("Quillodrome.exe, recording played", toolbar.Pid());
        failed |= toolbar.Exit() != 0;
    }

    // The keyboard pedal: the key as the hook sees a keyboard's, sent by SendInput.
    PrepareProfile(4, kPedalKey, recording);
    {
        Toolbar toolbar;
        if (!toolbar.Start() || !toolbar.WaitPedal(IDB_PEDAL_UP, 10000)) {
            std::printf("the toolbar does not show the keyboard pedal\n");
            return 1;
        }
        failed |= !PressToPlay("keyboard", toolbar.Main(), 100, trials,
                               [](bool down) { qdtest::SendKey(kPedalKey, down); });
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
