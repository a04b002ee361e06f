// CCom: the foot switch on a serial port, COM1 to COM8.
//
// The switch has no protocol: pressed, it ties the transmit line to the receive line, so the
// probe byte sent on one poll is waiting in the input queue at the next, or ends at once the
// read that Poll waits on. The line runs at 19200 baud 8N1 with the remaining settings as the
// system reports them. The device is held exclusively while open.
#pragma once

#include "framework/handle.h"
#include "pedal/port.h"

#include <memory>

class CCom : public CPort {
public:
    // The most bytes one poll drains from the input queue.
    static constexpr int kBufferSize = 10;

    explicit CCom(int nNum);
    ~CCom() override;

    int GetType() const override;
    bool IsPolled() const override { return true; }
    // Opens "Com<n+1>:" and sets the line; a handle whose set-up failed is not kept.
    int Open() override;
    void Close() override;
    // Never waits: only bytes already queued are read.
    int IsPressed() override;
    // Waits on the line for the probe's echo: a closed switch shows as soon as its first
    // probe comes back, without any further poll.
    int Poll(DWORD maxWaitMs) override;

    fw::UniqueFile m_hPort;
    std::unique_ptr<char[]> m_pBuffer;

private:
    // Sets how long a read waits for its first byte; the line keeps it until the next change.
    bool SetReadWait(DWORD dwWaitMs);

    // How long a read waits for its first byte now.
    DWORD m_dwReadWaitMs = 0;
};
