#include "app/settings_values.h"

#include <limits>

namespace settings {

namespace {
constexpr double kUnitsPerSecond = 10000000.0;
constexpr double kTenthsPerSecond = 10.0;
constexpr int32_t kVolumeSpan = 4000;
} // namespace

int64_t StartPositionFromStored(uint32_t tenths) {
    return static_cast<int64_t>(tenths / kTenthsPerSecond * kUnitsPerSecond);
}

int32_t StoredFromPosition(int64_t units) {
    const double tenths = units / kUnitsPerSecond * kTenthsPerSecond;
    if (tenths <= 0)
        return 0;
    if (tenths >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(tenths);
}

int32_t PlayerVolumeFromStored(int32_t slider) {
    // Done in 64 bits: a stored value can be anything a 32-bit integer holds.
    const int64_t volume = static_cast<int64_t>(slider) - kVolumeSpan;
    return volume < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
                                                        : static_cast<int32_t>(volume);
}

int32_t StoredFromPlayerVolume(int32_t playerVolume) {
    const int64_t slider = static_cast<int64_t>(playerVolume) + kVolumeSpan;
    return slider > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                        : static_cast<int32_t>(slider);
}

int SpeedFromStored(uint32_t percent) {
    const bool offered = percent >= static_cast<uint32_t>(player::kSpeedMin) &&
                         percent <= static_cast<uint32_t>(player::kSpeedMax) &&
                         percent % player::kSpeedStep == 0;
    return offered ? static_cast<int>(percent) : kDefaultSpeed;
}

} // namespace settings
