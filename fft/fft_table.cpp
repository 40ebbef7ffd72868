// Work table set-up. Every coefficient is the double nearest to a long-double sine or cosine of
// 2 pi k / n for an integer k, computed directly (never accumulated). Only the angles of the first
// octant are evaluated; the rest follow by exact symmetries (cos(pi/2 - t) = sin t and the
// quadrant rules), which keeps the set-up of 2^24 points well under a second.
#include <cmath>

#include "fft/fft_internal.h"

namespace kinetra::fft {
namespace {

// Fills the block of a pass of length L and radix r (L > r) from the first block of m points.
void FillBlock(double* block, const double* firstBlock, std::size_t m, std::size_t length,
               unsigned radix) {
    const std::size_t count = length / radix;
    const std::size_t scale = m / length;
    for (std::size_t j = 1; j < radix; ++j) {
        double* wr = block + 2 * (j - 1) * count;
        double* wi = wr + count;
        for (std::size_t p = 0; p < count; ++p) {
            const Root w = RootFromFirstBlock(firstBlock, m, j * p * scale);
            wr[p] = w.re;
            wi[p] = w.im;
        }
    }
}

}  // namespace

Root RootFromFirstBlock(const double* firstBlock, std::size_t m, std::size_t k) {
    const std::size_t quarter = m / 4;
    const double* w1r = firstBlock;
    const double* w1i = firstBlock + quarter;
    k %= m;
    const std::size_t r = FirstBlockSlot(k % quarter, m);
    // With t = 2 pi r / m: the angle is t plus a multiple of pi/2.
    switch (k / quarter) {
        case 0:
            return {w1r[r], w1i[r]};  // (cos t, -sin t)
        case 1:
            return {0.0 + w1i[r], 0.0 - w1r[r]};  // (-sin t, -cos t)
        case 2:
            return {0.0 - w1r[r], 0.0 - w1i[r]};  // (-cos t, sin t)
        default:
            return {0.0 - w1i[r], 0.0 + w1r[r]};  // (sin t, cos t)
    }
}

void InitTable(double* table, std::size_t n) {
    const std::size_t m = n / 2;
    table[0] = static_cast<double>(m);
    table[1] = 0.0;

    double* a = table + kSplitOffset;
    double* b = a + n / 4;
    double* first = table + TwiddleOffset(n);
    const std::size_t quarter = m / 4;  // length of the first block's arrays (m >= 8)
    double* w1r = first;
    double* w1i = first + quarter;

    // One sine and cosine per angle 2 pi k / n of the first octant, k = 0 .. n/8, each formed as
    // k times 2 pi / n with 2 pi = 8 arctan(1).
    const long double twoPi = 8.0L * std::atan(1.0L);
    const std::size_t splitCount = n / 4;
    for (std::size_t k = 0; k <= n / 8; ++k) {
        const long double theta = twoPi * static_cast<long double>(k) / static_cast<long double>(n);
        const long double s = std::sin(theta);
        const long double c = std::cos(theta);
        // Split coefficients of k and of n/4 - k (whose angle is pi/2 - theta).
        if (k < splitCount) {
            a[k] = static_cast<double>(0.5L * (1.0L - s));
            b[k] = static_cast<double>(0.5L * c);
        }
        const std::size_t mirror = splitCount - k;
        if (k > 0 && mirror != k && mirror < splitCount) {
            // (1 - sin(pi/2 - theta))/2 = sin^2(theta/2), free of cancellation near pi/2.
            const long double h = std::sin(theta / 2.0L);
            a[mirror] = static_cast<double>(h * h);
            b[mirror] = static_cast<double>(0.5L * s);
        }
        // First twiddle block: angle 2 pi p / m = theta for p = k / 2, and its mirror m/4 - p.
        if (m >= 8 && k % 2 == 0) {
            const std::size_t p = k / 2;
            if (p < quarter) {
                w1r[FirstBlockSlot(p, m)] = static_cast<double>(c);
                w1i[FirstBlockSlot(p, m)] = static_cast<double>(0.0L - s);
            }
            const std::size_t q = quarter - p;
            if (q != p && q < quarter) {
                w1r[FirstBlockSlot(q, m)] = static_cast<double>(s);
                w1i[FirstBlockSlot(q, m)] = static_cast<double>(0.0L - c);
            }
        }
    }

    if (m >= 8) {
        // The first block's j = 2, 3 arrays, then the blocks of the later passes.
        for (std::size_t j = 2; j <= 3; ++j) {
            double* wr = first + 2 * (j - 1) * quarter;
            double* wi = wr + quarter;
            for (std::size_t p = 0; p < quarter; ++p) {
                const Root w = RootFromFirstBlock(first, m, j * p);
                wr[FirstBlockSlot(p, m)] = w.re;
                wi[FirstBlockSlot(p, m)] = w.im;
            }
        }
        const Plan plan = MakePlan(m);
        double* block = first + TwiddleBlockSize(m, 4);
        std::size_t length = m / 4;
        for (unsigned pass = 1; pass < plan.count; ++pass) {
            const unsigned radix = PassRadix(plan, pass);
            if (length > radix) FillBlock(block, first, m, length, radix);
            block += TwiddleBlockSize(length, radix);
            length /= radix;
        }
    }
    table[2 * n - 1] = static_cast<double>(m);
}

}  // namespace kinetra::fft
