// The speeds the player offers, in percent of the recorded one.
#pragma once

namespace player {

constexpr int kSpeedMin = 50;
constexpr int kSpeedMax = 200;
constexpr int kSpeedStep = 5;
constexpr int kSpeedNormal = 100;

} // namespace player
