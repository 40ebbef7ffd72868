// The band mapper: band edges, peak ratios, the adaptive scale and its counter, quantisation and
// limits, the lowest band's debug line. Expected values are worked out by hand from the rules:
// mag = trunc(scale * peak * peak), threshold = e^(position / 5).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "analysis/band_levels.h"
#include "analysis/band_mapper.h"
#include "analysis/spectrum_frame.h"
#include "force/virtual_device.h"
#include "support/debug_capture.h"
#include "support/scoped_env.h"

namespace {

constexpr std::uint32_t kBytes = SPECTRUM_BINS * 8;

struct Band {
    std::uint32_t low, high;
};
constexpr Band kBand1{0, 177}, kBand2{220, 440}, kBand3{484, 2000}, kBand5{10040, 23000};

// Gives a mapper one band and threshold 1 (position 0); it has no force channel.
void Configure(CBandMapper& mapper, Band band) {
    mapper.SetBand(band.low, band.high);
    mapper.SetThreshold(0);
}

// Spectrum and average of 513 bins; the average is 1 everywhere so that a bin's value is its
// ratio.
struct Block {
    std::vector<double> spectrum = std::vector<double>(SPECTRUM_BINS, 0.0);
    std::vector<double> average = std::vector<double>(SPECTRUM_BINS, 1.0);
};

// One block whose best ratio in [first, last] is `ratio`, at bin `first`.
Block PeakAt(std::uint32_t bin, double ratio) {
    Block b;
    b.spectrum[bin] = ratio;
    return b;
}

std::uint32_t SendBlock(CBandMapper& m, const Block& b) {
    EXPECT_EQ(m.OnSpectrum(b.spectrum.data(), b.average.data(), kBytes), 1);
    return m.LastReport().mag;
}

TEST(BandMapper, BinOfBandEdges) {
    CBandMapper m(SPECTRUM_BINS);
    EXPECT_EQ(m.BinOf(0), 1u);
    EXPECT_EQ(m.BinOf(43), 1u);
    EXPECT_EQ(m.BinOf(44), 2u);
    EXPECT_EQ(m.BinOf(177), 5u);
    EXPECT_EQ(m.BinOf(23000), 512u);
    EXPECT_EQ(m.BinOf(22050), 512u);
    // The five bands of the main window: 220/43.07 = 5.1 -> 6, 440 -> 10.2 -> 11, ...
    const std::uint32_t edges[][3] = {{220, 6, 0},   {440, 11, 0},    {484, 12, 0},   {2000, 47, 0},
                                      {2030, 48, 0}, {10000, 233, 0}, {10040, 234, 0}};
    for (const auto& e : edges) EXPECT_EQ(m.BinOf(e[0]), e[1]) << e[0];
}

TEST(BandMapper, DisabledMapperDoesNothing) {
    kinetra::test::DebugCapture debug;
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand1);
    EXPECT_EQ(m.Enable(0), 0);  // no channel: the flag comes back
    const Block b = PeakAt(1, 10.0);
    EXPECT_EQ(m.OnSpectrum(b.spectrum.data(), b.average.data(), kBytes), 0);
    EXPECT_EQ(m.LastReport().highestLevel, 0.0);
    EXPECT_EQ(m.Hysteresis(), 0);
    EXPECT_TRUE(debug.Lines().empty());
    EXPECT_EQ(m.Enable(1), 1);
    EXPECT_EQ(m.OnSpectrum(b.spectrum.data(), b.average.data(), kBytes), 1);
}

TEST(BandMapper, ShortOrMissingDataIsRefused) {
    kinetra::test::DebugCapture debug;
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand2);
    const Block b = PeakAt(6, 3.0);
    EXPECT_EQ(m.OnSpectrum(b.spectrum.data(), b.average.data(), 4096), 0);
    EXPECT_EQ(m.OnSpectrum(nullptr, b.average.data(), kBytes), 0);
    EXPECT_EQ(m.OnSpectrum(b.spectrum.data(), nullptr, kBytes), 0);
    EXPECT_EQ(debug.Lines(), std::vector<std::string>(3, "MAPPER: Bad Data\n"));
    EXPECT_EQ(m.Hysteresis(), 0);
    EXPECT_EQ(m.Scale(), 50u);
}

TEST(BandMapper, InvertedBandAndSilenceGiveNothing) {
    CBandMapper inverted(SPECTRUM_BINS);
    Configure(inverted, {500, 100});
    EXPECT_EQ(SendBlock(inverted, PeakAt(5, 100.0)), 0u);
    EXPECT_EQ(inverted.LastReport().peakLevel, 0.0);
    EXPECT_EQ(inverted.LastReport().highestLevel, 0.0);
    EXPECT_EQ(inverted.LastReport().avgLevel, 0.0);
    EXPECT_EQ(inverted.Hysteresis(), 0);

    CBandMapper silent(SPECTRUM_BINS);
    Configure(silent, kBand2);
    Block zero;
    zero.average.assign(SPECTRUM_BINS, 0.0);  // 0 / 0 in every bin
    EXPECT_EQ(SendBlock(silent, zero), 0u);
    EXPECT_EQ(silent.LastReport().peakLevel, 0.0);
    EXPECT_EQ(silent.LastReport().highestLevel, 0.0);
    EXPECT_EQ(silent.Hysteresis(), 0);
}

TEST(BandMapper, RatioOfOneCountsButBelowOneDoesNot) {
    // Spectrum equal to the average: peak 1.0 exactly, mag = 50 * 1 * 1 = 50, a weak block.
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand2);
    Block equal;
    equal.spectrum.assign(SPECTRUM_BINS, 5.0);
    equal.average.assign(SPECTRUM_BINS, 5.0);
    EXPECT_EQ(SendBlock(m, equal), 50u);
    EXPECT_EQ(m.LastReport().peakLevel, 1.0);
    EXPECT_EQ(m.Hysteresis(), -1);

    CBandMapper weak(SPECTRUM_BINS);
    Configure(weak, kBand2);
    Block b;
    b.spectrum.assign(SPECTRUM_BINS, 99.0);
    b.average.assign(SPECTRUM_BINS, 100.0);
    EXPECT_EQ(SendBlock(weak, b), 0u);
    EXPECT_EQ(weak.LastReport().peakLevel, 0.0);
    EXPECT_EQ(weak.Hysteresis(), -1);
}

TEST(BandMapper, ThresholdFollowsTheSliderPosition) {
    CBandMapper m(SPECTRUM_BINS);
    EXPECT_EQ(m.Threshold(), 3000.0);
    m.SetThreshold(14);
    EXPECT_NEAR(m.Threshold(), 7.38905609893065, 1e-13);
    m.SetThreshold(100);
    EXPECT_NEAR(m.Threshold(), 485165195.4097903, 1e-6);
    m.SetThreshold(4);
    EXPECT_EQ(m.Threshold(), 1.0);

    // A band whose loudest bin is not above the threshold sends 0 and keeps its counter.
    m.SetBand(kBand2.low, kBand2.high);
    m.SetThreshold(10);  // e^2 = 7.39
    EXPECT_EQ(SendBlock(m, PeakAt(6, 7.0)), 0u);
    EXPECT_EQ(m.Hysteresis(), 0);
    EXPECT_EQ(SendBlock(m, PeakAt(6, 7.5)), 2812u);  // 50 * 7.5^2 = 2812.5
    EXPECT_EQ(m.Hysteresis(), -1);
}

TEST(BandMapper, LowestBandIsQuantised) {
    // Ratios chosen so that 50 * r^2 lands just above the named value.
    const struct {
        double ratio;
        std::uint32_t rawMag, sent;
    } cases[] = {{4.4725, 1000, 0},  {4.475, 1001, 1000},    {9.9995, 4999, 4000},
                 {10.0, 5000, 5000}, {10.0015, 5001, 10000}, {15.4921, 12000, 10000}};
    for (const auto& c : cases) {
        CBandMapper m(SPECTRUM_BINS);
        Configure(m, kBand1);
        EXPECT_EQ(static_cast<std::uint32_t>(50.0 * c.ratio * c.ratio), c.rawMag);
        EXPECT_EQ(SendBlock(m, PeakAt(3, c.ratio)), c.sent) << c.rawMag;
    }
}

TEST(BandMapper, UpperBandsAreLimited) {
    const struct {
        Band band;
        std::uint32_t bin;
        double ratio;
        std::uint32_t sent;
    } cases[] = {
        {kBand3, 20, 13.7841, 9000},   // 9500 -> 9000
        {kBand2, 6, 13.4, 8978},       // 50 * 179.56 = 8978, unchanged
        {kBand5, 300, 13.7841, 9000},  // 9500 -> 9000
        {kBand5, 512, 15.4921, 9999},  // 12000 -> 9999
        {kBand3, 47, 15.4921, 9000},   // 12000 -> 9000
    };
    for (const auto& c : cases) {
        CBandMapper m(SPECTRUM_BINS);
        Configure(m, c.band);
        EXPECT_EQ(SendBlock(m, PeakAt(c.bin, c.ratio)), c.sent) << c.band.low << " " << c.ratio;
    }
}

TEST(BandMapper, ScaleAdaptsToSaturationAndWeakness) {
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand3);
    const Block saturating = PeakAt(20, 20.0);  // 50 * 400 = 20000 > 5000
    for (int i = 1; i <= 5; ++i) SendBlock(m, saturating);
    EXPECT_EQ(m.Hysteresis(), 15);
    EXPECT_EQ(m.Scale(), 50u);
    SendBlock(m, saturating);
    EXPECT_EQ(m.Hysteresis(), 0);
    EXPECT_EQ(m.Scale(), 40u);

    CBandMapper w(SPECTRUM_BINS);
    Configure(w, kBand3);
    const Block weak = PeakAt(20, 2.0);  // 50 * 4 = 200
    const Block quiet;                   // nothing above the threshold: counter left alone
    for (int i = 1; i <= 7; ++i) {
        SendBlock(w, weak);
        SendBlock(w, quiet);
    }
    EXPECT_EQ(w.Hysteresis(), -7);
    SendBlock(w, weak);
    EXPECT_EQ(w.Hysteresis(), 0);
    EXPECT_EQ(w.Scale(), 60u);
}

TEST(BandMapper, ScaleStopsAtItsCeilingAndItsFloor) {
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand3);
    Block weak = PeakAt(20, 2.0);  // ratio 1 over an average of 2: mag = scale <= 2000
    weak.average[20] = 2.0;
    for (int i = 0; i < 195 * 8; ++i) SendBlock(m, weak);
    EXPECT_EQ(m.Scale(), 2000u);
    EXPECT_EQ(m.Hysteresis(), 0);
    for (int i = 0; i < 8; ++i) SendBlock(m, weak);
    EXPECT_EQ(m.Scale(), 2000u);
    EXPECT_EQ(m.Hysteresis(), 0);

    CBandMapper s(SPECTRUM_BINS);
    Configure(s, kBand3);
    const Block saturating = PeakAt(20, 50.0);
    for (int i = 0; i < 5 * 6; ++i) SendBlock(s, saturating);
    EXPECT_EQ(s.Scale(), 0u);
    // At scale 0 every magnitude is 0, a weak block: the scale climbs again after eight.
    EXPECT_EQ(SendBlock(s, saturating), 0u);
    EXPECT_EQ(s.Hysteresis(), -1);
}

TEST(BandMapper, LevelsAreMeasuredOverTheWholeBand) {
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand2);  // bins 6 .. 11
    Block b;
    b.spectrum[5] = 1000.0;  // outside the band
    b.spectrum[6] = 12.0;    // ratio 12 over average 1
    b.spectrum[11] = 600.0;  // ratio 3 over average 200
    b.average[11] = 200.0;
    b.spectrum[12] = 5000.0;  // outside the band
    m.SetFullReport(true);
    SendBlock(m, b);
    EXPECT_EQ(m.LastReport().firstBin, 6u);
    EXPECT_EQ(m.LastReport().lastBin, 11u);
    EXPECT_EQ(m.LastReport().peakLevel, 12.0);
    EXPECT_EQ(m.LastReport().highestLevel, 600.0);
    EXPECT_DOUBLE_EQ(m.LastReport().avgLevel, 612.0 / 6.0);
}

// The band's bins are worked out when the edges are set: a new band takes effect with the next
// block, and a mapper whose spectrum is shorter than the band stops at its last bin.
TEST(BandMapper, BinsFollowTheLatestBand) {
    CBandMapper m(SPECTRUM_BINS);
    m.SetThreshold(0);
    Block b;
    b.spectrum[3] = 40.0;    // band 1 (bins 1 .. 5)
    b.spectrum[300] = 70.0;  // band 5 (bins 234 .. 512)
    SendBlock(m, b);         // no band set: edges 0 and 0, bin 1 alone
    EXPECT_EQ(m.LastReport().firstBin, 1u);
    EXPECT_EQ(m.LastReport().lastBin, 1u);
    EXPECT_EQ(m.LastReport().highestLevel, 0.0);
    m.SetBand(kBand1.low, kBand1.high);
    SendBlock(m, b);
    EXPECT_EQ(m.LastReport().lastBin, 5u);
    EXPECT_EQ(m.LastReport().highestLevel, 40.0);
    m.SetBand(kBand5.low, kBand5.high);
    SendBlock(m, b);
    EXPECT_EQ(m.LastReport().firstBin, 234u);
    EXPECT_EQ(m.LastReport().lastBin, 512u);
    EXPECT_EQ(m.LastReport().highestLevel, 70.0);

    // 101 bins: width 44100 / 100 / 2 = 220.5 Hz; 10040 Hz -> ceil(45.5) = 46, 23000 Hz -> the
    // last bin, 100.
    CBandMapper shortSpectrum(101);
    shortSpectrum.SetThreshold(0);
    shortSpectrum.SetBand(kBand5.low, kBand5.high);
    SendBlock(shortSpectrum, b);
    EXPECT_EQ(shortSpectrum.LastReport().firstBin, 46u);
    EXPECT_EQ(shortSpectrum.LastReport().lastBin, 100u);
    EXPECT_EQ(shortSpectrum.LastReport().highestLevel, 0.0);  // bin 300 lies beyond its spectrum
}

TEST(BandMapper, InfiniteRatioSaturatesInsteadOfOverflowing) {
    CBandMapper m(SPECTRUM_BINS);
    Configure(m, kBand3);
    Block b = PeakAt(20, 100.0);
    b.average[20] = 0.0;  // 100 / 0
    EXPECT_EQ(SendBlock(m, b), 9000u);
    EXPECT_EQ(m.Hysteresis(), 3);
}

TEST(BandMapper, LowestBandWritesItsDebugLine) {
    kinetra::test::DebugCapture debug;
    CBandMapper low(SPECTRUM_BINS);
    Configure(low, kBand1);
    SendBlock(low, PeakAt(1, 10.0));  // mag 5000, highest 10, average 10 / 5 = 2
    CBandMapper other(SPECTRUM_BINS);
    Configure(other, kBand2);
    SendBlock(other, PeakAt(6, 10.0));
    EXPECT_EQ(debug.Lines(), std::vector<std::string>{
                                 "mag = 5000\tpeakLevel = 10\thighestLevel = 10\tavgLevel = 2\n"});
}

TEST(BandMapper, WithoutAChannelGainFailsAndEnableReturnsTheFlag) {
    CBandMapper m(SPECTRUM_BINS);
    EXPECT_EQ(m.SetGain(5000), 0);
    EXPECT_EQ(m.Enable(0), 0);
    EXPECT_EQ(m.Enable(7), 7);
    EXPECT_EQ(m.SetEffectFrequency(40), 1);
    EXPECT_EQ(m.SetBand(1, 2), 1);
}

}  // namespace

// ---- With a force channel on the built-in virtual device ---------------------------------------

namespace {

const kinetra::force::VirtualEffectSnapshot* OnlyEffect(
    const kinetra::force::VirtualDeviceSnapshot& snapshot) {
    const kinetra::force::VirtualEffectSnapshot* found = nullptr;
    for (const auto& e : snapshot.effects) {
        if (e.created) {
            EXPECT_EQ(found, nullptr) << "more than one effect";
            found = &e;
        }
    }
    return found;
}

TEST(BandMapperWithChannel, DrivesItsEffect) {
    const kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual");
    CBandMapper m(SPECTRUM_BINS);
    ASSERT_EQ(m.AttachEffect(), 1);
    ASSERT_NE(m.Channel(), nullptr);
    EXPECT_EQ(m.AttachEffect(), 0) << "a mapper has one channel";
    Configure(m, kBand2);
    m.SetEffectFrequency(75);

    auto snapshot = kinetra::force::GetVirtualDeviceSnapshot();
    const auto* effect = OnlyEffect(snapshot);
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(effect->playing);
    EXPECT_EQ(effect->magnitude, 0u);
    EXPECT_EQ(effect->periodMs, 0u);  // created before the mapper had its frequency

    SendBlock(m, PeakAt(6, 10.0));  // 50 * 100 = 5000
    snapshot = kinetra::force::GetVirtualDeviceSnapshot();
    effect = OnlyEffect(snapshot);
    EXPECT_EQ(effect->magnitude, 5000u);
    EXPECT_EQ(effect->periodMs, 13u);  // 1000 / 75

    EXPECT_NE(m.SetGain(2500), 0);
    EXPECT_NE(m.Enable(0), 0);
    snapshot = kinetra::force::GetVirtualDeviceSnapshot();
    effect = OnlyEffect(snapshot);
    EXPECT_EQ(effect->gain, 2500u);
    EXPECT_FALSE(effect->playing);
    const auto updates = snapshot.updates;
    EXPECT_EQ(m.OnSpectrum(nullptr, nullptr, 0), 0);  // disabled: nothing at all
    EXPECT_EQ(kinetra::force::GetVirtualDeviceSnapshot().updates, updates);
    EXPECT_NE(m.Enable(1), 0);
    EXPECT_TRUE(OnlyEffect(kinetra::force::GetVirtualDeviceSnapshot())->playing);
}

TEST(BandMapperWithChannel, WithoutAnEffectFrequencyTheEffectStaysSilent) {
    const kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual");
    CBandMapper m(SPECTRUM_BINS);
    ASSERT_EQ(m.AttachEffect(), 1);
    Configure(m, kBand2);
    const auto before = kinetra::force::GetVirtualDeviceSnapshot().updates;
    SendBlock(m, PeakAt(6, 10.0));
    EXPECT_EQ(m.LastReport().mag, 5000u);  // measured and adapted all the same
    const auto snapshot = kinetra::force::GetVirtualDeviceSnapshot();
    EXPECT_EQ(snapshot.updates, before);
    EXPECT_EQ(OnlyEffect(snapshot)->magnitude, 0u);
}

TEST(BandMapperWithChannel, RefusedEffectLeavesNoChannel) {
    const kinetra::test::ScopedEnv device("KINETRA_FORCE_DEVICE", "virtual,effects=0");
    CBandMapper m(SPECTRUM_BINS);
    EXPECT_EQ(m.AttachEffect(), 0);
    EXPECT_EQ(m.Channel(), nullptr);
    Configure(m, kBand3);
    EXPECT_EQ(SendBlock(m, PeakAt(20, 3.0)), 450u);  // still measures: 50 * 9
}

}  // namespace

// ---- The vectorised band loop against the plain one ---------------------------------------------

namespace {

// Measures a band of s over a chosen by draw (1..512 wide, starting at bin 1 or above) with the
// chosen path, every vector path this processor has, and the plain loop; they must agree bit for
// bit.
::testing::AssertionResult RandomBandAgrees(const std::vector<double>& s,
                                            const std::vector<double>& a, std::uint32_t draw) {
    using kinetra::analysis::BandLevels;
    using kinetra::analysis::BandPath;
    const std::uint32_t lo = 1 + draw % 512;
    const std::uint32_t hi = lo + (draw / 512) % (513 - lo);
    const auto plain = kinetra::analysis::MeasureBandPlain(s.data(), a.data(), lo, hi);
    std::vector<std::pair<const char*, BandLevels>> paths;
    paths.emplace_back("chosen", kinetra::analysis::MeasureBand(s.data(), a.data(), lo, hi));
    BandLevels levels;
    if (MeasureBandOnPath(BandPath::kAvx2, s.data(), a.data(), lo, hi, &levels)) {
        paths.emplace_back("AVX2", levels);
    }
    if (MeasureBandOnPath(BandPath::kAvx512, s.data(), a.data(), lo, hi, &levels)) {
        paths.emplace_back("AVX-512", levels);
    }
    for (const auto& [name, fast] : paths) {
        if (fast.peakLevel == plain.peakLevel && fast.highestLevel == plain.highestLevel) continue;
        return ::testing::AssertionFailure()
               << name << ", bins " << lo << ".." << hi << ": peak " << fast.peakLevel
               << " against " << plain.peakLevel << ", highest " << fast.highestLevel << " against "
               << plain.highestLevel;
    }
    return ::testing::AssertionSuccess();
}

TEST(BandLevels, EveryPathAgreesWithThePlainLoop) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> dist(0.0, 1e6);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int round = 0; round < 200; ++round) {
        std::vector<double> s(SPECTRUM_BINS), a(SPECTRUM_BINS);
        for (std::uint32_t i = 0; i < SPECTRUM_BINS; ++i) {
            s[i] = dist(rng);
            a[i] = dist(rng);
            switch (rng() % 16) {
                case 0:
                    s[i] = a[i] = 0.0;
                    break;  // 0 / 0
                case 1:
                    a[i] = 0.0;
                    break;  // a rise over silence
                case 2:
                    s[i] = nan;
                    break;
                default:
                    break;
            }
        }
        ASSERT_TRUE(RandomBandAgrees(s, a, static_cast<std::uint32_t>(rng())));
    }
}

// Every band width from 1 to 40 bins at every start 1..16 (every count of bins left over after the
// whole steps of four and eight), with ratios that rise, fall and tie along the band.
TEST(BandLevels, EveryWidthAndStartAgreesWithThePlainLoop) {
    std::mt19937 rng(5);
    std::vector<double> s(SPECTRUM_BINS), a(SPECTRUM_BINS);
    for (int round = 0; round < 20; ++round) {
        for (std::uint32_t i = 0; i < SPECTRUM_BINS; ++i) {
            a[i] = 1.0 + static_cast<double>(rng() % 1000);
            const double ratio = static_cast<double>(rng() % 7);  // many exact ties
            s[i] = round % 2 == 0 ? a[i] * ratio : a[i] * static_cast<double>(i % 50);
        }
        for (std::uint32_t lo = 1; lo <= 16; ++lo) {
            for (std::uint32_t width = 1; width <= 40; ++width) {
                const std::uint32_t hi = lo + width - 1;
                // draw such that RandomBandAgrees picks lo .. hi
                const std::uint32_t draw = (lo - 1) + 512 * (hi - lo);
                ASSERT_TRUE(RandomBandAgrees(s, a, draw)) << "round " << round;
            }
        }
    }
}

// Bins whose ratio lies within a step of the largest, averages so small or so large that the
// products on the way leave the normal range, negative and infinite values: the vector path
// leaves out divisions only where they cannot matter, so it still agrees bit for bit.
TEST(BandLevels, NearTiesAndExtremeAveragesAgreeWithThePlainLoop) {
    std::mt19937_64 rng(7);
    const double inf = std::numeric_limits<double>::infinity();
    const double extremes[] = {std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::min(),
                               0x1p-1000,
                               0x1p-1010,
                               1e-300,
                               1e300,
                               std::numeric_limits<double>::max(),
                               -3.0,
                               inf,
                               0.0};
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> s(SPECTRUM_BINS), a(SPECTRUM_BINS);
        const double ratio = std::ldexp(1.0 + static_cast<double>(rng() % 1000) / 1000.0,
                                        static_cast<int>(rng() % 200) - 100);
        for (std::uint32_t i = 0; i < SPECTRUM_BINS; ++i) {
            a[i] = std::ldexp(1.0 + static_cast<double>(rng() % 4096) / 4096.0,
                              static_cast<int>(rng() % 120) - 60);
            s[i] = a[i] * ratio;  // rounded: a ratio within a step of `ratio`
            switch (rng() % 8) {
                case 0:
                    s[i] = std::nextafter(s[i], inf);
                    break;
                case 1:
                    s[i] = std::nextafter(s[i], 0.0);
                    break;
                case 2:
                    a[i] = extremes[rng() % 10];
                    break;
                case 3:
                    s[i] = extremes[rng() % 10];
                    break;
                default:
                    break;
            }
        }
        ASSERT_TRUE(RandomBandAgrees(s, a, static_cast<std::uint32_t>(rng()))) << round;
    }
}

}  // namespace
