// The port catalogue: every way the pedal can be reached, as the settings dialog lists it.
//
// Twelve rows in a fixed order. The combo box shows the combo texts; captions and the live line
// show the display names. Display names, type codes and numbers are three parallel tables
// indexed by row. The choice of class for a stored type and number is made here too, so that
// out-of-range stored values never reach a table.
//
// Windows-free: built and tested natively as well.
#pragma once

#include <cstdint>
#include <string>

namespace pedal {

// Type codes, as stored in the "Port Type" setting.
enum : int {
    kPortTypeNone = 0,
    kPortTypeSerial = 1,
    kPortTypeParallel = 2,
    kPortTypeUsb = 3,
};

inline constexpr int kPortRows = 12;
inline constexpr int kSerialPorts = 8;
// The USB pedal's catalogue row; a CUSB of number n sits at row n + kUsbRow.
inline constexpr int kUsbRow = 11;

inline constexpr const char* g_szPortComboTexts[kPortRows] = {
    "None ", "Com1:", "Com2:", "Com3:", "Com4:", "Com5:",
    "Com6:", "Com7:", "Com8:", "Lpt1:", "Lpt2:", "USB:"};

// The port-name table.
inline constexpr const char* g_szPortNames[kPortRows] = {
    "None",  "Com1:", "Com2:", "Com3:", "Com4:", "Com5:",
    "Com6:", "Com7:", "Com8:", "Lpt1:", "Lpt2:", "USB"};

// The port-type table.
inline constexpr int g_nPortTypes[kPortRows] = {0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3};

// The port-number table.
inline constexpr int g_nPortNums[kPortRows] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 0};

// The device names handed to the system; the trailing colon is part of the name.
inline constexpr const char* g_szComDevices[kSerialPorts] = {
    "Com1:", "Com2:", "Com3:", "Com4:", "Com5:", "Com6:", "Com7:", "Com8:"};

// Which class CreatePort makes.
enum class PortKind { None, Serial, Usb };

// Serial for type 1 with a number 0 to 7, USB for type 3 with number 0, no pedal for anything
// else (including the parallel rows, for which no implementation exists).
PortKind ChoosePortKind(int nType, int nNum);

// True when `nRow` is a row of the catalogue.
bool IsPortRow(int nRow);

// The serial device name for port number `nNum`, null outside 0 to 7.
const char* ComDeviceName(int nNum);

// The USB driver's version as the About box shows it: bits 23 to 0 as three two-digit hex
// fields ("02.12.28" for 0x00021228); the top byte is not part of the version.
std::string FormatDriverVersion(std::uint32_t nVersion);

} // namespace pedal
