// The inner loop of a band mapper: over bins lo .. hi, the largest ratio spectrum / average and
// the loudest bin, each starting at 0 and replaced only by a strictly greater value (so a ratio
// that is not a number never counts). Vectorised where the processor allows (AVX-512, else AVX2);
// every path gives the same values as the plain loop, since taking a maximum does not depend on
// the order, and the vector paths leave out only the divisions of bins that provably cannot beat
// the largest ratio already found.
#pragma once

#include <cstdint>

namespace kinetra::analysis {

struct BandLevels {
    double peakLevel = 0.0;
    double highestLevel = 0.0;
};

// Thread: any; allocates nothing.
BandLevels MeasureBand(const double* spectrum, const double* average, std::uint32_t lo,
                       std::uint32_t hi);

// The plain loop, always built; for tests.
BandLevels MeasureBandPlain(const double* spectrum, const double* average, std::uint32_t lo,
                            std::uint32_t hi);

// Each path on its own, for tests: false (levels untouched) where the processor lacks the path's
// instructions. MeasureBand takes the widest one the processor has.
enum class BandPath { kPlain, kAvx2, kAvx512 };
bool MeasureBandOnPath(BandPath path, const double* spectrum, const double* average,
                       std::uint32_t lo, std::uint32_t hi, BandLevels* levels);

}  // namespace kinetra::analysis
