#include "pedal/pedal_reader.h"

#include "pedal/switch_logic.h"

#include <timeapi.h>

#include <chrono>

namespace {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

CPedalReader::~CPedalReader() {
    Stop();
}

void CPedalReader::NotifyTo(HWND window, UINT message) {
    m_window = window;
    m_message = message;
}

CPort* CPedalReader::Port() {
    Stop();
    return m_pPort.get();
}

std::unique_ptr<CPort> CPedalReader::TakePort() {
    Stop();
    return std::move(m_pPort);
}

void CPedalReader::SetPort(std::unique_ptr<CPort> port) {
    Stop();
    m_pPort = std::move(port);
}

bool CPedalReader::IsBusy() const {
    return !IsReading() && m_pPort && m_pPort->IsBusy();
}

bool CPedalReader::IsPortOpen() const {
    if (IsReading())
        return !HasEnded();
    return m_pPort && m_pPort->IsOpen();
}

bool CPedalReader::Start() {
    if (IsReading() && !HasEnded())
        return true;
    Stop();
    if (!m_pPort || !m_pPort->IsPolled() || !m_pPort->IsOpen() || m_pPort->IsBusy())
        return false;
    m_bStop.store(false, std::memory_order_relaxed);
    m_bEnded.store(false, std::memory_order_relaxed);
    const UINT tag = ++m_nTag;
    CPort& port = *m_pPort;
    m_worker = std::thread([this, &port, tag] { Run(port, tag); });
    return true;
}

void CPedalReader::Stop() {
    if (!IsReading())
        return;
    m_bStop.store(true, std::memory_order_release);
    m_worker.join();
}

void CPedalReader::Run(CPort& port, UINT tag) {
    // A plain sleep: under Wine a wait on a timer or an event is a round trip to the wineserver,
    // which would cost more than the poll itself. The quick period needs the system timer at
    // 1 ms (per process on Windows 10 2004 and later), held only while polling quickly.
    pedal::EchoFilter filter;
    pedal::SwitchSet posted = 0;
    int64_t changed = NowMs();
    bool quick = false;
    const auto period = [&quick] { return quick ? kPollMs : kQuietPollMs; };
    for (bool first = true; !m_bStop.load(std::memory_order_acquire); first = false) {
        // One probe per period: a port that waits for its echo spends the period waiting, and
        // returns early only with an echo; the rest of the period is slept.
        const int64_t started = NowMs();
        const bool echoed = port.Poll(period()) != 0;
        const bool open = port.IsOpen() != 0;
        const int64_t now = NowMs();
        const pedal::SwitchSet held =
            open && filter.Read(echoed, now) ? pedal::Bit(pedal::Switch::Middle) : 0;
        // Raised before the last message goes, so that its handler sees the reading ended.
        if (!open)
            m_bEnded.store(true, std::memory_order_release);
        if (first || held != posted || !open) {
            ::PostMessageA(m_window, m_message, held, static_cast<LPARAM>(tag));
            posted = held;
            changed = now;
        }
        if (!open)
            break;
        // An echo seen but not yet a press is a change under way: keep polling quickly.
        const bool wantQuick = held != 0 || echoed || now - changed < m_quietAfterMs;
        if (wantQuick != quick) {
            quick = wantQuick;
            if (quick)
                ::timeBeginPeriod(1);
            else
                ::timeEndPeriod(1);
        }
        // A press ends a quiet period at once: what is left of it is slept at the quick pace.
        const int64_t left = started + period() - NowMs();
        if (left > 0)
            ::Sleep(static_cast<DWORD>(left));
    }
    if (quick)
        ::timeEndPeriod(1);
}
