// Conversions between the stored settings and what the running program uses.
#include "app/settings_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr int64_t kSecond = 10000000;

TEST(SettingsPosition, StoredTenthsBecomeAStartPosition) {
    const struct {
        uint32_t stored;
        int64_t units;
    } cases[] = {
        {0, 0},
        {834, 834 * kSecond / 10}, // 83.4 s
        {1, kSecond / 10},
        {36000, 3600 * kSecond}, // one hour
        // Read as unsigned: a value that a signed reading would make negative stays far ahead.
        {0xFFFFFFFFu, int64_t{0xFFFFFFFF} * (kSecond / 10)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settings::StartPositionFromStored(c.stored), c.units) << c.stored;
}

TEST(SettingsPosition, PlayerPositionIsStoredInWholeTenths) {
    const struct {
        int64_t units;
        int32_t stored;
    } cases[] = {
        {123800000, 123}, // 12.38 s
        {834700000, 834}, // 83.47 s
        {0, 0},
        {kSecond / 10 - 1, 0}, // just under a tenth
        {kSecond / 10, 1},
        {-5 * kSecond, 0}, // nothing before the start is kept
        {int64_t{1} << 62, std::numeric_limits<int32_t>::max()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settings::StoredFromPosition(c.units), c.stored) << c.units;
}

TEST(SettingsPosition, WhatIsStoredComesBackAtTheSameTenth) {
    for (uint32_t tenths : {0u, 1u, 7u, 834u, 123u, 99999u})
        EXPECT_EQ(settings::StoredFromPosition(settings::StartPositionFromStored(tenths)),
                  static_cast<int32_t>(tenths));
}

TEST(SettingsVolume, SliderAndPlayerVolumeDifferBy4000) {
    const struct {
        int32_t slider;
        int32_t player;
    } cases[] = {
        {4000, 0},
        {2500, -1500},
        {0, -4000},
        {5000, 1000}, // out of range: handed on, the slider clamps its own position
        {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(settings::PlayerVolumeFromStored(c.slider), c.player) << c.slider;
        if (c.slider > std::numeric_limits<int32_t>::min()) {
            EXPECT_EQ(settings::StoredFromPlayerVolume(c.player), c.slider) << c.player;
        }
    }
    EXPECT_EQ(settings::StoredFromPlayerVolume(std::numeric_limits<int32_t>::max()),
              std::numeric_limits<int32_t>::max());
}

} // namespace

TEST(SettingsSpeed, OnlySpeedsThePlayerOffersAreTaken) {
    const struct {
        uint32_t stored;
        int speed;
    } cases[] = {
        {100, 100}, {50, 50},           {200, 200},         {75, 75},  {145, 145},
        {45, 100},  {205, 100},         {0, 100},           {72, 100}, {199, 100},
        {51, 100},  {0xFFFFFFFFu, 100}, {0x80000064u, 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settings::SpeedFromStored(c.stored), c.speed) << c.stored;
}
