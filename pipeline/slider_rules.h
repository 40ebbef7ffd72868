// The rules that turn the window's slider positions into what the band mappers get. Every
// slider runs from 0 (top) to 100 (bottom).
#pragma once

#include <cstdint>

#include "analysis/level_threshold.h"

namespace kinetra::pipeline {

inline constexpr int kSliderMin = 0;
inline constexpr int kSliderMax = 100;

// Threshold of a response-level position: e^(position / 5), integer division. The mappers apply
// it themselves (CBandMapper::SetThreshold takes the position). Thread: any.
using kinetra::analysis::ThresholdForLevel;

// Gain of a Strength position (0..100): (100 - position) x 0.01 x 10000 in double precision,
// truncated; 10000 at the top, 0 at the bottom. Thread: any.
std::uint32_t GainForStrength(int position);

// A position kept inside the sliders' range 0..100. Thread: any.
int ClampSliderPosition(int position);

// Locked follow: where a level slider of bands 2..5 at position goes when slider 1 moves by
// delta (each follower stops at 0 and 100 on its own). Thread: any.
int FollowLockedLevel(int position, int delta);

}  // namespace kinetra::pipeline
