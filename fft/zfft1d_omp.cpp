// The complex step of the real-input transform on the scalar path: a forward complex FFT of
// m = 2^q points held as split real and imaginary arrays, natural order in and out, following
// the pass plan of fft_internal.h. The vector paths (zfft1d_avx2.cpp, zfft1d_avx512.cpp) run the
// same passes with the same table.
#include <cstring>

#include "fft/fft_internal.h"

namespace kinetra::fft {
namespace {

// Radix-4 pass of length L at stride s. p = 0 needs no twiddles; tw is the pass's block (unused
// when L = 4).
void Radix4Pass(const double* tw, std::size_t length, std::size_t stride, const double* xr,
                const double* xi, double* yr, double* yi) {
    const std::size_t quarter = length / 4;
    const double* w1r = tw;
    const double* w1i = w1r + quarter;
    const double* w2r = w1i + quarter;
    const double* w2i = w2r + quarter;
    const double* w3r = w2i + quarter;
    const double* w3i = w3r + quarter;
    const std::size_t step = stride * quarter;
    for (std::size_t p = 0; p < quarter; ++p) {
        for (std::size_t c = 0; c < stride; ++c) {
            const std::size_t a = c + stride * p;
            const double apcR = xr[a] + xr[a + 2 * step];
            const double apcI = xi[a] + xi[a + 2 * step];
            const double amcR = xr[a] - xr[a + 2 * step];
            const double amcI = xi[a] - xi[a + 2 * step];
            const double bpdR = xr[a + step] + xr[a + 3 * step];
            const double bpdI = xi[a + step] + xi[a + 3 * step];
            const double bmdR = xr[a + step] - xr[a + 3 * step];
            const double bmdI = xi[a + step] - xi[a + 3 * step];
            // (a - c) -/+ i (b - d)
            const double t1R = amcR + bmdI;
            const double t1I = amcI - bmdR;
            const double t3R = amcR - bmdI;
            const double t3I = amcI + bmdR;
            const double t2R = apcR - bpdR;
            const double t2I = apcI - bpdI;
            const std::size_t o = c + stride * 4 * p;
            yr[o] = apcR + bpdR;
            yi[o] = apcI + bpdI;
            if (p == 0) {
                yr[o + stride] = t1R;
                yi[o + stride] = t1I;
                yr[o + 2 * stride] = t2R;
                yi[o + 2 * stride] = t2I;
                yr[o + 3 * stride] = t3R;
                yi[o + 3 * stride] = t3I;
            } else {
                yr[o + stride] = t1R * w1r[p] - t1I * w1i[p];
                yi[o + stride] = t1R * w1i[p] + t1I * w1r[p];
                yr[o + 2 * stride] = t2R * w2r[p] - t2I * w2i[p];
                yi[o + 2 * stride] = t2R * w2i[p] + t2I * w2r[p];
                yr[o + 3 * stride] = t3R * w3r[p] - t3I * w3i[p];
                yi[o + 3 * stride] = t3R * w3i[p] + t3I * w3r[p];
            }
        }
    }
}

// The final radix-2 pass (length 2, stride m/2): no twiddles.
void Radix2LastPass(std::size_t stride, const double* xr, const double* xi, double* yr,
                    double* yi) {
    for (std::size_t c = 0; c < stride; ++c) {
        const double ar = xr[c];
        const double ai = xi[c];
        const double br = xr[c + stride];
        const double bi = xi[c + stride];
        yr[c] = ar + br;
        yi[c] = ai + bi;
        yr[c + stride] = ar - br;
        yi[c + stride] = ai - bi;
    }
}

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
    std::size_t length = m;
    std::size_t stride = 1;
    for (; length >= 4; length /= 4, stride *= 4) {
        Radix4Pass(twiddles, length, stride, xr, xi, yr, yi);
        if (length >= 8) twiddles += 6 * (length / 4);
        swap();
    }
    if (length == 2) {
        Radix2LastPass(stride, xr, xi, yr, yi);
        swap();
    }
    if (xr != re) {
        std::memcpy(re, xr, m * sizeof(double));
        std::memcpy(im, xi, m * sizeof(double));
    }
}

void SplitStep(const double* table, std::size_t n, const double* zr, const double* zi, double* xr,
               double* xi) {
    const std::size_t m = n / 2;
    const double* a = table + kSplitOffset;
    const double* b = a + n / 4;
    for (std::size_t k = 1; k < n / 4; ++k) {
        const std::size_t j = m - k;
        const double zrk = zr[k];
        const double zrj = zr[j];
        const double zik = zi[k];
        const double zij = zi[j];
        const double d = zrk - zrj;
        const double s = zik + zij;
        const double h = d * a[k] + s * b[k];
        const double g = s * a[k] - d * b[k];
        xr[k] = zrj + h;
        xr[j] = zrk - h;
        xi[k] = g - zij;
        xi[j] = g - zik;
    }
    if (n >= 4) {
        xr[n / 4] = zr[n / 4];
        xi[n / 4] = -zi[n / 4];
    }
    const double r0 = zr[0];
    const double i0 = zi[0];
    xr[0] = r0 + i0;
    xr[m] = r0 - i0;
    xi[0] = 0.0;
    xi[m] = 0.0;
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

}  // namespace kinetra::fft
