// The program's persistent settings: the eleven values of the profile section "Settings", their
// names exactly as stored, their defaults, and the conversions between what is stored and what
// the running program uses. The registry side lives in settings.h; this part needs no Windows
// header.
#pragma once

#include "pedal/port_catalogue.h"
#include "player/speed.h"

#include <cstdint>

namespace settings {

inline constexpr const char* kSection = "Settings";

// Tenths of a second; the auto-rewind slider spans 0 to 50.
inline constexpr const char* kAutoRewind = "Auto Rewind";
// 1: the toolbar stays above other windows. The spelling is the one every user's profile has.
inline constexpr const char* kAlwaysOnTop = "Allways Top";
// Non-zero: wait for an installation to finish before the pedal port is touched.
inline constexpr const char* kInstalling = "Installing";
inline constexpr const char* kPortType = "Port Type";
inline constexpr const char* kPortNum = "Port Num";
// Full path of the last file given to the open routine.
inline constexpr const char* kRecent = "Recent";
// Playback position in tenths of a second.
inline constexpr const char* kPosition = "Position";
// Volume slider position, 0 to 4000.
inline constexpr const char* kVolume = "Volume";
// Playback speed in percent of the recorded one: 50 to 200 in steps of 5.
inline constexpr const char* kSpeed = "Speed";
// The window's top-left corner, screen pixels.
inline constexpr const char* kLeft = "left";
inline constexpr const char* kTop = "top";

inline constexpr int kDefaultAutoRewind = 0;
inline constexpr int kDefaultAlwaysOnTop = 1;
// A missing value counts as an installation, so an account's first start waits.
inline constexpr int kDefaultInstalling = 1;
// The USB pedal, number 0.
inline constexpr int kDefaultPortType = pedal::TypeCode(pedal::PortKind::Usb);
inline constexpr int kDefaultPortNum = 0;
// Names no existing file.
inline constexpr const wchar_t* kDefaultRecent = L"Quillodrome";
inline constexpr int kDefaultPosition = 0;
inline constexpr int kDefaultVolume = 4000;
inline constexpr int kDefaultSpeed = player::kSpeedNormal;
// "left" and "top" default to wherever the window already is.

// The stored position (tenths of a second, read as unsigned) as a start position in
// 100-nanosecond units.
int64_t StartPositionFromStored(uint32_t tenths);
// The player's position in 100-nanosecond units as stored tenths, truncated toward zero
// (83.47 s is stored as 834). Positions before 0 store 0; beyond the 32-bit range, its maximum.
int32_t StoredFromPosition(int64_t units);

// The player's volume in hundredths of a decibel (0 is full volume) for a volume slider value,
// and back. Values outside the slider's range are handed on unchanged.
int32_t PlayerVolumeFromStored(int32_t slider);
int32_t StoredFromPlayerVolume(int32_t playerVolume);

// The stored speed (read as unsigned) when it is one the player offers, else 100.
int SpeedFromStored(uint32_t percent);

} // namespace settings
