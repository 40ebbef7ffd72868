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

namespace {

namespace hooks = kinetra::fft::testing;
using hooks::Path;
using kinetra::test::ReferenceFft;
using kinetra::test::RelativeError;

std::vector<double> RandomSignal(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = dist(rng);
    return x;
}

std::vector<double> TransformOn(const std::vector<double>& x) {
    const int n = static_cast<int>(x.size());
    std::vector<double> table(2 * x.size() + 4);
    std::vector<double> data(x.size() + 2);
    DZFFT1DC(data.data(), n, 0, table.data());
    std::copy(x.begin(), x.end(), data.begin());
    DZFFT1DC(data.data(), n, -1, table.data());
    return data;
}

// Same tolerance as the main accuracy tests: a few 1e-16 of the largest bin.
double Tolerance(std::size_t n) {
    return 2e-16 * (1.0 + std::log2(static_cast<double>(n)) / 4.0);
}

class DzfftLongPath : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override {
        if (!hooks::PathSupported(GetParam())) {
            GTEST_SKIP() << "this processor cannot run the " << hooks::PathName(GetParam())
                         << " path; its tests are skipped";
        }
        ASSERT_TRUE(hooks::ForcePath(GetParam()));
    }
    void TearDown() override { hooks::ResetPath(); }
};

TEST_P(DzfftLongPath, LongLengthsMatchALongDoubleFft) {
    for (std::size_t n = 8192; n <= (std::size_t{1} << 20); n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n) + 200);
        EXPECT_LT(RelativeError(TransformOn(x), ReferenceFft(x)), Tolerance(n)) << "n = " << n;
    }
}

// The longest lengths, too long for a full long-double reference: a pure tone must land on its
// bin exactly enough, and a few bins of a random signal must match their long-double sums.
TEST_P(DzfftLongPath, LongestLengthsMatchSampledBins) {
    for (std::size_t n = std::size_t{1} << 21; n <= (std::size_t{1} << 24); n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n % 1000));
        const auto out = TransformOn(x);
        // The largest bin of white noise is about sqrt(n * log n); use the scale sqrt(n).
        const double scale = std::sqrt(static_cast<double>(n) / 3.0);
        for (std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{12345}, n / 4 - 1, n / 4,
                              n / 2 - 3, n / 2}) {
            const kinetra::test::LongComplex reference = kinetra::test::ReferenceBin(x, k);
            const double error = static_cast<double>(
                std::abs(kinetra::test::LongComplex(out[k], out[n / 2 + 1 + k]) - reference));
            EXPECT_LT(error / scale, 8 * Tolerance(n)) << "n = " << n << " bin " << k;
        }
    }
}

std::string PathLabel(const ::testing::TestParamInfo<Path>& info) {
    return info.param == Path::kScalar ? "Scalar" : info.param == Path::kAvx2 ? "Avx2" : "Avx512";
}

INSTANTIATE_TEST_SUITE_P(AllPaths, DzfftLongPath,
                         ::testing::Values(Path::kScalar, Path::kAvx2, Path::kAvx512), PathLabel);

}  // namespace
