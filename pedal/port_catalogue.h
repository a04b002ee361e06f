// The port table: every way the pedal can be reached, one row each, in the order the settings
// dialog lists them.
//
// A row pairs what the typist sees (the combo text, and the name captions and the live line
// show) with what is stored ("Port Type" is the row's kind, "Port Num" its number). The
// factory (CreatePort), the settings and the settings dialog all read this one table, so a new
// kind of port is a new PortKind, its rows here, and its class.
//
// Windows-free: built and tested natively as well.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

namespace pedal {

// The kinds of port; each value is the type code stored in "Port Type".
enum class PortKind : int {
    None = 0,
    Serial = 1,
    // Listed for the typist's sake; no pedal is read there, so it makes the port of no pedal.
    Parallel = 2,
    Usb = 3,
    // A pedal that acts as a keyboard: "Port Num" is the virtual-key code of the key it sends.
    Key = 4,
    // A HID pedal read through Raw Input: the device is the "Pedal Device" value (and, for one
    // that was learnt, "Pedal Layout"); "Port Num" is 0.
    Hid = 5,
};

inline constexpr int TypeCode(PortKind kind) {
    return static_cast<int>(kind);
}

struct PortRow {
    const char* comboText;
    // Captions and the live line; for a serial port, also the device name handed to the
    // system (the trailing colon is part of it).
    const char* name;
    PortKind kind;
    int num;
};

inline constexpr PortRow kPortTable[] = {
    {"None ", "None", PortKind::None, 0},
    {"Com1:", "Com1:", PortKind::Serial, 0},
    {"Com2:", "Com2:", PortKind::Serial, 1},
    {"Com3:", "Com3:", PortKind::Serial, 2},
    {"Com4:", "Com4:", PortKind::Serial, 3},
    {"Com5:", "Com5:", PortKind::Serial, 4},
    {"Com6:", "Com6:", PortKind::Serial, 5},
    {"Com7:", "Com7:", PortKind::Serial, 6},
    {"Com8:", "Com8:", PortKind::Serial, 7},
    {"Lpt1:", "Lpt1:", PortKind::Parallel, 0},
    {"Lpt2:", "Lpt2:", PortKind::Parallel, 1},
    {"USB:", "USB", PortKind::Usb, 0},
    // Its number is whatever key was chosen; 0 (no key yet) never opens.
    {"Clavier", "Clavier", PortKind::Key, 0},
    {"HID:", "HID", PortKind::Hid, 0},
};

inline constexpr int kPortRows = static_cast<int>(std::size(kPortTable));

// The row that stores as `nType` and `nNum`, or -1 when none does. The keyboard's row stands
// for every usable key code (pedal::IsUsableKey).
int FindPortRow(int nType, int nNum);

// The row selected for a stored type and number: that row, or row 0 (no pedal) for codes no
// row stands for.
int PortRowOf(int nType, int nNum);

// The kind of port CreatePort makes for a stored type and number: the row's kind, and None for
// anything no row stands for, so out-of-range stored values never reach a device.
PortKind ChoosePortKind(int nType, int nNum);

// True when `nRow` is a row of the table.
bool IsPortRow(int nRow);

// The row at `nRow`, or row 0 outside the table.
const PortRow& PortAt(int nRow);

// The serial device name for port number `nNum`, null when no serial row has that number.
const char* ComDeviceName(int nNum);

// The USB driver's version as the About box shows it: bits 23 to 0 as three two-digit hex
// fields ("02.12.28" for 0x00021228); the top byte is not part of the version.
std::string FormatDriverVersion(std::uint32_t nVersion);

} // namespace pedal
