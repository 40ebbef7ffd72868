// Plain long-double models of what the force library sends, shared by the force model tests.
#pragma once

#include <cmath>
#include <cstdint>

namespace kinetra::test {

// A magnitude or gain as the library takes it: at most 10000.
inline long double Capped(std::uint32_t value) {
    return value > 10000 ? 10000.0L : static_cast<long double>(value);
}

// 32767 * value * gain / 10^8 (each capped at 10000) to the nearest level, in long double: the
// product is exact there, and so is a quotient that ends in one half.
inline std::int32_t ModelLevel(std::uint32_t value, std::uint32_t gain) {
    return static_cast<std::int32_t>(std::llround(32767.0L * Capped(value) * Capped(gain) / 1e8L));
}

}  // namespace kinetra::test
