// The transform's 8-lane kernels (the ones the AVX-512 path runs) built from pairs of 256-bit
// registers, so that their logic (8-wide groups, reversals, the choice between 8- and 4-lane
// passes by stride) runs and is checked on processors without AVX-512. Compiled with AVX2 and
// FMA; only TransformEightLanes is visible outside this file;
// with a request it computes powers as the vector paths do (see fft_internal.h).
#include <immintrin.h>

#include <cstddef>

#include "fft/fft_internal.h"

namespace kinetra::fft {
namespace {
#include "fft/fft_simd.h"

// 8 doubles as two 256-bit halves, lanes 0-3 in lo and 4-7 in hi.
struct V8Pair {
    struct T {
        __m256d lo;
        __m256d hi;
    };
    static constexpr std::size_t W = 8;
    static T Load(const double* p) { return {_mm256_loadu_pd(p), _mm256_loadu_pd(p + 4)}; }
    static void Store(double* p, T v) {
        _mm256_storeu_pd(p, v.lo);
        _mm256_storeu_pd(p + 4, v.hi);
    }
    static T Broadcast(const double* p) { return {_mm256_broadcast_sd(p), _mm256_broadcast_sd(p)}; }
    static T Zero() { return {_mm256_setzero_pd(), _mm256_setzero_pd()}; }
    static T Add(T a, T b) { return {_mm256_add_pd(a.lo, b.lo), _mm256_add_pd(a.hi, b.hi)}; }
    static T Sub(T a, T b) { return {_mm256_sub_pd(a.lo, b.lo), _mm256_sub_pd(a.hi, b.hi)}; }
    static T Mul(T a, T b) { return {_mm256_mul_pd(a.lo, b.lo), _mm256_mul_pd(a.hi, b.hi)}; }
    static T MulAdd(T a, T b, T c) {
        return {_mm256_fmadd_pd(a.lo, b.lo, c.lo), _mm256_fmadd_pd(a.hi, b.hi, c.hi)};
    }
    static T MulSub(T a, T b, T c) {
        return {_mm256_fmsub_pd(a.lo, b.lo, c.lo), _mm256_fmsub_pd(a.hi, b.hi, c.hi)};
    }
    static T Reverse(T v) {
        return {_mm256_permute4x64_pd(v.hi, 0x1B), _mm256_permute4x64_pd(v.lo, 0x1B)};
    }
    static T Square(T v) {
        return {RoundedOnItsOwn(_mm256_mul_pd(v.lo, v.lo)),
                RoundedOnItsOwn(_mm256_mul_pd(v.hi, v.hi))};
    }
};

}  // namespace

void TransformEightLanes(double* data, std::size_t n, const double* table, double* scratch,
                         const PowerRequest* request) {
    TransformVector<V8Pair>(data, n, table, scratch, request);
}

}  // namespace kinetra::fft
