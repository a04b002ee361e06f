// Timing of one pedal poll on each variant, of a press travelling through the serial simulator
// to the first poll that reports it at the main window's 100 and 50 ms periods, and of presses
// and releases to the message of the reader that polls on a worker.
// Run by tests/tools/pedal_bench.sh; prints one line per figure.
#include "pedal/com_port.h"
#include "pedal/pedal_reader.h"
#include "pedal/usb_port.h"

#include "tests/tools/fake_ftd2xx_control.h"
#include "tests/tools/now_ms.h"
#include "tests/tools/pedal_sim_client.h"
#include "tests/tools/wine_test_paths.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Microseconds.
double Now() {
    return qdtest::NowMs() * 1000;
}

void Report(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    const double p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    std::printf("%-40s n=%zu median %.1f us  p99 %.1f us  max %.1f us\n", what, samples.size(),
                median, p99, samples.back());
}

template <class Port>
std::vector<double> TimePolls(Port& port, int count, void (*between)()) {
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        between();
        const double t0 = Now();
        port.IsPressed();
        samples.push_back(Now() - t0);
    }
    return samples;
}

pedal_sim::Client g_sim;
constexpr int kCom = 5;

int BenchSerial() {
    std::string why;
    if (!g_sim.Connect(why) || !g_sim.OpenPort(kCom, why)) {
        std::printf("serial: %s\n", why.c_str());
        return 1;
    }
    CCom port(kCom - 1);
    if (!port.Open()) {
        std::printf("serial: COM%d does not open\n", kCom);
        return 1;
    }
    // A tick lets the probe come back, as the 50 ms timer would.
    auto tick = [] { ::Sleep(2); };
    g_sim.Release(kCom);
    Report("serial IsPressed, released", TimePolls(port, 500, tick));
    g_sim.Press(kCom);
    Report("serial IsPressed, pressed", TimePolls(port, 500, tick));

    // From the moment the switch goes down to the first poll that reports 1, polled on a steady
    // clock at the main window's two periods, with the press landing at a varying phase.
    for (const int period : {100, 50}) {
        const double periodUs = period * 1000.0;
        std::vector<double> latencies;
        for (int trial = 0; trial < 20; ++trial) {
            g_sim.Release(kCom);
            double next = Now();
            for (int i = 0; i < 3; ++i) {
                next += periodUs;
                ::Sleep(static_cast<DWORD>(std::max(0.0, (next - Now()) / 1000)));
                port.IsPressed();
            }
            ::Sleep(static_cast<DWORD>(trial * 47 % period));
            g_sim.Press(kCom);
            const double pressed = Now();
            for (;;) {
                next += periodUs;
                const double wait = next - Now();
                if (wait > 0)
                    ::Sleep(static_cast<DWORD>(wait / 1000));
                if (port.IsPressed())
                    break;
            }
            latencies.push_back(Now() - pressed);
        }
        std::sort(latencies.begin(), latencies.end());
        const std::string what = "serial press to first 1, " + std::to_string(period) + " ms polls";
        std::printf("%-40s n=%zu min %.1f ms  median %.1f ms  max %.1f ms\n", what.c_str(),
                    latencies.size(), latencies.front() / 1000,
                    latencies[latencies.size() / 2] / 1000, latencies.back() / 1000);
    }
    g_sim.Release(kCom);
    return 0;
}

// The same presses through CPedalReader: from the switch closing (or opening) to the reader's
// message in this thread's queue.
int BenchReader() {
    constexpr UINT kMessage = WM_APP + 1;
    HWND sink =
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    CPedalReader reader;
    reader.NotifyTo(sink, kMessage);
    auto port = std::make_unique<CCom>(kCom - 1);
    g_sim.Release(kCom);
    if (!sink || !port->Open()) {
        std::printf("reader: COM%d does not open\n", kCom);
        return 1;
    }
    reader.SetPort(std::move(port));
    // Milliseconds until the reader tells `held`, -1 after a second.
    auto until = [&](bool held) {
        const double start = qdtest::NowMs();
        MSG msg;
        while (qdtest::NowMs() - start < 1000) {
            if (!::PeekMessageA(&msg, sink, kMessage, kMessage, PM_REMOVE))
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_POSTMESSAGE);
            else if ((msg.wParam != 0) == held)
                return qdtest::NowMs() - start;
        }
        return -1.0;
    };
    if (!reader.Start() || until(false) < 0) {
        std::printf("reader: no first reading\n");
        return 1;
    }
    std::vector<double> presses, releases;
    for (int trial = 0; trial < 40; ++trial) {
        ::Sleep(static_cast<DWORD>(30 + trial * 7 % 11));
        g_sim.Press(kCom);
        presses.push_back(until(true));
        ::Sleep(static_cast<DWORD>(30 + trial * 5 % 11));
        g_sim.Release(kCom);
        releases.push_back(until(false));
    }
    // Held for five seconds: every reading of a release is a false one.
    g_sim.Press(kCom);
    int falseReleases = 0;
    for (const double start = qdtest::NowMs(); qdtest::NowMs() - start < 5000;) {
        MSG msg;
        if (!::PeekMessageA(&msg, sink, kMessage, kMessage, PM_REMOVE))
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
        else
            falseReleases += msg.wParam == 0;
    }
    g_sim.Release(kCom);
    reader.Stop();
    std::printf("%-40s %d\n", "serial held 5 s, releases read", falseReleases);
    for (auto* samples : {&presses, &releases}) {
        std::sort(samples->begin(), samples->end());
        std::printf("%-40s n=%zu min %.1f ms  median %.1f ms  max %.1f ms\n",
                    samples == &presses ? "serial press to reader's message"
                                        : "serial release to reader's message",
                    samples->size(), samples->front(), (*samples)[samples->size() / 2],
                    samples->back());
    }
    ::DestroyWindow(sink);
    return presses.front() < 0 || releases.front() < 0;
}

int BenchUsb() {
    const std::string folder = qdtest::FolderFromEnv("QD_FAKE_FTD2XX");
    const std::string name = fake_ftd2xx::MappingName(::GetCurrentProcessId());
    HANDLE hMapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(fake_ftd2xx::Control), name.c_str());
    auto* pFake = static_cast<fake_ftd2xx::Control*>(
        ::MapViewOfFile(hMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(fake_ftd2xx::Control)));
    if (folder.empty() || !pFake || !::SetDllDirectoryA((folder + "full").c_str())) {
        std::printf("usb: no fake library (QD_FAKE_FTD2XX)\n");
        return 1;
    }
    pFake->nDevices = 1;
    std::strcpy(pFake->devices[0].szDescription, CUSB::kPedalDescription);
    CUSB port(0);
    if (!port.Open()) {
        std::printf("usb: the pedal does not open\n");
        return 1;
    }
    auto none = [] {};
    pFake->devices[0].bPressed = 0;
    Report("usb IsPressed, released", TimePolls(port, 5000, none));
    pFake->devices[0].bPressed = 1;
    Report("usb IsPressed, pressed", TimePolls(port, 5000, none));
    const double t0 = Now();
    for (int i = 0; i < 100; ++i) {
        port.Close();
        port.Open();
    }
    std::printf("%-40s %.1f us per cycle\n", "usb Close+Open (load, scan, open)",
                (Now() - t0) / 100);
    return 0;
}

} // namespace

int main() {
    const int serial = BenchSerial();
    const int reader = BenchReader();
    const int usb = BenchUsb();
    return serial | reader | usb;
}
