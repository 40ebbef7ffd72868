#include "pipeline/slider_rules.h"

namespace kinetra::pipeline {

std::uint32_t GainForStrength(int position) {
    return static_cast<std::uint32_t>((100 - position) * 0.01 * 10000);
}

int ClampSliderPosition(int position) {
    if (position < kSliderMin) return kSliderMin;
    if (position > kSliderMax) return kSliderMax;
    return position;
}

int FollowLockedLevel(int position, int delta) {
    return ClampSliderPosition(position + delta);
}

}  // namespace kinetra::pipeline
