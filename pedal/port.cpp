#include "pedal/port.h"

#include "pedal/com_port.h"
#include "pedal/hid_port.h"
#include "pedal/key_port.h"
#include "pedal/port_catalogue.h"
#include "pedal/usb_port.h"

CPort::~CPort() = default;

int CPort::GetType() const {
    return pedal::TypeCode(pedal::PortKind::None);
}
int CPort::GetNum() const {
    return m_nNum;
}
int CPort::GetListIndex() const {
    return pedal::PortRowOf(GetType(), GetNum());
}
int CPort::GetValue() const {
    return 0;
}

int CPort::Open() {
    m_bOpen = 0;
    return 0;
}

void CPort::Close() {
    m_bOpen = 0;
}
int CPort::IsOpen() const {
    return m_bOpen;
}
int CPort::IsPressed() {
    return 0;
}

int CPort::Poll(DWORD) {
    return IsPressed();
}

pedal::SwitchSet CPort::ReadSwitches() {
    return IsPressed() ? pedal::Bit(pedal::Switch::Middle) : pedal::SwitchSet{0};
}

bool CPort::IsPolled() const {
    return false;
}

void CPort::NotifyTo(HWND, UINT) {}

std::unique_ptr<CPort> CreatePort(int nType, int nNum, const pedal::HidChoice& hid) {
    switch (pedal::ChoosePortKind(nType, nNum)) {
    case pedal::PortKind::Serial:
        return std::make_unique<CCom>(nNum);
    case pedal::PortKind::Usb:
        return std::make_unique<CUSB>(nNum);
    case pedal::PortKind::Key:
        return std::make_unique<CKeyPort>(nNum);
    case pedal::PortKind::Hid:
        return std::make_unique<CHidPort>(hid);
    case pedal::PortKind::None:
    case pedal::PortKind::Parallel:
        break;
    }
    return std::make_unique<CPort>();
}
