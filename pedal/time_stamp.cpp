#include "pedal/time_stamp.h"

#include <cstdio>

namespace pedal {

TimeStampFormat TimeStampFormatFromStored(std::optional<uint32_t> stored) {
    if (stored && *stored < kTimeStampFormatCount)
        return static_cast<TimeStampFormat>(*stored);
    return TimeStampFormat::Seconds;
}

std::string FormatTimeStamp(TimeStampFormat format, int64_t position) {
    const int64_t tenths = position > 0 ? position / 1'000'000 : 0;
    const long long seconds = tenths / 10;
    const long long h = seconds / 3600;
    const int m = static_cast<int>(seconds / 60 % 60);
    const int s = static_cast<int>(seconds % 60);
    const int d = static_cast<int>(tenths % 10);
    char text[48];
    switch (format) {
    case TimeStampFormat::Tenths:
        std::snprintf(text, sizeof text, "[%02lld:%02d:%02d.%d]", h, m, s, d);
        break;
    case TimeStampFormat::Hash:
        std::snprintf(text, sizeof text, "#%02lld:%02d:%02d-%d#", h, m, s, d);
        break;
    case TimeStampFormat::Seconds:
    default:
        std::snprintf(text, sizeof text, "[%02lld:%02d:%02d]", h, m, s);
        break;
    }
    return text;
}

} // namespace pedal
