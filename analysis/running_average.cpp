#include "analysis/running_average.h"

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_RUNNING_AVERAGE_X86 1
#endif

namespace kinetra::analysis {
namespace {

#ifdef KINETRA_RUNNING_AVERAGE_X86
// Sixteen bins from k, all read before any is written, with the plain loop's three roundings per
// bin. Only AVX2 is enabled here, not FMA, so the multiplication and the addition cannot be
// contracted into one rounding.
__attribute__((target("avx2"))) void UpdateSixteen(double* average, const double* spectrum,
                                                   std::uint32_t k, __m256d w) {
    __m256d a[4], s[4];
    for (int j = 0; j < 4; ++j) {
        a[j] = _mm256_loadu_pd(average + k + 4 * j);
        s[j] = _mm256_loadu_pd(spectrum + k + 4 * j);
        // Kept in a register: otherwise GCC folds each use into its arithmetic as a memory
        // operand and reads the average twice.
        asm("" : "+x"(a[j]));
    }
    for (int j = 0; j < 4; ++j) {
        const __m256d step = _mm256_mul_pd(_mm256_sub_pd(s[j], a[j]), w);
        _mm256_storeu_pd(average + k + 4 * j, _mm256_add_pd(a[j], step));
    }
}

// Whether to go from the last bin down. A load that follows a store whose address has the same
// low 12 bits waits for it (the processor compares only those bits at first), so the loads of
// the spectrum must not meet the average's recent stores at those bits: going up, that happens
// when the spectrum lies a little below the average modulo 4 KB, going down when it lies a little
// above; the direction is chosen by which half of 4 KB the distance falls in (measured with the
// engine's arrays 160 bytes apart: ~55 -> ~47 ns, fastest of 8).
bool GoDown(const double* average, const double* spectrum) {
    const auto distance =
        (reinterpret_cast<std::uintptr_t>(spectrum) - reinterpret_cast<std::uintptr_t>(average)) %
        4096;
    return distance >= 2048;
}

__attribute__((target("avx2"))) void UpdateAvx2(double* average, const double* spectrum,
                                                std::uint32_t count, double weight) {
    const __m256d w = _mm256_set1_pd(weight);
    const std::uint32_t whole = count & ~15u;  // bins in blocks of sixteen, from bin 0
    const bool down = GoDown(average, spectrum);
    if (!down) {
        for (std::uint32_t k = 0; k < whole; k += 16) UpdateSixteen(average, spectrum, k, w);
    }
    // The bins past the last block of sixteen, one at a time, on the side the walk starts or ends.
    for (std::uint32_t k = whole; k < count; ++k) {
        average[k] += (spectrum[k] - average[k]) * weight;
    }
    if (down) {
        for (std::uint32_t k = whole; k > 0; k -= 16) UpdateSixteen(average, spectrum, k - 16, w);
    }
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
