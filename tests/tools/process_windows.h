// Finds the windows of another process from a Windows-side test driver.
#pragma once

#include <windows.h>

namespace qdtest {

// A visible, unowned top-level window of process `pid`, or null.
inline HWND FindVisibleTopLevel(DWORD pid) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{pid, nullptr};
    ::EnumWindows(
        [](HWND wnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(wnd, &owner);
            if (owner == s->pid && ::IsWindowVisible(wnd) && !::GetWindow(wnd, GW_OWNER)) {
                s->found = wnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace qdtest
