#include "analysis/band_levels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_BAND_LEVELS_X86 1
#endif

namespace kinetra::analysis {
namespace {

#ifdef KINETRA_BAND_LEVELS_X86
// A bin's ratio cannot exceed a ratio p >= 0 already counted when max(s, kSmallestBound) < u for
// u = a * b, b = p * kJustBelowOne, each worked out in double, with b >= kSmallestBound (b is
// taken as 0 otherwise, which leaves nothing out): u > kSmallestBound makes a > 0 and u normal,
// and b is normal, so each of the two roundings is at most 2^-53 relative and u < p * a exactly,
// hence s / a < p and the rounded ratio is at most p. An infinite u (a * b beyond the largest
// double) bounds every finite s the same way. A not-a-number s is left out (its ratio never
// counts); a not-a-number a fails the comparison, so such a bin is divided as before.
constexpr double kJustBelowOne = 1.0 - 0x1p-50;
constexpr double kSmallestBound = 0x1p-1000;

// b for the largest ratio so far, p.
double BoundFactor(double p) {
    const double b = p * kJustBelowOne;
    return b >= kSmallestBound ? b : 0.0;
}

// The bound test above on four bins: lanes set where the bin provably cannot beat the ratio whose
// b is bound (smallest: kSmallestBound in every lane).
__attribute__((target("avx2"))) __m256d CannotRise4(__m256d sv, __m256d av, __m256d bound,
                                                    __m256d smallest) {
    return _mm256_cmp_pd(_mm256_max_pd(sv, smallest), _mm256_mul_pd(av, bound), _CMP_LT_OQ);
}

// _mm*_max_pd(x, m) returns m unless x > m, which is exactly "replace when strictly greater":
// a ratio that is not a number leaves m as it is. Lanes start at +0.0 and only ever hold values
// above it, so combining the lanes at the end cannot pick a -0.0 either.
__attribute__((target("avx2"))) BandLevels MeasureAvx2(const double* s, const double* a,
                                                       std::uint32_t lo, std::uint32_t hi) {
    __m256d peak = _mm256_setzero_pd();
    __m256d highest = _mm256_setzero_pd();
    const __m256d smallest = _mm256_set1_pd(kSmallestBound);
    __m256d bound = peak;  // b for the largest ratio so far, in every lane
    std::uint32_t i = lo;
    // Eight bins at a time; the divisions are left out where no bin can beat the largest ratio
    // found so far, since such bins cannot change the band's peak.
    for (; i + 7 <= hi; i += 8) {
        const __m256d s0 = _mm256_loadu_pd(s + i);
        const __m256d s1 = _mm256_loadu_pd(s + i + 4);
        const __m256d a0 = _mm256_loadu_pd(a + i);
        const __m256d a1 = _mm256_loadu_pd(a + i + 4);
        highest = _mm256_max_pd(s0, highest);
        highest = _mm256_max_pd(s1, highest);
        const __m256d cannotRise = _mm256_and_pd(CannotRise4(s0, a0, bound, smallest),
                                                 CannotRise4(s1, a1, bound, smallest));
        if (_mm256_movemask_pd(cannotRise) == 0xF) continue;
        peak = _mm256_max_pd(_mm256_div_pd(s0, a0), peak);
        peak = _mm256_max_pd(_mm256_div_pd(s1, a1), peak);
        // The largest ratio so far in every lane: a bin that cannot beat it cannot change the
        // band's peak, whichever lane it falls in.
        __m256d p = _mm256_max_pd(peak, _mm256_permute2f128_pd(peak, peak, 1));
        p = _mm256_max_pd(p, _mm256_permute_pd(p, 0x5));
        bound = _mm256_set1_pd(BoundFactor(_mm256_cvtsd_f64(p)));
    }
    for (; i + 3 <= hi; i += 4) {
        const __m256d sv = _mm256_loadu_pd(s + i);
        const __m256d av = _mm256_loadu_pd(a + i);
        highest = _mm256_max_pd(sv, highest);
        if (_mm256_movemask_pd(CannotRise4(sv, av, bound, smallest)) != 0xF) {
            peak = _mm256_max_pd(_mm256_div_pd(sv, av), peak);
        }
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

// _mm512_max_pd(x, m) with every lane written: the plain intrinsic's unused pass-through operand
// makes GCC warn of an uninitialised value (so does _mm512_extractf64x4_pd's, also inside
// _mm512_castpd512_pd256).
__attribute__((target("avx512f"))) __m512d Max8(__m512d x, __m512d m) {
    return _mm512_mask_max_pd(m, 0xFF, x, m);
}

// The largest of eight lanes that hold no not-a-number (any order gives the same).
__attribute__((target("avx512f"))) double LargestLane(__m512d v) {
    const __m256d none = _mm256_setzero_pd();
    const __m256d four = _mm256_max_pd(_mm512_mask_extractf64x4_pd(none, 0xF, v, 0),
                                       _mm512_mask_extractf64x4_pd(none, 0xF, v, 1));
    const __m128d two = _mm_max_pd(_mm256_castpd256_pd128(four), _mm256_extractf128_pd(four, 1));
    return _mm_cvtsd_f64(_mm_max_sd(two, _mm_unpackhi_pd(two, two)));
}

// The bound test on eight bins: true when none of them can beat the ratio whose b is bound.
__attribute__((target("avx512f"))) bool NoneCanRise8(__m512d sv, __m512d av, __m512d bound,
                                                     __m512d smallest) {
    return _mm512_cmp_pd_mask(Max8(sv, smallest), _mm512_mul_pd(av, bound), _CMP_LT_OQ) == 0xFF;
}

// The same rule eight bins at a time, the band's last bins under a mask (spectrum 0 and average
// 1 in the lanes past the band: a ratio and a level of 0, which change nothing), so a narrow band
// is one masked step. The lanes are combined with max as above.
__attribute__((target("avx512f"))) BandLevels MeasureAvx512(const double* s, const double* a,
                                                            std::uint32_t lo, std::uint32_t hi) {
    BandLevels levels;
    if (hi < lo) return levels;
    const std::uint64_t count = std::uint64_t{hi} - lo + 1;
    s += lo;
    a += lo;
    __m512d peak = _mm512_setzero_pd();
    __m512d highest = _mm512_setzero_pd();
    const __m512d smallest = _mm512_set1_pd(kSmallestBound);
    __m512d bound = peak;
    std::uint64_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m512d sv = _mm512_loadu_pd(s + k);
        const __m512d av = _mm512_loadu_pd(a + k);
        highest = Max8(sv, highest);
        if (NoneCanRise8(sv, av, bound, smallest)) continue;
        peak = Max8(_mm512_div_pd(sv, av), peak);
        bound = _mm512_set1_pd(BoundFactor(LargestLane(peak)));
    }
    const auto rest = static_cast<__mmask8>((1u << (count - k)) - 1u);
    if (rest != 0) {
        const __m512d sv = _mm512_maskz_loadu_pd(rest, s + k);
        const __m512d av = _mm512_mask_loadu_pd(_mm512_set1_pd(1.0), rest, a + k);
        highest = Max8(sv, highest);
        // The same test: the band's last division is often left out too, and with it the
        // division's latency at the end of every band.
        if (!NoneCanRise8(sv, av, bound, smallest)) peak = Max8(_mm512_div_pd(sv, av), peak);
    }
    levels.peakLevel = LargestLane(peak);
    levels.highestLevel = LargestLane(highest);
    return levels;
}

bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f");
    return has;
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
    if (HasAvx512()) return MeasureAvx512(spectrum, average, lo, hi);
    if (HasAvx2()) return MeasureAvx2(spectrum, average, lo, hi);
#endif
    return MeasureBandPlain(spectrum, average, lo, hi);
}

bool MeasureBandOnPath(BandPath path, const double* spectrum, const double* average,
                       std::uint32_t lo, std::uint32_t hi, BandLevels* levels) {
    switch (path) {
        case BandPath::kPlain:
            *levels = MeasureBandPlain(spectrum, average, lo, hi);
            return true;
        case BandPath::kAvx2:
#ifdef KINETRA_BAND_LEVELS_X86
            if (!HasAvx2()) return false;
            *levels = MeasureAvx2(spectrum, average, lo, hi);
            return true;
#else
            return false;
#endif
        case BandPath::kAvx512:
#ifdef KINETRA_BAND_LEVELS_X86
            if (!HasAvx512()) return false;
            *levels = MeasureAvx512(spectrum, average, lo, hi);
            return true;
#else
            return false;
#endif
    }
    return false;
}

}  // namespace kinetra::analysis
