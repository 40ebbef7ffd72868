// Each code path of the transform (scalar, AVX2) against long-double references at
// every power-of-two length, and the work table against directly computed sines and cosines.
// A path the processor cannot run is skipped with a message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "fft/dzfft1dc.h"
#include "fft/fft_internal.h"
#include "fft/fft_testing.h"
#include "support/reference_dft.h"
#include "transform_test_support.h"

namespace {

namespace hooks = kinetra::fft::testing;
using hooks::Path;
using kinetra::test::ReferenceDft;
using kinetra::test::ReferenceFft;
using kinetra::test::RelativeError;

using DzfftPath = kinetra::test::ForcedPathTest;
using kinetra::test::RandomSignal;

TEST_P(DzfftPath, ForcedPathIsTheActiveOne) {
    EXPECT_EQ(hooks::ActivePath(), GetParam());
}

TEST_P(DzfftPath, ShortLengthsMatchTheDefinition) {
    for (std::size_t n = 2; n <= 4096; n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n) + 100);
        const auto out = kinetra::test::TransformWithDzfft(x);
        EXPECT_LT(RelativeError(out, ReferenceDft(x)), kinetra::test::TransformTolerance(n))
            << "n = " << n;
        EXPECT_EQ(out[n / 2 + 1], 0.0) << n;
        EXPECT_EQ(out[n + 1], 0.0) << n;
    }
}

TEST_P(DzfftPath, ExactInputsGiveExactBins) {
    for (std::size_t n = 2; n <= 8192; n *= 2) {
        std::vector<double> impulse(n, 0.0);
        impulse[0] = 1.0;
        auto out = kinetra::test::TransformWithDzfft(impulse);
        for (std::size_t k = 0; k <= n / 2; ++k) {
            ASSERT_EQ(out[k], 1.0) << n << " bin " << k;
            ASSERT_EQ(out[n / 2 + 1 + k], 0.0) << n << " bin " << k;
        }
        out = kinetra::test::TransformWithDzfft(std::vector<double>(n, 1.0));
        ASSERT_EQ(out[0], static_cast<double>(n)) << n;
        for (std::size_t i = 1; i < n + 2; ++i) ASSERT_EQ(out[i], 0.0) << n << " element " << i;
        std::vector<double> alternating(n);
        for (std::size_t j = 0; j < n; ++j) alternating[j] = (j % 2 == 0) ? 1.0 : -1.0;
        out = kinetra::test::TransformWithDzfft(alternating);
        for (std::size_t i = 0; i < n + 2; ++i) {
            ASSERT_EQ(out[i], i == n / 2 ? static_cast<double>(n) : 0.0) << n << " element " << i;
        }
    }
}

TEST_P(DzfftPath, UnalignedArraysGiveTheSameBytes) {
    for (std::size_t n : {64u, 1024u, 32768u}) {
        const auto x = RandomSignal(n, 5);
        const auto expected = kinetra::test::TransformWithDzfft(x);
        std::vector<double> tableStore(2 * n + 4 + 8), dataStore(n + 2 + 8);
        auto offsetBy8 = [](std::vector<double>& v) {
            double* p = v.data();
            while (reinterpret_cast<std::uintptr_t>(p) % 64 != 8) ++p;
            return p;
        };
        double* table = offsetBy8(tableStore);
        double* data = offsetBy8(dataStore);
        DZFFT1DC(data, static_cast<int>(n), 0, table);
        std::copy(x.begin(), x.end(), data);
        DZFFT1DC(data, static_cast<int>(n), -1, table);
        EXPECT_EQ(std::vector<double>(data, data + n + 2), expected) << n;
    }
}

// From 16384 points the last passes run block by block through a local buffer; these lengths
// cover both arrays as the blocks' input (16384: the caller's array, 65536: the scratch) and both
// finishing steps (32768: the split alone, the others: the radix-2 step folded into it). The
// caller's array sits 8 bytes past a 64-byte boundary.
TEST_P(DzfftPath, BlockwiseLastPassesMatchALongDoubleFft) {
    for (std::size_t n : {16384u, 32768u, 65536u}) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n) + 7);
        std::vector<double> table(2 * n + 4), dataStore(n + 2 + 8);
        double* data = dataStore.data();
        while (reinterpret_cast<std::uintptr_t>(data) % 64 != 8) ++data;
        DZFFT1DC(data, static_cast<int>(n), 0, table.data());
        std::copy(x.begin(), x.end(), data);
        DZFFT1DC(data, static_cast<int>(n), -1, table.data());
        const std::vector<double> out(data, data + n + 2);
        EXPECT_LT(RelativeError(out, ReferenceFft(x)), kinetra::test::TransformTolerance(n))
            << "n = " << n;
        EXPECT_EQ(out[n / 2 + 1], 0.0) << n;
        EXPECT_EQ(out[n + 1], 0.0) << n;
    }
}

// Up to 4096 points the pass before the split writes the caller's array with both halves at the
// array's own alignment, and the split (with or without the radix-2 step folded into it) moves
// the imaginary half by one element in place. Every alignment of the array, 8 bytes apart, must
// give the same bytes, and they must match the definition; 64 to 1024 points run with the length
// fixed at compile time, 2048 and 4096 without.
TEST_P(DzfftPath, EveryAlignmentOfTheCallersArrayGivesTheSameBytes) {
    for (std::size_t n = 64; n <= 4096; n *= 2) {
        const auto x = RandomSignal(n, static_cast<unsigned>(n) + 11);
        std::vector<double> table(2 * n + 4);
        std::vector<double> dataStore(n + 2 + 8);
        DZFFT1DC(dataStore.data(), static_cast<int>(n), 0, table.data());
        std::vector<double> first;
        for (std::size_t offset = 0; offset < 64; offset += 8) {
            double* data = dataStore.data();
            while (reinterpret_cast<std::uintptr_t>(data) % 64 != offset) ++data;
            std::copy(x.begin(), x.end(), data);
            DZFFT1DC(data, static_cast<int>(n), -1, table.data());
            std::vector<double> out(data, data + n + 2);
            if (first.empty()) {
                EXPECT_LT(RelativeError(out, ReferenceDft(x)), kinetra::test::TransformTolerance(n))
                    << "n = " << n;
                EXPECT_EQ(out[n / 2 + 1], 0.0) << n;
                EXPECT_EQ(out[n + 1], 0.0) << n;
                first = out;
            } else {
                EXPECT_EQ(out, first) << "n = " << n << ", array at " << offset << " mod 64";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, DzfftPath, ::testing::Values(Path::kScalar, Path::kAvx2),
                         kinetra::test::PathLabel);

TEST(DzfftPathChoice, UnsupportedPathIsRefusedAndTheChoiceKept) {
    const Path before = hooks::ActivePath();
    // A value that names no path is never supported.
    EXPECT_FALSE(hooks::PathSupported(static_cast<Path>(2)));
    EXPECT_FALSE(hooks::ForcePath(static_cast<Path>(2)));
    EXPECT_EQ(hooks::ActivePath(), before);
    EXPECT_TRUE(hooks::PathSupported(Path::kScalar));
}

// ---- Work table
// ----------------------------------------------------------------------------------

// Distance, in units in the last place, between a table value and the double nearest to the
// long-double value.
double UlpDistance(double value, long double exact) {
    const double nearest = static_cast<double>(exact);
    if (value == nearest) return 0.0;
    const double ulp = std::nextafter(std::abs(nearest), INFINITY) - std::abs(nearest);
    return static_cast<double>(std::abs(static_cast<long double>(value) - exact) / ulp);
}

// cos and sin of 2 pi i / N in long double, the angle first reduced exactly (in integers) to at
// most pi/4, so that values near zero keep their full relative precision.
struct CosSin {
    long double c;
    long double s;
};
CosSin ExactCosSin(std::size_t i, std::size_t count) {
    const long double twoPi = 8.0L * std::atan(1.0L);
    i %= count;
    const std::size_t quadrant = 4 * i / count;
    const std::size_t rest = 4 * i - quadrant * count;  // angle in quadrant: 2 pi rest / (4 N)
    long double cr, sr;
    if (2 * rest <= count) {
        const long double t = twoPi * static_cast<long double>(rest) / (4.0L * count);
        cr = std::cos(t);
        sr = std::sin(t);
    } else {
        const long double u = twoPi * static_cast<long double>(count - rest) / (4.0L * count);
        cr = std::sin(u);
        sr = std::cos(u);
    }
    switch (quadrant) {
        case 0:
            return {cr, sr};
        case 1:
            return {-sr, cr};
        case 2:
            return {-cr, -sr};
        default:
            return {sr, -cr};
    }
}

TEST(DzfftTable, CoefficientsAreTheNearestDoublesToTheirSinesAndCosines) {
    const long double twoPi = 8.0L * std::atan(1.0L);
    for (std::size_t n : {std::size_t{4}, std::size_t{8}, std::size_t{16}, std::size_t{64},
                          std::size_t{2048}, std::size_t{4096}, std::size_t{1} << 17}) {
        std::vector<double> table(2 * n + 4);
        std::vector<double> data(n + 2);
        DZFFT1DC(data.data(), static_cast<int>(n), 0, table.data());
        double worst = 0.0;
        const double* a = table.data() + kinetra::fft::kSplitOffset;
        const double* b = a + n / 4;
        for (std::size_t k = 1; k < n / 4; ++k) {
            // (1 - sin t)/2 = sin^2(pi/4 - t/2), t = 2 pi k / n.
            const long double half =
                std::sin(twoPi * static_cast<long double>(n / 4 - k) / (2.0L * n));
            worst = std::max(worst, UlpDistance(a[k], half * half));
            worst = std::max(worst, UlpDistance(b[k], 0.5L * ExactCosSin(k, n).c));
        }
        // Twiddle blocks of the passes whose length exceeds their radix.
        const std::size_t m = n / 2;
        const kinetra::fft::Plan plan = kinetra::fft::MakePlan(m);
        const double* block = table.data() + kinetra::fft::TwiddleOffset(n);
        std::size_t length = m;
        for (unsigned pass = 0; pass < plan.count; ++pass) {
            const std::size_t radix = PassRadix(plan, pass);
            const std::size_t count = length / radix;
            for (std::size_t j = 1; j < radix && length > radix; ++j) {
                const double* wr = block + 2 * (j - 1) * count;
                const double* wi = wr + count;
                for (std::size_t p = 0; p < count; ++p) {
                    // The first pass's block swaps the middle two of each group of four.
                    const std::size_t slot =
                        (pass == 0 && m >= 16)
                            ? (p & ~std::size_t{3}) | ((p & 1) << 1) | ((p >> 1) & 1)
                            : p;
                    const CosSin w = ExactCosSin(j * p, length);
                    worst = std::max(worst, UlpDistance(wr[slot], w.c));
                    worst = std::max(worst, UlpDistance(wi[slot], -w.s));
                }
            }
            block += kinetra::fft::TwiddleBlockSize(length, PassRadix(plan, pass));
            length /= radix;
        }
        // The nearest double, or one unit off where the value lies almost halfway between two.
        EXPECT_LE(worst, 1.0) << "n = " << n;
        EXPECT_LT(block - table.data(), static_cast<std::ptrdiff_t>(2 * n - 1)) << n;
    }
}

TEST(DzfftTable, LayoutFitsBeforeTheLastFixedElementAtEveryLength) {
    // Up to the largest power of two an int holds; the blocks are summed, not written.
    for (std::size_t n = 2; n <= (std::size_t{1} << 30); n *= 2) {
        const std::size_t m = n / 2;
        const kinetra::fft::Plan plan = kinetra::fft::MakePlan(m);
        std::size_t end = kinetra::fft::TwiddleOffset(n);
        std::size_t length = m;
        unsigned bits = 0;
        for (unsigned pass = 0; pass < plan.count; ++pass) {
            const unsigned radix = kinetra::fft::PassRadix(plan, pass);
            end += kinetra::fft::TwiddleBlockSize(length, radix);
            length /= radix;
            bits += radix == 8 ? 3 : 2;
        }
        if (plan.finalRadix2) ++bits;
        EXPECT_EQ(std::size_t{1} << bits, m) << "the passes must cover all of m, n = " << n;
        EXPECT_LE(end, 2 * n - 1) << "n = " << n;
    }
}

}  // namespace
