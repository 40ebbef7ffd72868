// Helpers shared by the transform's path tests: random signals, one whole transform, the accuracy
// tolerance and a fixture that forces one code path (skipping it where the processor lacks it).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "fft/dzfft1dc.h"
#include "fft/fft_testing.h"

namespace kinetra::test {

// n values uniform in [-1, 1), the same for the same seed.
inline std::vector<double> RandomSignal(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = dist(rng);
    return x;
}

// Prepares a table for x.size() points, transforms x and returns the packed data array.
inline std::vector<double> TransformWithDzfft(const std::vector<double>& x) {
    const int n = static_cast<int>(x.size());
    std::vector<double> table(2 * x.size() + 4);
    std::vector<double> data(x.size() + 2);
    DZFFT1DC(data.data(), n, 0, table.data());
    std::copy(x.begin(), x.end(), data.begin());
    DZFFT1DC(data.data(), n, -1, table.data());
    return data;
}

// Largest error allowed relative to the largest bin: a few 1e-16, growing gently with n.
inline double TransformTolerance(std::size_t n) {
    return 2e-16 * (1.0 + std::log2(static_cast<double>(n)) / 4.0);
}

// Runs each test with the path of its parameter forced, and the automatic choice restored after.
class ForcedPathTest : public ::testing::TestWithParam<fft::testing::Path> {
protected:
    void SetUp() override {
        if (!fft::testing::PathSupported(GetParam())) {
            GTEST_SKIP() << "this processor cannot run the " << fft::testing::PathName(GetParam())
                         << " path; its tests are skipped";
        }
        ASSERT_TRUE(fft::testing::ForcePath(GetParam()));
    }
    void TearDown() override { fft::testing::ResetPath(); }
};

inline std::string PathLabel(const ::testing::TestParamInfo<fft::testing::Path>& info) {
    switch (info.param) {
        case fft::testing::Path::kScalar:
            return "Scalar";
        case fft::testing::Path::kAvx2:
            return "Avx2";
    }
    return "Unknown";
}

}  // namespace kinetra::test
