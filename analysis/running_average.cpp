#include "analysis/running_average.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_RUNNING_AVERAGE_X86 1
#endif

namespace kinetra::analysis {
namespace {

#ifdef KINETRA_RUNNING_AVERAGE_X86
// Four bins at a time with the plain loop's three roundings per bin. Only AVX2 is enabled here,
// not FMA, so the multiplication and the addition cannot be contracted into one rounding.
__attribute__((target("avx2"))) void UpdateAvx2(double* average, const double* spectrum,
                                                std::uint32_t count, double weight) {
    const __m256d w = _mm256_set1_pd(weight);
    std::uint32_t k = 0;
    for (; k + 16 <= count; k += 16) {
        __m256d a[4];
        for (int j = 0; j < 4; ++j) a[j] = _mm256_loadu_pd(average + k + 4 * j);
        for (int j = 0; j < 4; ++j) {
            const __m256d sv = _mm256_loadu_pd(spectrum + k + 4 * j);
            const __m256d step = _mm256_mul_pd(_mm256_sub_pd(sv, a[j]), w);
            _mm256_storeu_pd(average + k + 4 * j, _mm256_add_pd(a[j], step));
        }
    }
    for (; k + 4 <= count; k += 4) {
        const __m256d a = _mm256_loadu_pd(average + k);
        const __m256d step = _mm256_mul_pd(_mm256_sub_pd(_mm256_loadu_pd(spectrum + k), a), w);
        _mm256_storeu_pd(average + k, _mm256_add_pd(a, step));
    }
    for (; k < count; ++k) average[k] += (spectrum[k] - average[k]) * weight;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

void UpdateRunningAveragePlain(double* average, const double* spectrum, std::uint32_t count,
                               double weight) {
    for (std::uint32_t k = 0; k < count; ++k) average[k] += (spectrum[k] - average[k]) * weight;
}

void UpdateRunningAverage(double* average, const double* spectrum, std::uint32_t count,
                          double weight) {
#ifdef KINETRA_RUNNING_AVERAGE_X86
    if (HasAvx2()) {
        UpdateAvx2(average, spectrum, count, weight);
        return;
    }
#endif
    UpdateRunningAveragePlain(average, spectrum, count, weight);
}

}  // namespace kinetra::analysis
