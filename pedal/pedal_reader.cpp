#include "pedal/pedal_reader.h"

#include "pedal/switch_logic.h"

#include <timeapi.h>

#include <chrono>

namespace {

// Windows 10 1803 and later: a timer that keeps a few milliseconds without raising the whole
// system's timer rate. Older systems (and Wine) refuse the flag; the worker then raises the rate
// itself while it reads.
constexpr DWORD kHighResolutionTimer = 0x00000002;

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
    if (IsReading())
        return true;
    if (!m_pPort || !m_pPort->IsPolled() || !m_pPort->IsOpen() || m_pPort->IsBusy())
        return false;
    if (!m_stop)
        m_stop.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop || !::ResetEvent(m_stop.get()))
        return false;
    m_bEnded.store(false, std::memory_order_relaxed);
    const UINT tag = ++m_nTag;
    CPort& port = *m_pPort;
    m_worker = std::thread([this, &port, tag] { Run(port, tag); });
    return true;
}

void CPedalReader::Stop() {
    if (!IsReading())
        return;
    ::SetEvent(m_stop.get());
    m_worker.join();
}

void CPedalReader::Run(CPort& port, UINT tag) {
    fw::UniqueKernelHandle timer(
        ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS));
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(kPollMs) * 10'000;
    if (timer && !::SetWaitableTimer(timer.get(), &due, kPollMs, nullptr, nullptr, FALSE))
        timer.reset();
    const bool coarse = !timer;
    if (coarse)
        ::timeBeginPeriod(1);

    pedal::EchoFilter filter;
    pedal::SwitchSet posted = 0;
    for (bool first = true;; first = false) {
        const bool echoed = port.IsPressed() != 0;
        const bool open = port.IsOpen() != 0;
        const pedal::SwitchSet held =
            open && filter.Read(echoed, NowMs()) ? pedal::Bit(pedal::Switch::Middle) : 0;
        // Raised before the last message goes, so that its handler sees the reading ended.
        if (!open)
            m_bEnded.store(true, std::memory_order_release);
        if (first || held != posted || !open) {
            ::PostMessageA(m_window, m_message, held, static_cast<LPARAM>(tag));
            posted = held;
        }
        if (!open)
            break;
        const HANDLE waits[] = {m_stop.get(), timer.get()};
        const DWORD woke = coarse ? ::WaitForSingleObject(m_stop.get(), kPollMs)
                                  : ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
            break;
    }
    if (coarse)
        ::timeEndPeriod(1);
}
