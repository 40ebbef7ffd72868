// The transform's vector path for processors with AVX2 and FMA. This file alone is compiled with
// those instructions enabled; it is called only after the processor has been checked.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "fft/fft_internal.h"

namespace kinetra::fft {
namespace {
#include "fft/fft_simd.h"
}  // namespace

void TransformAvx2(double* data, std::size_t n, const double* table, double* scratch,
                   const PowerRequest* request) {
    TransformVector<V4>(data, n, table, scratch, request);
}

}  // namespace kinetra::fft
