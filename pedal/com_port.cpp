#include "pedal/com_port.h"

#include "pedal/port_catalogue.h"

#include <windows.h>

#include <algorithm>

namespace {
constexpr char kProbe = 'A';
constexpr DWORD kQueueSize = 10;
constexpr DWORD kBaudRate = 19200;
constexpr DWORD kWriteTimeoutMs = 50;
} // namespace

CCom::CCom(int nNum) : m_pBuffer(std::make_unique<char[]>(kBufferSize)) {
    m_nNum = nNum;
}

CCom::~CCom() {
    Close();
}

int CCom::GetType() const {
    return pedal::TypeCode(pedal::PortKind::Serial);
}

int CCom::Open() {
    // A new attempt starts from a released device: Windows would refuse a second exclusive
    // open of the port this object still holds.
    Close();
    const char* pszDevice = pedal::ComDeviceName(m_nNum);
    if (!pszDevice)
        return 0;
    fw::UniqueFile hPort(::CreateFileA(pszDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hPort)
        return 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(hPort.get(), &dcb))
        return 0;
    dcb.BaudRate = kBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!::SetCommState(hPort.get(), &dcb))
        return 0;
    if (!::SetupComm(hPort.get(), kQueueSize, kQueueSize))
        return 0;
    m_hPort = std::move(hPort);
    // A new handle has the system's timeouts, whatever the last one had.
    m_dwReadWaitMs = MAXDWORD;
    if (!SetReadWait(0)) {
        m_hPort.reset();
        return 0;
    }
    m_bOpen = 1;
    return 1;
}

bool CCom::SetReadWait(DWORD dwWaitMs) {
    if (dwWaitMs == m_dwReadWaitMs)
        return true;
    // A read returns as soon as it has the bytes it asked for, or after `dwWaitMs`. IsPressed
    // asks only for bytes already queued, so it never waits, even when the device vanishes
    // between the queue check and the read.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = dwWaitMs == 0 ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutConstant = dwWaitMs;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!::SetCommTimeouts(m_hPort.get(), &timeouts))
        return false;
    m_dwReadWaitMs = dwWaitMs;
    return true;
}

void CCom::Close() {
    m_hPort.reset();
    m_bOpen = 0;
}

int CCom::IsPressed() {
    if (!m_bOpen)
        return 0;
    DWORD dwErrors = 0;
    COMSTAT status{};
    const DWORD dwWaiting =
        ::ClearCommError(m_hPort.get(), &dwErrors, &status) ? status.cbInQue : 0;
    int bPressed = 0;
    if (dwWaiting > 0) {
        // The bytes only tell that the probe came back; more than a buffer's worth stays
        // queued for the next poll.
        DWORD dwRead = 0;
        ::ReadFile(m_hPort.get(), m_pBuffer.get(), std::min<DWORD>(dwWaiting, kBufferSize), &dwRead,
                   nullptr);
        bPressed = 1;
    }
    if (!::TransmitCommChar(m_hPort.get(), kProbe))
        Close();
    return bPressed;
}

int CCom::Poll(DWORD maxWaitMs) {
    const int bPressed = IsPressed();
    if (bPressed || !m_bOpen || maxWaitMs == 0)
        return bPressed;
    // One byte is all a press needs: the read ends with the probe's echo, or empty at the wait's
    // end while the switch is open.
    DWORD dwRead = 0;
    if (!SetReadWait(maxWaitMs) ||
        !::ReadFile(m_hPort.get(), m_pBuffer.get(), 1, &dwRead, nullptr)) {
        Close();
        return 0;
    }
    return dwRead > 0;
}
