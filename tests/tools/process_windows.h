// Finds the windows of other processes from a Windows-side test driver.
#pragma once

#include <windows.h>

#include <vector>

namespace qdtest {

// The process that owns window `w` (0 when `w` is no window).
inline DWORD ProcessOf(HWND w) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    return pid;
}

// The visible top-level windows of process `pid`, topmost first; of every process when `pid`
// is 0.
inline std::vector<HWND> VisibleTopLevels(DWORD pid = 0) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    ::EnumWindows(
        [](HWND wnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            if ((s->pid == 0 || ProcessOf(wnd) == s->pid) && ::IsWindowVisible(wnd))
                s->found.push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A visible, unowned top-level window of process `pid`, or null.
inline HWND FindVisibleTopLevel(DWORD pid) {
    for (HWND wnd : VisibleTopLevels(pid))
        if (!::GetWindow(wnd, GW_OWNER))
            return wnd;
    return nullptr;
}

} // namespace qdtest
