// The 8-lane kernels of the AVX-512 path, run here on pairs of AVX2 registers: every length from
// 2 to 2^16 against the long-double references, and the same bins as the AVX2 path within
// rounding. Skipped on processors without AVX2 and FMA.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "fft/dzfft1dc.h"
#include "fft/fft_testing.h"
#include "support/reference_dft.h"
#include "transform_test_support.h"

namespace kinetra::fft {
struct PowerRequest;
void TransformEightLanes(double* data, std::size_t n, const double* table, double* scratch,
                         const PowerRequest* request);
}  // namespace kinetra::fft

namespace {

namespace hooks = kinetra::fft::testing;

using kinetra::test::RandomSignal;
using kinetra::test::TransformTolerance;

// The packed result of the 8-lane kernels for x, the caller's array 8 bytes off a 64-byte
// boundary as the worst case for unaligned access.
std::vector<double> EightLaneTransform(const std::vector<double>& x) {
    const std::size_t n = x.size();
    std::vector<double> table(2 * n + 4);
    std::vector<double> dataStore(n + 2 + 16);
    double* data = dataStore.data();
    while (reinterpret_cast<std::uintptr_t>(data) % 64 != 8) ++data;
    DZFFT1DC(data, static_cast<int>(n), 0, table.data());
    std::copy(x.begin(), x.end(), data);
    std::vector<double> scratchStore(n + 16);
    double* scratch = scratchStore.data();
    while (reinterpret_cast<std::uintptr_t>(scratch) % 64 != 0) ++scratch;
    kinetra::fft::TransformEightLanes(data, n, table.data(), scratch, nullptr);
    return std::vector<double>(data, data + n + 2);
}

class DzfftEightLanes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!hooks::PathSupported(hooks::Path::kAvx2)) {
            GTEST_SKIP() << "this processor has no AVX2 and FMA, on which the 8-lane kernels are "
                            "emulated here; skipped";
        }
    }
};

TEST_F(DzfftEightLanes, EveryLengthMatchesTheReferences) {
    for (std::size_t n = 2; n <= (std::size_t{1} << 16); n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n) + 300);
        const auto out = EightLaneTransform(x);
        const auto reference =
            n <= 4096 ? kinetra::test::ReferenceDft(x) : kinetra::test::ReferenceFft(x);
        EXPECT_LT(kinetra::test::RelativeError(out, reference), TransformTolerance(n))
            << "n = " << n;
        EXPECT_EQ(out[n / 2 + 1], 0.0) << n;
        EXPECT_EQ(out[n + 1], 0.0) << n;
    }
}

TEST_F(DzfftEightLanes, ExactInputsGiveExactBins) {
    for (std::size_t n = 2; n <= 8192; n *= 2) {
        std::vector<double> impulse(n, 0.0);
        impulse[0] = 1.0;
        auto out = EightLaneTransform(impulse);
        for (std::size_t k = 0; k <= n / 2; ++k) {
            ASSERT_EQ(out[k], 1.0) << n << " bin " << k;
            ASSERT_EQ(out[n / 2 + 1 + k], 0.0) << n << " bin " << k;
        }
        std::vector<double> alternating(n);
        for (std::size_t j = 0; j < n; ++j) alternating[j] = (j % 2 == 0) ? 1.0 : -1.0;
        out = EightLaneTransform(alternating);
        for (std::size_t i = 0; i < n + 2; ++i) {
            ASSERT_EQ(out[i], i == n / 2 ? static_cast<double>(n) : 0.0) << n << " element " << i;
        }
    }
}

}  // namespace
