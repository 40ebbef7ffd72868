// The complex step of the real-input transform: a forward complex FFT of m = 2^q points held as
// split real and imaginary arrays, natural order in and out.
//
// Self-sorting (Stockham) decimation in frequency: radix-4 passes, preceded by one radix-2 pass
// when q is odd. Pass number i sees sub-transforms of length L at stride s (s * L = m): it reads
// x[q + s*(p + j*L/r)] and writes y[q + s*(r*p + j)], multiplied by W_L^(j*p), so that the output
// comes out in natural order without a bit-reversal pass.
//
// Twiddle block of a pass of length L, radix r: r - 1 pairs of arrays (cos, -sin) of the angles
// 2 pi j p / L for p = 0 .. L/r - 1 and j = 1 .. r-1, each computed directly in extended
// precision, never accumulated.
#include <cmath>
#include <cstring>

#include "fft/fft_internal.h"

namespace kinetra::fft {
namespace {

bool HasRadix2Pass(std::size_t m) {
    unsigned q = 0;
    while ((std::size_t{1} << q) < m) ++q;
    return (q & 1U) != 0;
}

std::size_t WriteTwiddleBlock(double* out, std::size_t length, std::size_t radix) {
    const std::size_t count = length / radix;
    const long double twoPi = 8.0L * std::atan(1.0L);
    for (std::size_t j = 1; j < radix; ++j) {
        double* wr = out + 2 * (j - 1) * count;
        double* wi = wr + count;
        for (std::size_t p = 0; p < count; ++p) {
            const std::size_t k = (j * p) % length;
            const long double angle =
                twoPi * static_cast<long double>(k) / static_cast<long double>(length);
            wr[p] = static_cast<double>(std::cos(angle));
            wi[p] = static_cast<double>(-std::sin(angle));
        }
    }
    return 2 * (radix - 1) * count;
}

void Radix2Pass(const double* tw, std::size_t length, std::size_t stride, const double* xr,
                const double* xi, double* yr, double* yi) {
    const std::size_t half = length / 2;
    const double* wr = tw;
    const double* wi = tw + half;
    for (std::size_t p = 0; p < half; ++p) {
        for (std::size_t q = 0; q < stride; ++q) {
            const std::size_t a = q + stride * p;
            const std::size_t b = a + stride * half;
            const double sr = xr[a] + xr[b];
            const double si = xi[a] + xi[b];
            const double dr = xr[a] - xr[b];
            const double di = xi[a] - xi[b];
            const std::size_t o = q + stride * 2 * p;
            yr[o] = sr;
            yi[o] = si;
            yr[o + stride] = dr * wr[p] - di * wi[p];
            yi[o + stride] = dr * wi[p] + di * wr[p];
        }
    }
}

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
        for (std::size_t q = 0; q < stride; ++q) {
            const std::size_t a = q + stride * p;
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
            const std::size_t o = q + stride * 4 * p;
            yr[o] = apcR + bpdR;
            yi[o] = apcI + bpdI;
            yr[o + stride] = t1R * w1r[p] - t1I * w1i[p];
            yi[o + stride] = t1R * w1i[p] + t1I * w1r[p];
            yr[o + 2 * stride] = t2R * w2r[p] - t2I * w2i[p];
            yi[o + 2 * stride] = t2R * w2i[p] + t2I * w2r[p];
            yr[o + 3 * stride] = t3R * w3r[p] - t3I * w3i[p];
            yi[o + 3 * stride] = t3R * w3i[p] + t3I * w3r[p];
        }
    }
}

}  // namespace

std::size_t InitComplexTwiddles(double* twiddles, std::size_t m) {
    std::size_t written = 0;
    std::size_t length = m;
    if (length >= 2 && HasRadix2Pass(m)) {
        written += WriteTwiddleBlock(twiddles + written, length, 2);
        length /= 2;
    }
    for (; length >= 4; length /= 4) written += WriteTwiddleBlock(twiddles + written, length, 4);
    return written;
}

void ZFFT1D(const double* twiddles, std::size_t m, double* re, double* im, double* work) {
    const double* xr = re;
    const double* xi = im;
    double* yr = work;
    double* yi = work + m;
    std::size_t length = m;
    std::size_t stride = 1;
    auto swap = [&] {
        const double* tr = xr;
        const double* ti = xi;
        xr = yr;
        xi = yi;
        yr = const_cast<double*>(tr);
        yi = const_cast<double*>(ti);
    };
    if (length >= 2 && HasRadix2Pass(m)) {
        Radix2Pass(twiddles, length, stride, xr, xi, yr, yi);
        twiddles += length;
        length /= 2;
        stride *= 2;
        swap();
    }
    for (; length >= 4; length /= 4, stride *= 4) {
        Radix4Pass(twiddles, length, stride, xr, xi, yr, yi);
        twiddles += 6 * (length / 4);
        swap();
    }
    if (xr != re) {
        std::memcpy(re, xr, m * sizeof(double));
        std::memcpy(im, xi, m * sizeof(double));
    }
}

}  // namespace kinetra::fft
