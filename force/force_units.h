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
// Inline: every effect update of the capture thread works it out. Thread: any.
constexpr std::uint32_t ChangePeriodMs(std::uint32_t frequencyHz) {
    constexpr std::uint32_t kUnchanged = 0x80000000u;  // OND_UNCHANGED (force/ond_library.h)
    if (frequencyHz == 0) return kUnchanged;
    return 1000u / frequencyHz;
}

// The part of a device level that the effect's own gain (0..10000, larger counts as 10000) and the
// device's largest level give: gain * maxLevel, 0 when maxLevel <= 0. Worked out once per gain, so
// that an effect update multiplies only by its magnitude (ScaledDeviceLevel). Thread: any.
constexpr std::uint64_t DeviceLevelScale(std::uint32_t gain, std::int32_t maxLevel) {
    if (maxLevel <= 0) return 0;
    const std::uint64_t g = gain > kFullScale ? kFullScale : gain;
    return g * static_cast<std::uint64_t>(maxLevel);
}

// Level a device plays for magnitude (0..10000, larger counts as 10000) under
// scale = DeviceLevelScale(gain, maxLevel): magnitude * scale / 10000^2, rounded to the nearest
// level (halves up). Inline: the force library works one out for every effect update.
// Thread: any.
constexpr std::int32_t ScaledDeviceLevel(std::uint32_t magnitude, std::uint64_t scale) {
    const std::uint64_t m = magnitude > kFullScale ? kFullScale : magnitude;
    const std::uint64_t denominator = std::uint64_t{kFullScale} * kFullScale;
    // At most 10^4 * 10^4 * 2^31, well inside 64 bits.
    return static_cast<std::int32_t>((m * scale + denominator / 2) / denominator);
}

// Level a device plays for magnitude (0..10000) under the effect's own gain (0..10000) on a device
// whose levels run 0..maxLevel: maxLevel * magnitude * gain / 10000^2, rounded to the nearest level
// (halves up). Magnitudes and gains above 10000 count as 10000. Thread: any.
constexpr std::int32_t DeviceLevel(std::uint32_t magnitude, std::uint32_t gain,
                                   std::int32_t maxLevel) {
    return ScaledDeviceLevel(magnitude, DeviceLevelScale(gain, maxLevel));
}

// Signed value -10000..10000 (an offset) onto -maxLevel..maxLevel, rounded to the nearest level
// (halves away from zero); values beyond +-10000 count as +-10000. Thread: any.
inline std::int32_t DeviceSignedLevel(std::int32_t value, std::int32_t maxLevel) {
    if (maxLevel <= 0) return 0;
    const std::int64_t full = kFullScale;
    std::int64_t v = value;
    if (v > full) v = full;
    if (v < -full) v = -full;
    const std::int64_t scaled = (v < 0 ? -v : v) * maxLevel;
    const std::int64_t rounded = (scaled + full / 2) / full;
    return static_cast<std::int32_t>(v < 0 ? -rounded : rounded);
}

}  // namespace kinetra::force
