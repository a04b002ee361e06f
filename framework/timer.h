// The one way the program's windows start their timer.
//
// Every window that needs a timer uses identifier 0 on itself. If the system refuses it, the
// window's own message box "Startup failure" (caption "Timer0", Retry and Cancel, no icon) is
// shown and the timer tried again after each answer, as long as the attempt fails and the
// answer was Retry. A Cancel answer asks the application to quit (exit code 0), even when the
// attempt after it started the timer: a window without its timer never ends by itself.
#pragma once

#include "framework/wnd.h"

#include <functional>

namespace fw {

constexpr UINT_PTR kWindowTimerId = 0;

// Starts timer 0 of `wnd` with period `elapseMs`; true when the timer runs.
bool StartWindowTimer(const CWnd& wnd, UINT elapseMs);

// Tests make the system "refuse" chosen attempts: the hook sees each attempt and returns true
// to refuse it. Null restores the real behaviour. The program never sets one.
using TimerRefusalHook = std::function<bool(HWND wnd, UINT elapseMs)>;
void SetTimerRefusalHook(TimerRefusalHook hook);

} // namespace fw
