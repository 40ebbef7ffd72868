// The real-input transform: parameter checks and their reports, known transforms, accuracy
// against long-double references, and the floating-point environment.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fft/dzfft1dc.h"
#include "fft/fft_internal.h"
#include "fft/fft_testing.h"
#include "support/reference_dft.h"
#include "support/stderr_capture.h"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

using kinetra::test::StderrCapture;

const std::string kParam1 = "FFT ERROR : Parameter 1 was incorrect on entry to DZFFT1DC\n";
const std::string kParam2 = "FFT ERROR : Parameter 2 was incorrect on entry to DZFFT1DC\n";
const std::string kParam3 = "FFT ERROR : Parameter 3 was incorrect on entry to DZFFT1DC\n";
const std::string kParam4 = "FFT ERROR : Parameter 4 was incorrect on entry to DZFFT1DC\n";

struct Prepared {
    explicit Prepared(int n) : n(n), data(n + 2, 0.0), table(2 * n + 4, 0.0) {
        DZFFT1DC(data.data(), n, 0, table.data());
    }
    std::vector<double> Transform(const std::vector<double>& x, int isign = -1) {
        std::copy(x.begin(), x.end(), data.begin());
        DZFFT1DC(data.data(), n, isign, table.data());
        return data;
    }
    int n;
    std::vector<double> data;
    std::vector<double> table;
};

std::vector<double> RandomSignal(int n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = dist(rng);
    return x;
}

// ---- Parameter checks -------------------------------------------------------------------------

TEST(DzfftParameters, LengthZeroOrOneDoesNothingEvenWithNullPointers) {
    StderrCapture err;
    for (int n : {0, 1}) {
        for (int isign : {-5, 0, 1}) DZFFT1DC(nullptr, n, isign, nullptr);
    }
    double data[4] = {1, 2, 3, 4};
    double table[8] = {};
    DZFFT1DC(data, 1, -1, table);
    EXPECT_EQ(err.Text(), "");
    EXPECT_EQ(data[0], 1.0);
    EXPECT_EQ(data[3], 4.0);
}

TEST(DzfftParameters, BadLengthIsParameterTwoAndLeavesDataAlone) {
    Prepared p(1024);
    for (int n : {1000, 3, -4, -1024, 6}) {
        std::vector<double> data(1026, 7.0);
        StderrCapture err;
        DZFFT1DC(data.data(), n, -1, p.table.data());
        EXPECT_EQ(err.Text(), kParam2) << "n = " << n;
        EXPECT_EQ(data, std::vector<double>(1026, 7.0));
    }
}

TEST(DzfftParameters, ChecksComeInTheirOrder) {
    std::vector<double> table(2052, 0.0);
    {
        // Length is checked before the sign, the sign before the table, the table before data.
        StderrCapture err;
        DZFFT1DC(nullptr, 1000, 9, nullptr);
        DZFFT1DC(nullptr, 1024, 3, nullptr);
        DZFFT1DC(nullptr, 1024, -3, table.data());
        DZFFT1DC(nullptr, 1024, -1, nullptr);
        DZFFT1DC(nullptr, 1024, -1, table.data());  // all-zero table before null data
        EXPECT_EQ(err.Text(), kParam2 + kParam3 + kParam3 + kParam4 + kParam4);
    }
    {
        StderrCapture err;
        DZFFT1DC(nullptr, 1024, 0, table.data());  // initialisation checks data as well
        EXPECT_EQ(err.Text(), kParam1);
        EXPECT_EQ(table, std::vector<double>(2052, 0.0));
    }
    Prepared p(1024);
    StderrCapture err;
    DZFFT1DC(nullptr, 1024, 2, p.table.data());
    EXPECT_EQ(err.Text(), kParam1);
}

TEST(DzfftParameters, TableForAnotherLengthOrCorruptIsParameterFour) {
    Prepared p512(512);
    std::vector<double> big(2052, 0.0);
    std::copy(p512.table.begin(), p512.table.end(), big.begin());
    std::vector<double> data(1026, 3.0);
    std::vector<double> nanTable(2052, std::nan(""));
    std::vector<double> hugeTable(2052, 1e300);
    StderrCapture err;
    DZFFT1DC(data.data(), 1024, -1, big.data());
    DZFFT1DC(data.data(), 1024, -1, nanTable.data());
    DZFFT1DC(data.data(), 1024, -1, hugeTable.data());
    EXPECT_EQ(err.Text(), kParam4 + kParam4 + kParam4);
    EXPECT_EQ(data, std::vector<double>(1026, 3.0));
}

TEST(DzfftParameters, TableElementsAreTruncatedTowardZero) {
    Prepared p(1024);
    p.table[0] = 512.9;
    p.table[2047] = 512.2;
    StderrCapture err;
    p.Transform(std::vector<double>(1024, 1.0));
    EXPECT_EQ(err.Text(), "");
    EXPECT_EQ(p.data[0], 1024.0);
}

TEST(DzfftParameters, InitialisationWritesTheFixedElementsAndStaysInsideTheTable) {
    for (int n = 2; n <= (1 << 16); n *= 2) {
        std::vector<double> table(2 * n + 4 + 16, -12345.0);
        std::vector<double> data(n + 2, 5.0);
        DZFFT1DC(data.data(), n, 0, table.data());
        EXPECT_EQ(table[0], n / 2) << n;
        EXPECT_EQ(table[1], 0.0) << n;
        EXPECT_EQ(table[2 * n - 1], n / 2) << n;
        for (int i = 2 * n + 4; i < 2 * n + 20; ++i) ASSERT_EQ(table[i], -12345.0) << n;
        EXPECT_EQ(data, std::vector<double>(n + 2, 5.0)) << n;
    }
}

TEST(DzfftReports, InternalConditionLineFormat) {
    StderrCapture err;
    kinetra::fft::ReportInternalCondition(0, "DZFFT1DC");
    kinetra::fft::ReportInternalCondition(-7, "ZFFT1D ");
    kinetra::fft::ReportInternalCondition(-1234, "AVERYLONGROUTINENAME");
    EXPECT_EQ(err.Text(),
              "FFT INTERNAL ERROR : Condition 0 detected in function DZFFT1DC\n"
              "FFT INTERNAL ERROR : Condition 7 detected in function ZFFT1D \n"
              "FFT INTERNAL ERROR : Condition 1004 detected in function AVERYLONGR\n");
}

void* FailingAlloc(std::size_t) {
    return nullptr;
}
void NoFree(void*) {}

TEST(DzfftReports, MissingScratchIsReportedAndDataKept) {
    Prepared p(1024);
    std::vector<double> data(1026, 2.5);
    kinetra::fft::testing::SetScratchAllocator(&FailingAlloc, &NoFree);
    {
        StderrCapture err;
        DZFFT1DC(data.data(), 1024, -1, p.table.data());
        EXPECT_EQ(err.Text(), "FFT INTERNAL ERROR : Condition 0 detected in function DZFFT1DC\n");
    }
    kinetra::fft::testing::SetScratchAllocator(nullptr, nullptr);
    EXPECT_EQ(data, std::vector<double>(1026, 2.5));
}

// ---- Known transforms (hand arithmetic) -------------------------------------------------------

TEST(DzfftKnown, ImpulseConstantAndAlternating) {
    Prepared p(1024);
    std::vector<double> impulse(1024, 0.0);
    impulse[0] = 1.0;
    auto out = p.Transform(impulse);
    for (int k = 0; k <= 512; ++k) EXPECT_EQ(out[k], 1.0) << k;
    for (int k = 513; k <= 1025; ++k) EXPECT_EQ(out[k], 0.0) << k;

    out = p.Transform(std::vector<double>(1024, 1.0));
    EXPECT_EQ(out[0], 1024.0);
    for (int k = 1; k <= 1025; ++k) EXPECT_EQ(out[k], 0.0) << k;

    std::vector<double> alternating(1024);
    for (int j = 0; j < 1024; ++j) alternating[j] = (j % 2 == 0) ? 1.0 : -1.0;
    out = p.Transform(alternating);
    EXPECT_EQ(out[512], 1024.0);
    for (int k = 0; k <= 1025; ++k) {
        if (k != 512) {
            EXPECT_EQ(out[k], 0.0) << k;
        }
    }
}

TEST(DzfftKnown, TonesLandOnTheirBinsWithTheNegativeExponent) {
    Prepared p(1024);
    const long double twoPi = 8.0L * std::atan(1.0L);
    std::vector<double> sine(1024), cosine(1024);
    for (int j = 0; j < 1024; ++j) {
        sine[j] = static_cast<double>(std::sin(twoPi * 5 * j / 1024));
        cosine[j] = static_cast<double>(std::cos(twoPi * 256 * j / 1024));
    }
    auto out = p.Transform(sine);
    EXPECT_NEAR(out[513 + 5], -512.0, 1e-12);
    for (int k = 0; k <= 1025; ++k) {
        if (k != 518) {
            EXPECT_NEAR(out[k], 0.0, 1e-12) << k;
        }
    }
    out = p.Transform(cosine);
    EXPECT_NEAR(out[256], 512.0, 1e-12);
    for (int k = 0; k <= 1025; ++k) {
        if (k != 256) {
            EXPECT_NEAR(out[k], 0.0, 1e-12) << k;
        }
    }
}

TEST(DzfftKnown, LengthTwoAndFour) {
    Prepared p2(2);
    EXPECT_EQ(p2.Transform({3.0, 5.0}), (std::vector<double>{8.0, -2.0, 0.0, 0.0}));
    // x = (1, 2, 3, 4): X0 = 10, X1 = -2 + 2i, X2 = -2.
    Prepared p4(4);
    EXPECT_EQ(p4.Transform({1.0, 2.0, 3.0, 4.0}),
              (std::vector<double>{10.0, -2.0, -2.0, 0.0, 2.0, 0.0}));
}

TEST(DzfftKnown, EverySignGivesTheSameForwardTransform) {
    Prepared p(1024);
    const auto x = RandomSignal(1024, 7);
    const auto reference = p.Transform(x, -1);
    for (int isign : {-2, 1, 2}) EXPECT_EQ(p.Transform(x, isign), reference) << isign;
}

TEST(DzfftKnown, TableAtAnOddEightByteOffsetGivesTheSameResult) {
    Prepared aligned(1024);
    const auto x = RandomSignal(1024, 11);
    const auto expected = aligned.Transform(x);
    // A table starting 8 bytes past a 16-byte boundary, data likewise.
    std::vector<double> tableStore(2052 + 4), dataStore(1026 + 4);
    auto offsetBy8 = [](std::vector<double>& v) {
        double* p = v.data();
        while (reinterpret_cast<std::uintptr_t>(p) % 16 != 8) ++p;
        return p;
    };
    double* table = offsetBy8(tableStore);
    double* data = offsetBy8(dataStore);
    DZFFT1DC(data, 1024, 0, table);
    std::copy(x.begin(), x.end(), data);
    DZFFT1DC(data, 1024, -1, table);
    EXPECT_EQ(std::vector<double>(data, data + 1026), expected);
}

// ---- Accuracy against long-double references -------------------------------------------------

// A few 1e-16 relative to the largest bin, growing gently with the length.
double Tolerance(int n) {
    return 2e-16 * (1.0 + std::log2(static_cast<double>(n)) / 4.0);
}

TEST(DzfftAccuracy, EveryLengthUpTo4096MatchesTheDefinition) {
    for (int n = 2; n <= 4096; n *= 2) {
        Prepared p(n);
        const auto x = RandomSignal(n, static_cast<unsigned>(n));
        const double error =
            kinetra::test::RelativeError(p.Transform(x), kinetra::test::ReferenceDft(x));
        EXPECT_LT(error, Tolerance(n)) << "n = " << n;
        EXPECT_EQ(p.data[n / 2 + 1], 0.0);
        EXPECT_EQ(p.data[n + 1], 0.0);
    }
}

TEST(DzfftAccuracy, LongLengthsMatchALongDoubleFft) {
    for (int n = 8192; n <= (1 << 20); n *= 4) {
        Prepared p(n);
        const auto x = RandomSignal(n, static_cast<unsigned>(n));
        const double error =
            kinetra::test::RelativeError(p.Transform(x), kinetra::test::ReferenceFft(x));
        EXPECT_LT(error, Tolerance(n)) << "n = " << n;
    }
}

TEST(DzfftAccuracy, ToneLeaksNothingAtTheLongestLength) {
    const int n = 1 << 24;
    Prepared p(n);
    const std::size_t bin = 1234567;
    std::vector<double> x(n);
    const long double twoPi = 8.0L * std::atan(1.0L);
    for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) {
        x[j] = static_cast<double>(std::cos(twoPi * static_cast<long double>((j * bin) % n) / n));
    }
    const auto out = p.Transform(x);
    const double peak = n / 2.0;
    EXPECT_NEAR(out[bin], peak, peak * 1e-13);
    double leak = 0.0;
    for (std::size_t k = 0; k <= static_cast<std::size_t>(n / 2); ++k) {
        if (k == bin) continue;
        leak = std::max({leak, std::abs(out[k]), std::abs(out[n / 2 + 1 + k])});
    }
    leak = std::max(leak, std::abs(out[n / 2 + 1 + bin]));
    EXPECT_LT(leak / peak, 1e-13);
}

TEST(DzfftAccuracy, RoundTripThroughTheReferenceInverseRestoresTheSignal) {
    const int n = 2048;
    Prepared p(n);
    const auto x = RandomSignal(n, 3);
    const auto out = p.Transform(x);
    // Inverse real DFT in long double from the n/2 + 1 bins.
    const long double twoPi = 8.0L * std::atan(1.0L);
    double worst = 0.0;
    for (int j = 0; j < n; j += 37) {
        long double sum = out[0] + out[n / 2] * ((j % 2 == 0) ? 1.0L : -1.0L);
        for (int k = 1; k < n / 2; ++k) {
            const long double angle =
                twoPi * static_cast<long double>((static_cast<long>(j) * k) % n) / n;
            sum += 2.0L * (out[k] * std::cos(angle) - out[n / 2 + 1 + k] * std::sin(angle));
        }
        worst = std::max(worst, std::abs(static_cast<double>(sum / n) - x[j]));
    }
    EXPECT_LT(worst, 1e-14);
}

// ---- Floating-point environment ----------------------------------------------------------------

TEST(DzfftEnvironment, CallersRoundingModeAndFlagsAreKept) {
    Prepared p(1024);
    const auto x = RandomSignal(1024, 5);
    const auto expected = p.Transform(x);
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        std::feclearexcept(FE_ALL_EXCEPT);
        const auto out = p.Transform(x);
        std::vector<double> table(2052);
        std::vector<double> data(1026);
        DZFFT1DC(data.data(), 1024, 0, table.data());
        const int flags = std::fetestexcept(FE_ALL_EXCEPT);
        const int kept = std::fegetround();
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(kept, mode);
        EXPECT_EQ(flags, 0) << "flags leaked to the caller";
        EXPECT_EQ(out, expected) << "not computed under round-to-nearest";
        EXPECT_EQ(table, p.table);
    }
    // Flags the caller had raised stay raised.
    std::feraiseexcept(FE_DIVBYZERO);
    p.Transform(x);
    EXPECT_TRUE(std::fetestexcept(FE_DIVBYZERO));
    std::feclearexcept(FE_ALL_EXCEPT);
}

#if defined(__x86_64__)
TEST(DzfftEnvironment, CallersStatusFlagsComeBackExactly) {
    // Subnormal input raises the denormal, underflow and inexact flags inside the transform; the
    // caller, whose control bits are already the default, gets its own flags back and no others.
    Prepared p(1024);
    std::vector<double> tiny(1024);
    for (int j = 0; j < 1024; ++j) tiny[j] = 3e-320 * ((j % 7) - 3);
    const unsigned saved = _mm_getcsr();
    for (unsigned callerFlags : {0x00u, 0x04u, 0x3Fu}) {  // none, divide-by-zero, all six
        _mm_setcsr((saved & ~0x3Fu) | callerFlags);
        p.Transform(tiny);
        const unsigned after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after & 0x3Fu, callerFlags);
    }
}

TEST(DzfftEnvironment, FlushToZeroOfTheCallerDoesNotApply) {
    Prepared p(64);
    std::vector<double> tiny(64);
    for (int j = 0; j < 64; ++j) tiny[j] = 1e-310 * ((j % 3) - 1);
    const auto expected = p.Transform(tiny);
    const unsigned saved = _mm_getcsr();
    _mm_setcsr(saved | 0x8040);  // FTZ and DAZ
    const auto out = p.Transform(tiny);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after, saved | 0x8040);
    EXPECT_EQ(out, expected);
    EXPECT_NE(expected[1], 0.0);
}
#endif

}  // namespace
