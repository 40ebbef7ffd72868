// The complex step of the real-input transform on the scalar path: a forward complex FFT of
// m = 2^q points held as split real and imaginary arrays, natural order in and out, following
// the pass plan of fft_internal.h with the kernels of fft_kernels.h on plain doubles. The vector
// path (zfft1d_avx2.cpp) run the same plan with the same table.
#include <cstddef>
#include <cstring>

#include "fft/fft_internal.h"

namespace kinetra::fft {
namespace {
#include "fft/fft_kernels.h"
}  // namespace

void ZFFT1D(const double* twiddles, std::size_t m, double* re, double* im, double* work) {
    const double* xr = re;
    const double* xi = im;
    double* yr = work;
    double* yi = work + m;
    auto swap = [&] {
        const double* tr = xr;
        const double* ti = xi;
        xr = yr;
        xi = yi;
        yr = const_cast<double*>(tr);
        yi = const_cast<double*>(ti);
    };
    const Plan plan = MakePlan(m);
    std::size_t length = m;
    std::size_t stride = 1;
    for (unsigned pass = 0; pass < plan.count; ++pass) {
        const unsigned radix = PassRadix(plan, pass);
        if (pass == 0) {
            Radix4Pass<V1, true>(twiddles, length, stride, xr, xi, yr, yi);
        } else {
            PlannedPass<V1>(radix, twiddles, length, stride, xr, xi, yr, yi);
        }
        twiddles += TwiddleBlockSize(length, radix);
        length /= radix;
        stride *= radix;
        swap();
    }
    if (plan.finalRadix2) {
        Radix2LastPass<V1>(stride, xr, xi, yr, yi);
        swap();
    }
    if (xr != re) {
        std::memcpy(re, xr, m * sizeof(double));
        std::memcpy(im, xi, m * sizeof(double));
    }
}

void SplitStep(const double* table, std::size_t n, const double* zr, const double* zi, double* xr,
               double* xi) {
    Split<V1>(table, n, zr, zi, xr, xi);
}

void TransformScalar(double* data, std::size_t n, const double* table, double* scratch) {
    const std::size_t m = n / 2;
    double* re = scratch;
    double* im = re + m;
    for (std::size_t j = 0; j < m; ++j) {
        re[j] = data[2 * j];
        im[j] = data[2 * j + 1];
    }
    // The input has been copied; the caller's array serves as the complex step's work area.
    if (m > 1) ZFFT1D(table + TwiddleOffset(n), m, re, im, data);
    SplitStep(table, n, re, im, data, data + m + 1);
}

void PowersScalar(double* data, std::size_t n, const double* table, double* scratch,
                  const PowerRequest& request) {
    for (std::size_t j = 0; j < n; ++j) data[j] = request.samples[j];
    TransformScalar(data, n, table, scratch);
    PowersOfPacked<V1>(data, n, request.scale, request.power);
}

}  // namespace kinetra::fft
