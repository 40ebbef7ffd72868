#include "support/reference_dft.h"

#include <algorithm>
#include <cmath>

namespace kinetra::test {
namespace {

long double TwoPi() {
    return 8.0L * std::atan(1.0L);
}

// exp(-2 pi i k / n). k is reduced modulo n and the angle folded exactly (in integers) into
// [0, pi/4] before the sine and cosine are taken, so every root has full long-double precision,
// values near zero included.
LongComplex Root(std::size_t k, std::size_t n) {
    k %= n;
    const std::size_t quadrant = 4 * k / n;
    const std::size_t rest = 4 * k - quadrant * n;  // angle within the quadrant: 2 pi rest / 4n
    long double c, s;
    if (2 * rest <= n) {
        const long double t = TwoPi() * static_cast<long double>(rest) / (4.0L * n);
        c = std::cos(t);
        s = std::sin(t);
    } else {
        const long double u = TwoPi() * static_cast<long double>(n - rest) / (4.0L * n);
        c = std::sin(u);
        s = std::cos(u);
    }
    switch (quadrant) {
        case 0:
            return {c, -s};
        case 1:
            return {-s, -c};
        case 2:
            return {-c, s};
        default:
            return {s, c};
    }
}

// Radix-2 decimation in time on a[0..n) with the roots of the full length N: W_n^k = roots[k*N/n].
void Fft(std::vector<LongComplex>& a, const std::vector<LongComplex>& roots, std::size_t full) {
    const std::size_t n = a.size();
    if (n == 1) return;
    std::vector<LongComplex> even(n / 2), odd(n / 2);
    for (std::size_t j = 0; j < n / 2; ++j) {
        even[j] = a[2 * j];
        odd[j] = a[2 * j + 1];
    }
    Fft(even, roots, full);
    Fft(odd, roots, full);
    const std::size_t step = full / n;
    for (std::size_t k = 0; k < n / 2; ++k) {
        const LongComplex t = roots[k * step] * odd[k];
        a[k] = even[k] + t;
        a[k + n / 2] = even[k] - t;
    }
}

}  // namespace

std::vector<LongComplex> ReferenceDft(const std::vector<double>& x) {
    const std::size_t n = x.size();
    std::vector<LongComplex> roots(n);
    for (std::size_t k = 0; k < n; ++k) roots[k] = Root(k, n);
    std::vector<LongComplex> out(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        LongComplex sum = 0;
        for (std::size_t j = 0; j < n; ++j)
            sum += static_cast<long double>(x[j]) * roots[(j * k) % n];
        out[k] = sum;
    }
    return out;
}

std::vector<LongComplex> ReferenceFft(const std::vector<double>& x) {
    const std::size_t n = x.size();
    std::vector<LongComplex> roots(std::max<std::size_t>(n / 2, 1));
    for (std::size_t k = 0; k < roots.size(); ++k) roots[k] = Root(k, n);
    std::vector<LongComplex> a(x.begin(), x.end());
    Fft(a, roots, n);
    a.resize(n / 2 + 1);
    return a;
}

LongComplex ReferenceBin(const std::vector<double>& x, std::size_t k) {
    const std::size_t n = x.size();
    // exp(-2 pi i r / n) = coarse[r / fine] * fineRoots[r % fine], both exact roots.
    std::size_t fine = 1;
    while (fine * fine < n) fine *= 2;
    std::vector<LongComplex> fineRoots(fine), coarse(n / fine);
    for (std::size_t r = 0; r < fine; ++r) fineRoots[r] = Root(r, n);
    for (std::size_t r = 0; r < n / fine; ++r) coarse[r] = Root(r * fine, n);
    LongComplex sum = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const std::size_t r = (j * k) % n;
        sum += static_cast<long double>(x[j]) * (coarse[r / fine] * fineRoots[r % fine]);
    }
    return sum;
}

double RelativeError(const std::vector<double>& packed, const std::vector<LongComplex>& reference) {
    const std::size_t m = reference.size() - 1;
    long double largest = 0, worst = 0;
    for (std::size_t k = 0; k <= m; ++k) {
        largest = std::max(largest, std::abs(reference[k]));
        const LongComplex ours(packed[k], packed[m + 1 + k]);
        worst = std::max(worst, std::abs(ours - reference[k]));
    }
    return largest > 0 ? static_cast<double>(worst / largest) : static_cast<double>(worst);
}

}  // namespace kinetra::test
