#include "pedal/key_port.h"

#include "pedal/port_catalogue.h"

CKeyPort::~CKeyPort() {
    Close();
}

int CKeyPort::GetType() const {
    return pedal::TypeCode(pedal::PortKind::Key);
}

int CKeyPort::Open() {
    m_bOpen = m_nNum > 0 && m_nNum < 256 &&
              m_hook.Start(static_cast<uint8_t>(m_nNum), m_notify, m_message);
    return m_bOpen;
}

void CKeyPort::Close() {
    m_hook.Stop();
    m_bOpen = 0;
}

int CKeyPort::IsPressed() {
    return m_bOpen && m_hook.IsHeld();
}

void CKeyPort::NotifyTo(HWND window, UINT message) {
    m_notify = window;
    m_message = message;
    // The hook knows its target from Start: an open port starts again, now telling the window.
    if (m_bOpen)
        Open();
}
