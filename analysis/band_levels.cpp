#include "analysis/band_levels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_BAND_LEVELS_X86 1
#endif

namespace kinetra::analysis {
namespace {

#ifdef KINETRA_BAND_LEVELS_X86
// _mm*_max_pd(x, m) returns m unless x > m, which is exactly "replace when strictly greater":
// a ratio that is not a number leaves m as it is. Lanes start at +0.0 and only ever hold values
// above it, so combining the lanes at the end cannot pick a -0.0 either.
__attribute__((target("avx2"))) BandLevels MeasureAvx2(const double* s, const double* a,
                                                       std::uint32_t lo, std::uint32_t hi) {
    __m256d peak = _mm256_setzero_pd();
    __m256d highest = _mm256_setzero_pd();
    std::uint32_t i = lo;
    for (; i + 3 <= hi; i += 4) {
        const __m256d sv = _mm256_loadu_pd(s + i);
        const __m256d ratio = _mm256_div_pd(sv, _mm256_loadu_pd(a + i));
        peak = _mm256_max_pd(ratio, peak);
        highest = _mm256_max_pd(sv, highest);
    }
    alignas(32) double p[4];
    alignas(32) double h[4];
    _mm256_store_pd(p, peak);
    _mm256_store_pd(h, highest);
    BandLevels levels;
    for (int lane = 0; lane < 4; ++lane) {
        if (p[lane] > levels.peakLevel) levels.peakLevel = p[lane];
        if (h[lane] > levels.highestLevel) levels.highestLevel = h[lane];
    }
    for (; i <= hi; ++i) {
        const double ratio = s[i] / a[i];
        if (ratio > levels.peakLevel) levels.peakLevel = ratio;
        if (s[i] > levels.highestLevel) levels.highestLevel = s[i];
    }
    return levels;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

BandLevels MeasureBandPlain(const double* spectrum, const double* average, std::uint32_t lo,
                            std::uint32_t hi) {
    BandLevels levels;
    for (std::uint32_t i = lo; i <= hi; ++i) {
        const double ratio = spectrum[i] / average[i];
        if (ratio > levels.peakLevel) levels.peakLevel = ratio;
        if (spectrum[i] > levels.highestLevel) levels.highestLevel = spectrum[i];
    }
    return levels;
}

BandLevels MeasureBand(const double* spectrum, const double* average, std::uint32_t lo,
                       std::uint32_t hi) {
#ifdef KINETRA_BAND_LEVELS_X86
    if (HasAvx2()) return MeasureAvx2(spectrum, average, lo, hi);
#endif
    return MeasureBandPlain(spectrum, average, lo, hi);
}

}  // namespace kinetra::analysis
