// Each code path of the transform at the long lengths, 8192 to 2^24 points, against long-double
// references: a full reference FFT up to 2^20, sampled bins beyond. Slow; skipped under the
// sanitizers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "fft/dzfft1dc.h"
#include "fft/fft_testing.h"
#include "support/reference_dft.h"
#include "transform_test_support.h"

namespace {

using kinetra::fft::testing::Path;
using kinetra::test::RandomSignal;
using kinetra::test::ReferenceFft;
using kinetra::test::RelativeError;

using DzfftLongPath = kinetra::test::ForcedPathTest;

TEST_P(DzfftLongPath, LongLengthsMatchALongDoubleFft) {
    for (std::size_t n = 8192; n <= (std::size_t{1} << 20); n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n) + 200);
        EXPECT_LT(RelativeError(kinetra::test::TransformWithDzfft(x), ReferenceFft(x)),
                  kinetra::test::TransformTolerance(n))
            << "n = " << n;
    }
}

// Inputs whose transforms are exact in double: an impulse (every bin 1) and the alternating
// sequence (everything in bin n/2). Any element the later passes of a long transform put in the
// wrong place, or leave out, shows as a bin off by far more than rounding.
TEST_P(DzfftLongPath, LongExactInputsGiveExactBins) {
    for (std::size_t n = std::size_t{1} << 14; n <= (std::size_t{1} << 20); n *= 2) {
        std::vector<double> impulse(n, 0.0);
        impulse[0] = 1.0;
        auto out = kinetra::test::TransformWithDzfft(impulse);
        std::size_t wrong = 0;
        for (std::size_t k = 0; k <= n / 2; ++k) {
            wrong += out[k] != 1.0;
            wrong += out[n / 2 + 1 + k] != 0.0;
        }
        EXPECT_EQ(wrong, 0u) << "impulse, n = " << n;
        std::vector<double> alternating(n);
        for (std::size_t j = 0; j < n; ++j) alternating[j] = (j % 2 == 0) ? 1.0 : -1.0;
        out = kinetra::test::TransformWithDzfft(alternating);
        wrong = 0;
        for (std::size_t i = 0; i < n + 2; ++i) wrong += out[i] != (i == n / 2 ? double(n) : 0.0);
        EXPECT_EQ(wrong, 0u) << "alternating, n = " << n;
    }
}

// The longest lengths, too long for a full long-double reference: a pure tone must land on its
// bin exactly enough, and a few bins of a random signal must match their long-double sums.
TEST_P(DzfftLongPath, LongestLengthsMatchSampledBins) {
    for (std::size_t n = std::size_t{1} << 21; n <= (std::size_t{1} << 24); n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n % 1000));
        const auto out = kinetra::test::TransformWithDzfft(x);
        // The largest bin of white noise is about sqrt(n * log n); use the scale sqrt(n).
        const double scale = std::sqrt(static_cast<double>(n) / 3.0);
        for (std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{12345}, n / 4 - 1, n / 4,
                              n / 2 - 3, n / 2}) {
            const kinetra::test::LongComplex reference = kinetra::test::ReferenceBin(x, k);
            const double error = static_cast<double>(
                std::abs(kinetra::test::LongComplex(out[k], out[n / 2 + 1 + k]) - reference));
            EXPECT_LT(error / scale, 8 * kinetra::test::TransformTolerance(n))
                << "n = " << n << " bin " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, DzfftLongPath, ::testing::Values(Path::kScalar, Path::kAvx2),
                         kinetra::test::PathLabel);

}  // namespace
