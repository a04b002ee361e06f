// Reading and writing the ten settings through the application object's profile operations
// (HKCU\Software\Brenvale\<program>\Settings). Names, defaults and conversions are those of
// settings_values.h. A value that is missing, of another registry type or longer than its
// type reads as its default; no value is limited to a range on the way in.
#pragma once

#include "app/settings_values.h"
#include "framework/win_app.h"
#include "pedal/hid_pedals.h"
#include "pedal/shortcuts.h"
#include "pedal/switch_logic.h"
#include "pedal/time_stamp.h"

#include <windows.h>

#include <string>

namespace settings {

// Read while the toolbar is constructed.
int ReadAutoRewind(const fw::CWinApp& app);
BOOL ReadAlwaysOnTop(const fw::CWinApp& app);

// Read while the toolbar is set up, in this order.
int ReadInstalling(const fw::CWinApp& app);
// After the installation wait: later starts do not wait again.
void ClearInstalling(const fw::CWinApp& app);
// The stored codes as they are, for CreatePort.
int ReadPortType(const fw::CWinApp& app);
int ReadPortNum(const fw::CWinApp& app);
// A path in any script: written as UTF-16 text; one an earlier build stored from the ANSI code
// page reads the same.
std::wstring ReadRecent(const fw::CWinApp& app);
// In 100-nanosecond units, for an absolute seek.
LONGLONG ReadStartPosition(const fw::CWinApp& app);
// The volume slider's position; PlayerVolumeFromStored gives the player's volume.
int ReadVolume(const fw::CWinApp& app);
// Percent of the recorded speed, one the player offers.
int ReadSpeed(const fw::CWinApp& app);
// The stored top-left corner; each coordinate missing is taken from `current`.
POINT ReadWindowPos(const fw::CWinApp& app, POINT current);
// The global shortcuts and the time-stamp format (pedal/shortcuts.h, pedal/time_stamp.h): a
// missing or unusable value gives the default, which Write puts back.
pedal::Shortcuts ReadShortcuts(const fw::CWinApp& app);
pedal::TimeStampFormat ReadTimeStampFormat(const fw::CWinApp& app);
// The HID pedal chosen, for CreatePort: "Pedal Device" and "Pedal Layout"; a text that does not
// parse counts as missing (no device, or the table's layout).
pedal::HidChoice ReadHidChoice(const fw::CWinApp& app);
// What each switch does ("Pedal Left", "Pedal Middle", "Pedal Right").
pedal::SwitchFunctions ReadSwitchFunctions(const fw::CWinApp& app);

// What the toolbar hands over when it is destroyed.
struct WriteBack {
    POINT ptTopLeft{};
    // GetType() and GetNum() of the port object in use.
    int nPortType = pedal::TypeCode(pedal::PortKind::None);
    int nPortNum = 0;
    int nAutoRewind = 0;
    BOOL bAlwaysOnTop = FALSE;
    // The player's position in 100-nanosecond units, 0 without a seeking interface.
    LONGLONG llPosition = 0;
    // The player's volume, hundredths of a decibel.
    LONG lPlayerVolume = 0;
    int nSpeed = kDefaultSpeed;
    std::wstring strRecent;
    pedal::Shortcuts shortcuts = pedal::Shortcuts::Defaults();
    pedal::TimeStampFormat timeStampFormat = pedal::TimeStampFormat::Seconds;
    // Written as they are: a HID pedal's IDs of 0000:0000 mean none was chosen.
    pedal::HidChoice hid;
    pedal::SwitchFunctions functions;
};
// Writes the values the run may have changed, in the order left, top, Port Type, Port Num,
// Auto Rewind, Allways Top, Position, Volume, Speed, Recent, then the shortcuts, the time-stamp
// format, the HID pedal and the switches' functions. Failures are not reported.
void Write(const fw::CWinApp& app, const WriteBack& values);

} // namespace settings
