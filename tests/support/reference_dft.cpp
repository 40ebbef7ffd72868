#include "support/reference_dft.h"

#include <algorithm>
#include <cmath>

namespace kinetra::test {
namespace {

long double TwoPi() { return 8.0L * std::atan(1.0L); }

// exp(-2 pi i k / n) with k reduced modulo n first, so that large products stay exact.
LongComplex Root(std::size_t k, std::size_t n) {
    const long double angle = TwoPi() * static_cast<long double>(k % n) / static_cast<long double>(n);
    return {std::cos(angle), -std::sin(angle)};
}

void Fft(std::vector<LongComplex>& a) {
    const std::size_t n = a.size();
    if (n == 1) return;
    std::vector<LongComplex> even(n / 2), odd(n / 2);
    for (std::size_t j = 0; j < n / 2; ++j) {
        even[j] = a[2 * j];
        odd[j] = a[2 * j + 1];
    }
    Fft(even);
    Fft(odd);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const LongComplex t = Root(k, n) * odd[k];
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
        for (std::size_t j = 0; j < n; ++j) sum += static_cast<long double>(x[j]) * roots[(j * k) % n];
        out[k] = sum;
    }
    return out;
}

std::vector<LongComplex> ReferenceFft(const std::vector<double>& x) {
    std::vector<LongComplex> a(x.begin(), x.end());
    Fft(a);
    a.resize(x.size() / 2 + 1);
    return a;
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
