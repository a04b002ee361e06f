#include "framework/timer.h"

#include "framework/win_app.h"

#include <utility>

namespace fw {

namespace {
TimerRefusalHook& RefusalHook() {
    static TimerRefusalHook hook;
    return hook;
}

bool TryStart(HWND wnd, UINT elapseMs) {
    if (RefusalHook() && RefusalHook()(wnd, elapseMs))
        return false;
    return ::SetTimer(wnd, kWindowTimerId, elapseMs, nullptr) != 0;
}
} // namespace

void SetTimerRefusalHook(TimerRefusalHook hook) {
    RefusalHook() = std::move(hook);
}

bool StartWindowTimer(const CWnd& wnd, UINT elapseMs) {
    bool started = TryStart(wnd.m_hWnd, elapseMs);
    if (started)
        return true;
    int answer;
    do {
        answer = ShowMessageBox(wnd.m_hWnd, "Startup failure", "Timer0", MB_RETRYCANCEL);
        started = TryStart(wnd.m_hWnd, elapseMs);
    } while (!started && answer == IDRETRY);
    // Cancel, or a box that could not even be shown: the program cannot go on without it.
    if (answer != IDRETRY)
        ::PostQuitMessage(0);
    return started;
}

} // namespace fw
