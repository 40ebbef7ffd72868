// The rule that turns a response-level slider position into a band mapper's threshold.
#pragma once

#include <cmath>
#include <cstdint>

namespace kinetra::analysis {

// Threshold of a level position (0..100, 0 most responsive): e^(position / 5) with integer
// division, so that five positions share one threshold. Thread: any.
inline double ThresholdForLevel(std::uint32_t position) {
    return std::exp(static_cast<double>(position / 5));
}

}  // namespace kinetra::analysis
