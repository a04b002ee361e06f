// Time stamps the typist drops into the transcript (the F6 shortcut): the formats offered and
// how the current position is written in each.
//
// Windows-free: built and tested natively as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pedal {

// Stored as its code (REG_DWORD) in "Time Stamp Format"; never renumber.
enum class TimeStampFormat : uint32_t {
    // "[00:01:07]": the position truncated to the second.
    Seconds = 0,
    // "[00:01:07.4]": truncated to the tenth.
    Tenths = 1,
    // "#00:01:07-4#": truncated to the tenth.
    Hash = 2,
};
inline constexpr int kTimeStampFormatCount = 3;
inline constexpr const char* kTimeStampFormatValueName = "Time Stamp Format";
// The patterns the settings dialog lists, in code order.
inline constexpr const char* kTimeStampPatterns[kTimeStampFormatCount] = {
    "[hh:mm:ss]", "[hh:mm:ss.d]", "#hh:mm:ss-d#"};

// A missing value or an unknown code gives Seconds, which the program then writes back.
TimeStampFormat TimeStampFormatFromStored(std::optional<uint32_t> stored);

// The position (100-nanosecond units) in `format`; a position before 0 counts as 0, and hours
// take more than two digits past 99.
std::string FormatTimeStamp(TimeStampFormat format, int64_t position);

} // namespace pedal
