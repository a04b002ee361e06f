// A key going down or up as if typed, through SendInput: low-level keyboard hooks and hot keys
// see it as they see a keyboard's. It reaches the thread that has the focus once that thread
// handles its messages.
#pragma once

#include <windows.h>

namespace qdtest {

inline void SendKey(WORD vk, bool down) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &in, sizeof in);
}

} // namespace qdtest
