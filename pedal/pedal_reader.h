// CPedalReader: the owner of the pedal's one port, and the worker that probes a polled port
// (CPort::IsPolled: the serial and USB loop-back switches) every kPollMs, so that a press or a
// release reaches the window at once instead of at the window's next tick.
//
// Every use of the port from the window thread goes through Port() or TakePort(), which stop
// the worker and join it first: a port is never called from two threads, and never closed,
// replaced or destroyed under a running poll. While the worker runs it alone calls the port.
// It posts the switches it sees to the window as `message`: wParam the switches held, lParam the
// tag of the reading that saw them (IsCurrent tells whether that reading still runs: a message
// posted just before a stop arrives after it). The first reading is always posted; later ones
// only when the switches change. When the port fails and closes itself, the worker posts "none
// held" and ends (HasEnded); the window collects it with Stop and reconnects as usual.
//
// Reading costs one wake-up per period, so the owner reads only while a recording is loaded.
#pragma once

#include "pedal/port.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

class CPedalReader {
public:
    // One probe per period. A port that waits on its line for the echo (CPort::Poll) shows a
    // press as soon as the first probe after it comes back, within a period; one that cannot
    // wait shows it at the poll after, within two. Each probe is a wake-up of the worker: a
    // shorter period would cost more than the main loop itself.
    static constexpr DWORD kPollMs = 5;
    // Once the switches have stayed released this long, the worker probes every kQuietPollMs
    // and gives the system timer back: a typist who stops to type a long passage costs less
    // than the old 100 ms loop did, and the first press after it still shows within 30 ms. Any
    // change brings kPollMs back.
    static constexpr int64_t kQuietAfterMs = 30000;
    static constexpr DWORD kQuietPollMs = 30;

    // `quietAfterMs`: kQuietAfterMs but in tests.
    explicit CPedalReader(int64_t quietAfterMs = kQuietAfterMs) : m_quietAfterMs(quietAfterMs) {}
    ~CPedalReader();
    CPedalReader(const CPedalReader&) = delete;
    CPedalReader& operator=(const CPedalReader&) = delete;

    // The window the readings go to, and as which message.
    void NotifyTo(HWND window, UINT message);

    // The port, with no worker on it (the reading stops); null when there is none.
    CPort* Port();
    // Hands the port over, the reading stopped; the reader holds none afterwards.
    std::unique_ptr<CPort> TakePort();
    // Stops the reading and replaces the port; the previous one is destroyed (which closes it).
    void SetPort(std::unique_ptr<CPort> port);
    // True while the port's own Open runs (CPort::IsBusy); never while the worker reads.
    bool IsBusy() const;
    // The port is open: a port the worker reads is, until the worker ends. Stops no reading.
    bool IsPortOpen() const;

    // Starts the worker when the port is polled, open and not busy; false otherwise, with
    // nothing started.
    bool Start();
    // Stops the worker and waits for it (at most a period); harmless when none runs.
    void Stop();
    bool IsReading() const { return m_worker.joinable(); }
    // The worker saw the port close and ended: the port is closed and Stop collects the worker.
    bool HasEnded() const { return m_bEnded.load(std::memory_order_acquire); }
    // The reading that posted a message tagged `tag` is the one running now.
    bool IsCurrent(LPARAM tag) const { return IsReading() && tag == static_cast<LPARAM>(m_nTag); }

private:
    void Run(CPort& port, UINT tag);

    std::unique_ptr<CPort> m_pPort;
    std::thread m_worker;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bEnded{false};
    UINT m_nTag = 0;
    HWND m_window = nullptr;
    const int64_t m_quietAfterMs;
    UINT m_message = 0;
};
