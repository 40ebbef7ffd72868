// The spectrum frame: powers of known blocks (hand arithmetic), refused blocks, and
// construction that runs out of memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "analysis/spectrum_frame_testing.h"
#include "fft/dzfft1dc.h"
#include "platform/cache_lines.h"
#include "support/debug_capture.h"

namespace {

using Block = std::vector<std::int16_t>;

std::vector<double> Powers(CSpectrumFrame& frame, const Block& block) {
    const double* s = frame.Transform(block.data(), static_cast<std::uint32_t>(block.size()));
    if (s == nullptr) return {};
    return std::vector<double>(s, s + SPECTRUM_BINS);
}

TEST(SpectrumFrame, ConstantBlocksPutAllPowerInBinZero) {
    CSpectrumFrame frame;
    ASSERT_TRUE(frame.IsComplete());
    EXPECT_EQ(Powers(frame, Block(1024, 0)), std::vector<double>(513, 0.0));

    auto ones = Powers(frame, Block(1024, 1));
    EXPECT_EQ(ones[0], 1.0);
    for (int k = 1; k < 513; ++k) EXPECT_EQ(ones[k], 0.0) << k;

    auto lowest = Powers(frame, Block(1024, -32768));
    EXPECT_EQ(lowest[0], 1073741824.0);
    for (int k = 1; k < 513; ++k) EXPECT_EQ(lowest[k], 0.0) << k;
}

TEST(SpectrumFrame, AlternatingAndImpulseBlocks) {
    CSpectrumFrame frame;
    Block alternating(1024);
    for (int j = 0; j < 1024; ++j) alternating[j] = (j % 2 == 0) ? 1 : -1;
    auto out = Powers(frame, alternating);
    EXPECT_EQ(out[512], 1.0);
    for (int k = 0; k < 512; ++k) EXPECT_EQ(out[k], 0.0) << k;

    Block impulse(1024, 0);
    impulse[0] = 1024;
    EXPECT_EQ(Powers(frame, impulse), std::vector<double>(513, 1.0));
}

TEST(SpectrumFrame, CosineGivesAQuarterOfItsSquaredAmplitude) {
    CSpectrumFrame frame;
    Block block(1024);
    const double twoPi = 8.0 * std::atan(1.0);
    for (int j = 0; j < 1024; ++j) {
        block[j] = static_cast<std::int16_t>(std::lround(1000.0 * std::cos(twoPi * 10 * j / 1024)));
    }
    auto out = Powers(frame, block);
    EXPECT_NEAR(out[10], 250000.0, 250.0);
    EXPECT_LT(out[9], 1.0);
    EXPECT_LT(out[11], 1.0);
}

TEST(SpectrumFrame, WrongSizedBlocksAreRefusedAndKeepThePreviousSpectrum) {
    kinetra::test::DebugCapture debug;
    CSpectrumFrame frame;
    Block ones(2048, 1);
    const double* first = frame.Transform(ones.data(), 1024);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(frame.Transform(ones.data(), 1023), nullptr);
    EXPECT_EQ(frame.Transform(ones.data(), 2048), nullptr);
    EXPECT_EQ(frame.Transform(nullptr, 1024), nullptr);
    EXPECT_EQ(debug.Count("(FFT) Bad input!\n"), 3);
    EXPECT_EQ(first[0], 1.0);
}

int g_allocationsLeft = 0;
void* LimitedAlloc(std::size_t bytes) {
    if (g_allocationsLeft == 0) return nullptr;
    --g_allocationsLeft;
    return kinetra::AllocateCacheLines(bytes);
}

TEST(SpectrumFrame, FailedAllocationStopsConstructionAndTheFrameRefusesBlocks) {
    for (int allowed = 0; allowed < 3; ++allowed) {
        kinetra::test::DebugCapture debug;
        g_allocationsLeft = allowed;
        kinetra::analysis::testing::SetFrameAllocator(&LimitedAlloc);
        {
            CSpectrumFrame frame;
            kinetra::analysis::testing::SetFrameAllocator(nullptr);
            EXPECT_FALSE(frame.IsComplete());
            EXPECT_EQ(g_allocationsLeft, 0) << "later arrays must not be requested";
            Block block(1024, 1);
            EXPECT_EQ(frame.Transform(block.data(), 1024), nullptr);
        }
        EXPECT_EQ(debug.Lines(), std::vector<std::string>{"Bad malloc!\n"}) << allowed;
    }
}

// Every power is (Re^2 + Im^2) * 2^-20 rounded step by step exactly as plain double arithmetic
// does, whichever vector unit computes it: checked bit for bit against the transform's own output
// for full-scale random blocks (the conversion of every int16 value is exact). The windowed copy
// leaves those bits as they are, and its powers are those of a direct transform of the block
// times the periodic Hann window, scaled by 8/3.
TEST(SpectrumFrame, PowersAreTheSquaresOfTheTransformRoundedAsInPlainArithmetic) {
    CSpectrumFrame frame;
    std::vector<double> table(2 * 1024 + 4), data(1024 + 2), expected(SPECTRUM_BINS);
    DZFFT1DC(data.data(), 1024, 0, table.data());
    std::uint32_t seed = 12345;
    std::vector<std::int16_t> block(1024);
    for (int round = 0; round < 20; ++round) {
        for (auto& sample : block) {
            seed = seed * 1664525u + 1013904223u;
            sample = static_cast<std::int16_t>(seed >> 16);
        }
        for (std::size_t j = 0; j < 1024; ++j) data[j] = static_cast<double>(block[j]);
        DZFFT1DC(data.data(), 1024, -1, table.data());
        for (std::size_t k = 0; k < SPECTRUM_BINS; ++k) {
            const volatile double re2 = data[k] * data[k];
            const volatile double im2 = data[513 + k] * data[513 + k];
            const volatile double sum = re2 + im2;
            expected[k] = sum * (1.0 / 1048576.0);
        }
        const double* spectrum = frame.Transform(block.data(), 1024);
        ASSERT_NE(spectrum, nullptr);
        for (std::size_t k = 0; k < SPECTRUM_BINS; ++k) {
            ASSERT_EQ(spectrum[k], expected[k]) << "round " << round << " bin " << k;
        }
        const double* both = frame.TransformWindowed(block.data(), 1024);
        ASSERT_EQ(both, spectrum);
        for (std::size_t k = 0; k < SPECTRUM_BINS; ++k) {
            ASSERT_EQ(both[k], expected[k]) << "round " << round << " bin " << k;
            if (round > 0) continue;
            long double re = 0, im = 0;
            for (std::size_t n = 0; n < 1024; ++n) {
                const long double wx =
                    (0.5L - 0.5L * std::cos(2 * std::numbers::pi_v<long double> * n / 1024)) *
                    block[n];
                re += wx * std::cos(2 * std::numbers::pi_v<long double> * ((n * k) % 1024) / 1024);
                im -= wx * std::sin(2 * std::numbers::pi_v<long double> * ((n * k) % 1024) / 1024);
            }
            const double direct = static_cast<double>((re * re + im * im) / 1048576 * 8 / 3);
            ASSERT_NEAR(both[SPECTRUM_BINS + k], direct, 1e-9 * direct + 1e-6) << "bin " << k;
        }
    }
}

}  // namespace
