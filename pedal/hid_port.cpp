#include "pedal/hid_port.h"

#include "pedal/port_catalogue.h"

CHidPort::~CHidPort() {
    Close();
}

int CHidPort::GetType() const {
    return pedal::TypeCode(pedal::PortKind::Hid);
}

int CHidPort::Open() {
    Close();
    const std::optional<pedal::ReportLayout> layout = m_choice.Layout();
    if (!layout)
        return 0;
    m_layout = *layout;
    m_bOpen = m_reader.Start(m_choice.id, *this);
    return m_bOpen;
}

void CHidPort::Close() {
    m_reader.Stop();
    m_bOpen = 0;
    m_held = 0;
}

void CHidPort::SetHeld(pedal::SwitchSet held) {
    if (held == m_held)
        return;
    m_held = held;
    if (m_notify)
        ::PostMessageA(m_notify, m_message, held != 0 ? 1 : 0, 0);
}

int CHidPort::IsPressed() {
    return m_bOpen && m_held != 0;
}

void CHidPort::OnHidReport(std::span<const uint8_t> report) {
    if (const std::optional<pedal::SwitchSet> held = pedal::DecodeReport(m_layout, report))
        SetHeld(*held);
}

void CHidPort::OnHidPresence(bool present) {
    // Unplugged: released, and closed until the owner's retry finds it again.
    if (!present) {
        m_bOpen = 0;
        SetHeld(0);
    }
}
