#include "analysis/band_levels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_BAND_LEVELS_X86 1
#endif

namespace kinetra::analysis {
namespace {

#ifdef KINETRA_BAND_LEVELS_X86
// A bin's ratio cannot exceed a ratio p >= 0 already counted when s < u for u = (p * a) *
// kJustBelowOne, worked out in double, with kSmallestBound <= u (so a > 0 and no product on the way
// is subnormal): each of the two roundings is at most 2^-53 relative, so u < p * a exactly, hence s
// / a < p and the rounded ratio is at most p. An infinite u (p * a beyond the largest double)
// bounds every finite s the same way. A not-a-number anywhere fails the comparisons, so such a bin
// is divided as before.
constexpr double kJustBelowOne = 1.0 - 0x1p-50;
constexpr double kSmallestBound = 0x1p-1000;

// _mm*_max_pd(x, m) returns m unless x > m, which is exactly "replace when strictly greater":
// a ratio that is not a number leaves m as it is. Lanes start at +0.0 and only ever hold values
// above it, so combining the lanes at the end cannot pick a -0.0 either.
__attribute__((target("avx2"))) BandLevels MeasureAvx2(const double* s, const double* a,
                                                       std::uint32_t lo, std::uint32_t hi) {
    __m256d peak = _mm256_setzero_pd();
    __m256d highest = _mm256_setzero_pd();
    const __m256d justBelow = _mm256_set1_pd(kJustBelowOne);
    const __m256d smallest = _mm256_set1_pd(kSmallestBound);
    __m256d bar = peak;  // the largest ratio so far, in every lane
    std::uint32_t i = lo;
    // Eight bins at a time; the divisions are left out where no bin can beat the largest ratio
    // found so far, since such bins cannot change the band's peak.
    for (; i + 7 <= hi; i += 8) {
        __m256d sv[2];
        __m256d av[2];
        __m256d cannotRise = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
        for (int j = 0; j < 2; ++j) {
            sv[j] = _mm256_loadu_pd(s + i + 4 * j);
            av[j] = _mm256_loadu_pd(a + i + 4 * j);
            highest = _mm256_max_pd(sv[j], highest);
            const __m256d bound = _mm256_mul_pd(_mm256_mul_pd(bar, av[j]), justBelow);
            cannotRise = _mm256_and_pd(cannotRise,
                                       _mm256_and_pd(_mm256_cmp_pd(sv[j], bound, _CMP_LT_OQ),
                                                     _mm256_cmp_pd(bound, smallest, _CMP_GE_OQ)));
        }
        if (_mm256_movemask_pd(cannotRise) == 0xF) continue;
        for (int j = 0; j < 2; ++j) peak = _mm256_max_pd(_mm256_div_pd(sv[j], av[j]), peak);
        // The largest ratio so far in every lane: a bin that cannot beat it cannot change the
        // band's peak, whichever lane it falls in.
        bar = _mm256_max_pd(peak, _mm256_permute2f128_pd(peak, peak, 1));
        bar = _mm256_max_pd(bar, _mm256_permute_pd(bar, 0x5));
    }
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
