// The running average of the spectra: each bin moves a fixed share of the way toward the newest
// spectrum, average[k] += (spectrum[k] - average[k]) * weight, rounded step by step as plain
// double arithmetic does (a subtraction, a multiplication, an addition; never a fused
// multiply-add). Vectorised where the processor allows; every path gives the same bits.
#pragma once

#include <cstdint>

namespace kinetra::analysis {

// Updates count bins of average from spectrum. The two arrays do not overlap.
// Thread: any; allocates nothing.
void UpdateRunningAverage(double* average, const double* spectrum, std::uint32_t count,
                          double weight);

// The plain loop, always built; for tests.
void UpdateRunningAveragePlain(double* average, const double* spectrum, std::uint32_t count,
                               double weight);

}  // namespace kinetra::analysis
