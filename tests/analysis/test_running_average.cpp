// The running average: hand-worked steps, and every path gives the plain loop's bits, also for
// lengths that do not fill a vector, values that are not numbers, infinities and subnormals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "analysis/running_average.h"

namespace {

TEST(RunningAverage, MovesTheWeightsShareTowardTheSpectrum) {
    // From 0 toward 100 by 0.02: 2; then 2 + (100 - 2) * 0.02 = 3.96; toward 0 from 3.96:
    // 3.96 - 0.0792 = 3.8808 (each step rounded in double, as the sums below are).
    std::vector<double> average(5, 0.0);
    const std::vector<double> hundred(5, 100.0);
    const std::vector<double> zero(5, 0.0);
    kinetra::analysis::UpdateRunningAverage(average.data(), hundred.data(), 5, 0.02);
    for (double a : average) EXPECT_EQ(a, 2.0);
    kinetra::analysis::UpdateRunningAverage(average.data(), hundred.data(), 5, 0.02);
    const double second = 2.0 + 98.0 * 0.02;
    for (double a : average) EXPECT_EQ(a, second);
    EXPECT_NEAR(second, 3.96, 1e-15);
    kinetra::analysis::UpdateRunningAverage(average.data(), zero.data(), 5, 0.02);
    for (double a : average) EXPECT_NEAR(a, 3.8808, 1e-15);
}

TEST(RunningAverage, LeavesBinsBeyondTheCountAlone) {
    std::vector<double> average(9, 7.0);
    const std::vector<double> spectrum(9, 57.0);
    kinetra::analysis::UpdateRunningAverage(average.data(), spectrum.data(), 6, 0.5);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(average[k], 32.0) << k;
    for (int k = 6; k < 9; ++k) EXPECT_EQ(average[k], 7.0) << k;
}

std::uint64_t Bits(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

TEST(RunningAverage, EveryPathGivesThePlainLoopsBits) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> dist(0.0, 1e9);
    const double specials[] = {0.0,
                               -0.0,
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::min() * 0.75,
                               1e-300,
                               std::numeric_limits<double>::max()};
    for (int round = 0; round < 300; ++round) {
        const std::uint32_t count = 1 + static_cast<std::uint32_t>(rng() % 520);
        const double weight = round % 3 == 0 ? 0.02 : std::ldexp(dist(rng), -40);
        std::vector<double> spectrum(count), plain(count);
        for (std::uint32_t k = 0; k < count; ++k) {
            spectrum[k] = rng() % 9 == 0 ? specials[rng() % 8] : dist(rng) * std::ldexp(1.0, -30);
            plain[k] = rng() % 9 == 0 ? specials[rng() % 8] : dist(rng);
        }
        std::vector<double> fast = plain;
        for (int step = 0; step < 3; ++step) {
            kinetra::analysis::UpdateRunningAveragePlain(plain.data(), spectrum.data(), count,
                                                         weight);
            kinetra::analysis::UpdateRunningAverage(fast.data(), spectrum.data(), count, weight);
        }
        for (std::uint32_t k = 0; k < count; ++k) {
            ASSERT_EQ(Bits(fast[k]), Bits(plain[k])) << "round " << round << " bin " << k;
        }
    }
}

// The vector path goes up or down the bins depending on where the two arrays lie relative to each
// other in a 4 KB page: every placement, both directions, gives the plain loop's bits and leaves
// the bins on either side of the range alone.
TEST(RunningAverage, EveryPlacementOfTheArraysGivesThePlainLoopsBits) {
    constexpr std::size_t kGuard = 8;
    std::vector<double> block(2 * 4096 / sizeof(double) + 2048);
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> dist(0.0, 1e6);
    for (std::size_t shift = 0; shift < 4096 / sizeof(double); shift += 37) {
        for (const std::uint32_t count : {0u, 1u, 3u, 4u, 15u, 16u, 17u, 35u, 513u}) {
            double* average = block.data() + kGuard;
            double* spectrum = average + 520 + kGuard + shift;
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = dist(rng);
            const std::vector<double> before(block);
            std::vector<double> plain(average, average + count);
            kinetra::analysis::UpdateRunningAveragePlain(plain.data(), spectrum, count, 0.02);
            kinetra::analysis::UpdateRunningAverage(average, spectrum, count, 0.02);
            for (std::size_t i = 0; i < block.size(); ++i) {
                const double* at = block.data() + i;
                const bool updated = at >= average && at < average + count;
                const double expected = updated ? plain[at - average] : before[i];
                ASSERT_EQ(Bits(block[i]), Bits(expected))
                    << "shift " << shift << " count " << count << " element " << i;
            }
        }
    }
}

}  // namespace
