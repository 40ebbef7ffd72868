// Unit conversions of the force output: frequencies to periods, magnitudes to device levels.
#pragma once

#include <cstdint>

namespace kinetra::force {

// Full strength of magnitudes, gains and envelope levels.
inline constexpr std::uint32_t kFullScale = 10000;

// Period of a new effect in milliseconds: the integer part of 1000 * (1 / Hz) computed in double
// precision; 0 Hz gives 0. Thread: any.
std::uint32_t CreationPeriodMs(std::uint32_t frequencyHz);

// Period for a change of a playing effect: 1000 / Hz in unsigned integer arithmetic, remainder
// dropped. 0 Hz has no period: it gives OND_UNCHANGED (0x80000000), so the period stays as it is.
// Thread: any.
std::uint32_t ChangePeriodMs(std::uint32_t frequencyHz);

// Level a device plays for magnitude (0..10000) under the effect's own gain (0..10000) on a device
// whose levels run 0..maxLevel: maxLevel * magnitude * gain / 10000^2, rounded to the nearest
// level (halves up). Magnitudes and gains above 10000 count as 10000. Thread: any.
std::int32_t DeviceLevel(std::uint32_t magnitude, std::uint32_t gain, std::int32_t maxLevel);

// Signed value -10000..10000 (an offset) onto -maxLevel..maxLevel, rounded to the nearest level
// (halves away from zero); values beyond +-10000 count as +-10000. Thread: any.
std::int32_t DeviceSignedLevel(std::int32_t value, std::int32_t maxLevel);

}  // namespace kinetra::force
