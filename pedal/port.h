// CPort: the pedal connection the main window polls, and the port of no pedal.
//
// Every way of reaching the foot switch derives from this class: CCom (serial) and CUSB (USB).
// A plain CPort never opens and never reports a press; it stands for "None " and for the two
// parallel rows, which have no implementation. The virtual operations keep this order.
//
// Polling: each IsPressed looks whether anything came back since the previous call (pressed if
// so), then sends the next probe byte. A device failure seen while polling closes the port; the
// owner retries Open. A polled port is read on a worker by CPedalReader; the others announce
// each change of their switches to a window (NotifyTo) and are read on its thread.
#pragma once

#include "pedal/hid_pedals.h"

#include <windows.h>

#include <memory>

class CPort {
public:
    CPort() = default;
    virtual ~CPort();
    CPort(const CPort&) = delete;
    CPort& operator=(const CPort&) = delete;

    // The type code saved in "Port Type": 0 here.
    virtual int GetType() const;
    // The number saved in "Port Num".
    virtual int GetNum() const;
    // The row of the port table this port selects in the settings dialog: the row of its type
    // and number, so 0 here.
    virtual int GetListIndex() const;
    // An auxiliary reading the settings dialog shows; 0 for every port.
    virtual int GetValue() const;
    // A complete new attempt to reach the device: 1 when it is open, 0 otherwise.
    virtual int Open();
    // Releases the device when open; harmless on a closed port.
    virtual void Close();
    // The connection state, without any I/O.
    virtual int IsOpen() const;
    // One poll of the switch: 1 pressed, 0 not (always 0 on a closed port).
    virtual int IsPressed();
    // IsPressed that may wait: when nothing has come back yet, waits up to `maxWaitMs` for the
    // probe it has just sent and returns as soon as that comes. A port that cannot wait on its
    // device returns at once, as IsPressed does.
    virtual int Poll(DWORD maxWaitMs);
    // One poll of every switch; a one-switch pedal is its middle switch.
    virtual pedal::SwitchSet ReadSwitches();
    // True for a switch that is only known by probing it (a loop-back switch): it is polled on
    // a worker, which then alone calls it. False for a port whose switches arrive as messages
    // of the window thread, and for the port of no pedal.
    virtual bool IsPolled() const;
    // Ports whose switches arrive as messages post `message` to `window` at each change once
    // opened (wParam: 1 when anything is held), so the owner reads them at once; polled ports
    // ignore it.
    virtual void NotifyTo(HWND window, UINT message);

    // True while this port's Open runs. An Open that shows a message box is still on the stack
    // while the box dispatches the program's messages (ticks, clicks on other windows): the
    // owner must then neither open, poll, replace nor destroy the port.
    bool IsBusy() const { return m_nBusy > 0; }

    int m_bOpen = 0;
    int m_nNum = 0;

protected:
    // Marks the port busy for as long as it lives; an Open that may show a box holds one.
    class BusyScope {
    public:
        explicit BusyScope(CPort& port) : m_port(port) { ++m_port.m_nBusy; }
        ~BusyScope() { --m_port.m_nBusy; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        CPort& m_port;
    };

private:
    int m_nBusy = 0;
};

// The port for a stored type code and number, closed: the class of the port table's row for
// them (CCom for a serial row, CUSB for the USB row, CKeyPort for the keyboard's, CHidPort
// reading the pedal `hid` names for the HID row), and a plain CPort (number 0) for the
// parallel rows and for anything no row stands for.
std::unique_ptr<CPort> CreatePort(int nType, int nNum, const pedal::HidChoice& hid = {});
