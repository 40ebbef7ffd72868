#include "force/force_units.h"

#include "force/ond_library.h"

namespace kinetra::force {

std::uint32_t CreationPeriodMs(std::uint32_t frequencyHz) {
    if (frequencyHz == 0) return 0;
    // 1 Hz gives the largest value, 1000, so the conversion back to an integer cannot overflow.
    return static_cast<std::uint32_t>(1000.0 * (1.0 / static_cast<double>(frequencyHz)));
}

std::uint32_t ChangePeriodMs(std::uint32_t frequencyHz) {
    if (frequencyHz == 0) return OND_UNCHANGED;
    return 1000u / frequencyHz;
}

std::int32_t DeviceLevel(std::uint32_t magnitude, std::uint32_t gain, std::int32_t maxLevel) {
    if (maxLevel <= 0) return 0;
    const std::uint64_t m = magnitude > kFullScale ? kFullScale : magnitude;
    const std::uint64_t g = gain > kFullScale ? kFullScale : gain;
    const std::uint64_t denominator = std::uint64_t{kFullScale} * kFullScale;
    // At most 2^31 * 10^8, well inside 64 bits.
    const std::uint64_t scaled = m * g * static_cast<std::uint64_t>(maxLevel);
    return static_cast<std::int32_t>((scaled + denominator / 2) / denominator);
}

std::int32_t DeviceSignedLevel(std::int32_t value, std::int32_t maxLevel) {
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
