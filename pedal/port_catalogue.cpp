#include "pedal/port_catalogue.h"

#include <cstdio>

namespace pedal {

PortKind ChoosePortKind(int nType, int nNum) {
    if (nType == kPortTypeSerial && nNum >= 0 && nNum < kSerialPorts)
        return PortKind::Serial;
    if (nType == kPortTypeUsb && nNum == 0)
        return PortKind::Usb;
    return PortKind::None;
}

bool IsPortRow(int nRow) {
    return nRow >= 0 && nRow < kPortRows;
}

const char* ComDeviceName(int nNum) {
    return nNum >= 0 && nNum < kSerialPorts ? g_szComDevices[nNum] : nullptr;
}

std::string FormatDriverVersion(std::uint32_t nVersion) {
    char szText[16];
    std::snprintf(
        szText, sizeof szText, "%02x.%02x.%02x", static_cast<unsigned>((nVersion >> 16) & 0xFF),
        static_cast<unsigned>((nVersion >> 8) & 0xFF), static_cast<unsigned>(nVersion & 0xFF));
    return szText;
}

} // namespace pedal
