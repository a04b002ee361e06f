// Lets this thread's windows, timers and COM callbacks run while a test waits for them.
#pragma once

#include <windows.h>

#include <functional>

namespace qdtest {

// Handles every message waiting in this thread's queue now.
inline void Pump() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Handles this thread's messages for about `ms` milliseconds, or until `done` answers true;
// returns whether it did.
inline bool PumpUntil(DWORD ms, const std::function<bool()>& done) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        Pump();
        if (done && done())
            return true;
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(2);
    }
}

inline void PumpFor(DWORD ms) {
    PumpUntil(ms, nullptr);
}

} // namespace qdtest
