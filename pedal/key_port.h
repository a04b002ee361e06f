// CKeyPort: a pedal that acts as a keyboard and sends one key ("Port Type" 4, "Port Num" the
// key's virtual-key code). The key is watched whichever program has the focus and never reaches
// it (CKeyPedalHook); held, the pedal is pressed.
#pragma once

#include "pedal/keyboard_input.h"
#include "pedal/port.h"

class CKeyPort : public CPort {
public:
    explicit CKeyPort(int nVk) { m_nNum = nVk; }
    ~CKeyPort() override;

    int GetType() const override;
    // Installs the hook; fails for a key code no pedal can send (0 until a key was chosen).
    int Open() override;
    void Close() override;
    int IsPressed() override;

    // An open port starts telling at once.
    void NotifyTo(HWND window, UINT message) override;

private:
    CKeyPedalHook m_hook;
    HWND m_notify = nullptr;
    UINT m_message = 0;
};
