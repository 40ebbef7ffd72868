// BlockPowers, the spectrum frame's one-call route from 16-bit samples to powers: on every path
// and length, each power equals DZFFT1DC of the converted samples followed by the squares, their
// sum and the scaling written as plain double arithmetic, bit for bit; bad arguments and a missing
// scratch block leave the powers untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "fft/dzfft1dc.h"
#include "fft/fft_internal.h"
#include "fft/fft_testing.h"
#include "support/stderr_capture.h"
#include "transform_test_support.h"

namespace {

namespace hooks = kinetra::fft::testing;
using hooks::Path;
using kinetra::test::StderrCapture;

constexpr double kScale = 1.0 / 1048576.0;

// n samples over the whole int16 range, both extremes included.
std::vector<std::int16_t> RandomSamples(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<std::int16_t> samples(n);
    for (auto& s : samples) s = static_cast<std::int16_t>(dist(rng));
    samples[0] = -32768;
    if (n > 1) samples[n - 1] = 32767;
    return samples;
}

// The powers as DZFFT1DC and plain arithmetic give them, each step rounded on its own.
std::vector<double> PlainPowers(const std::vector<std::int16_t>& samples, double scale) {
    const std::size_t n = samples.size();
    std::vector<double> table(2 * n + 4), data(n + 2);
    DZFFT1DC(data.data(), static_cast<int>(n), 0, table.data());
    for (std::size_t j = 0; j < n; ++j) data[j] = samples[j];
    DZFFT1DC(data.data(), static_cast<int>(n), -1, table.data());
    std::vector<double> power(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        const volatile double re2 = data[k] * data[k];
        const volatile double im2 = data[n / 2 + 1 + k] * data[n / 2 + 1 + k];
        const volatile double sum = re2 + im2;
        power[k] = sum * scale;
    }
    return power;
}

// BlockPowers with its work array `offset` doubles past a 64-byte boundary, and its power array
// `powerOffset` doubles past one (the power array is also a work area during the call).
std::vector<double> OneCall(const std::vector<std::int16_t>& samples, double scale,
                            std::size_t offset = 0, std::size_t powerOffset = 0) {
    const std::size_t n = samples.size();
    std::vector<double> table(2 * n + 4), workStore(n + 2 + 16), powerStore(n / 2 + 1 + 16, -1.0);
    double* work = workStore.data();
    while (reinterpret_cast<std::uintptr_t>(work) % 64 != 0) ++work;
    work += offset;
    double* power = powerStore.data();
    while (reinterpret_cast<std::uintptr_t>(power) % 64 != 0) ++power;
    power += powerOffset;
    DZFFT1DC(work, static_cast<int>(n), 0, table.data());
    EXPECT_TRUE(kinetra::fft::BlockPowers(samples.data(), static_cast<int>(n), table.data(), work,
                                          scale, power));
    // Nothing written past the powers.
    for (const double* p = power + n / 2 + 1; p != powerStore.data() + powerStore.size(); ++p) {
        EXPECT_EQ(*p, -1.0) << "n = " << n << ", past the powers";
    }
    return std::vector<double>(power, power + n / 2 + 1);
}

using BlockPowersPath = kinetra::test::ForcedPathTest;

// Lengths with an odd and an even number of bits in n/2 (powers taken inside the split step or
// after it), the short ones done on the scalar kernels, and the program's own 1024.
TEST_P(BlockPowersPath, EveryLengthGivesThePlainArithmeticsBits) {
    for (std::size_t n = 2; n <= (std::size_t{1} << 16); n *= 2) {
        for (unsigned seed = 1; seed <= 3; ++seed) {
            const auto samples = RandomSamples(n, static_cast<unsigned>(n) * 7 + seed);
            const double scale = seed == 1 ? kScale : 1.0 / static_cast<double>(n);
            EXPECT_EQ(OneCall(samples, scale), PlainPowers(samples, scale))
                << "n = " << n << ", seed " << seed;
        }
    }
}

TEST_P(BlockPowersPath, EveryAlignmentOfTheWorkAndPowerArraysGivesTheSameBits) {
    for (std::size_t n : {64, 1024, 4096}) {
        const auto samples = RandomSamples(n, 99);
        const auto expected = PlainPowers(samples, kScale);
        for (std::size_t offset = 0; offset < 8; ++offset) {
            for (std::size_t powerOffset : {0, 1, 3, 8}) {
                EXPECT_EQ(OneCall(samples, kScale, offset, powerOffset), expected)
                    << "n = " << n << ", work offset " << offset << ", power offset "
                    << powerOffset;
            }
        }
    }
}

// Blocks at the ends of the 16-bit range, where the first pass's sums of four samples are largest:
// all samples lowest, all highest, quarters of the block alternating between the two, and every
// other complex point alternating.
TEST_P(BlockPowersPath, ExtremeSamplesGiveThePlainArithmeticsBits) {
    for (std::size_t n : {64, 1024, 4096}) {
        std::vector<std::vector<std::int16_t>> blocks(4, std::vector<std::int16_t>(n));
        for (std::size_t j = 0; j < n; ++j) {
            blocks[0][j] = -32768;
            blocks[1][j] = 32767;
            blocks[2][j] = (j / (n / 4)) % 2 == 0 ? std::int16_t{32767} : std::int16_t{-32768};
            blocks[3][j] = (j / 2) % 2 == 0 ? std::int16_t{-32768} : std::int16_t{32767};
        }
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            EXPECT_EQ(OneCall(blocks[b], kScale), PlainPowers(blocks[b], kScale))
                << "n = " << n << ", block " << b;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, BlockPowersPath, ::testing::Values(Path::kScalar, Path::kAvx2),
                         kinetra::test::PathLabel);

// ---- Refusals ----------------------------------------------------------------------------------

const std::string kParam1 = "FFT ERROR : Parameter 1 was incorrect on entry to DZFFT1DC\n";
const std::string kParam2 = "FFT ERROR : Parameter 2 was incorrect on entry to DZFFT1DC\n";
const std::string kParam4 = "FFT ERROR : Parameter 4 was incorrect on entry to DZFFT1DC\n";

TEST(BlockPowersRefusals, BadArgumentsAreReportedAndThePowersKept) {
    std::vector<std::int16_t> samples(1024, 100);
    std::vector<double> table(2 * 1024 + 4), work(1026), power(513, 7.0);
    const std::vector<double> kept(513, 7.0);
    DZFFT1DC(work.data(), 1024, 0, table.data());
    auto call = [&](const std::int16_t* s, int n, const double* t, double* w, double* p) {
        StderrCapture err;
        EXPECT_FALSE(kinetra::fft::BlockPowers(s, n, t, w, kScale, p));
        return err.Text();
    };
    EXPECT_EQ(call(samples.data(), 1000, table.data(), work.data(), power.data()), kParam2);
    EXPECT_EQ(call(samples.data(), 0, table.data(), work.data(), power.data()), kParam2);
    EXPECT_EQ(call(samples.data(), 1, table.data(), work.data(), power.data()), kParam2);
    EXPECT_EQ(call(samples.data(), -1024, table.data(), work.data(), power.data()), kParam2);
    // A table prepared for another length, and none.
    EXPECT_EQ(call(samples.data(), 512, table.data(), work.data(), power.data()), kParam4);
    EXPECT_EQ(call(samples.data(), 1024, nullptr, work.data(), power.data()), kParam4);
    EXPECT_EQ(call(nullptr, 1024, table.data(), work.data(), power.data()), kParam1);
    EXPECT_EQ(call(samples.data(), 1024, table.data(), nullptr, power.data()), kParam1);
    EXPECT_EQ(call(samples.data(), 1024, table.data(), work.data(), nullptr), kParam1);
    EXPECT_EQ(power, kept);
}

void* FailingAlloc(std::size_t) {
    return nullptr;
}
void NoFree(void*) {}

TEST(BlockPowersRefusals, MissingScratchIsReportedAndThePowersKept) {
    std::vector<std::int16_t> samples(1024, 100);
    std::vector<double> table(2 * 1024 + 4), work(1026), power(513, 7.0);
    DZFFT1DC(work.data(), 1024, 0, table.data());
    kinetra::fft::testing::SetScratchAllocator(&FailingAlloc, &NoFree);
    {
        StderrCapture err;
        EXPECT_FALSE(kinetra::fft::BlockPowers(samples.data(), 1024, table.data(), work.data(),
                                               kScale, power.data()));
        EXPECT_EQ(err.Text(), "FFT INTERNAL ERROR : Condition 0 detected in function DZFFT1DC\n");
    }
    kinetra::fft::testing::SetScratchAllocator(nullptr, nullptr);
    EXPECT_EQ(power, std::vector<double>(513, 7.0));
}

}  // namespace
