// Hits mode of the band mapper on synthetic spectra whose right answer is known without the
// rule's numbers: a click train fires on each click and rests between; a pulsed tone that steps
// down 6 dB is felt again within a second; bass and treble with the same relative rises fire
// alike whatever their absolute levels; the classic rule is the default and keeps its state.
// On sound through the spectrum frame: a tone burst inside one band's bins fires that band and
// no other; a tone that rises out of near-silence fires none.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/hits_rule.h"
#include "analysis/spectrum_frame.h"

namespace {

constexpr std::uint32_t kBytes = SPECTRUM_BINS * 8;
// Band 1 reads bins 1..5, band 2 bins 6..11, band 5 bins 234..512 (the main window's bands).
constexpr std::uint32_t kBand1Low = 0, kBand1High = 177;
constexpr std::uint32_t kBand2Low = 220, kBand2High = 440;
constexpr std::uint32_t kBand5Low = 10040, kBand5High = 23000;
// Blocks in one second: 44100 / 1024 = 43.07.
constexpr int kBlocksPerSecond = 43;

struct Mapper {
    explicit Mapper(std::uint32_t low, std::uint32_t high, std::uint32_t position = 20) {
        m.SetBand(low, high);
        m.SetThreshold(position);
        m.SetMode(MapperMode::kHits);
    }
    // Sends a spectrum whose bins are all `level` (the average plays no part in hits mode).
    std::uint32_t Send(double level) {
        std::vector<double> s(SPECTRUM_BINS, level);
        return SendSpectrum(s);
    }
    std::uint32_t SendSpectrum(const std::vector<double>& s) {
        EXPECT_EQ(m.OnSpectrum(s.data(), average.data(), kBytes), 1);
        return m.LastReport().mag;
    }
    CBandMapper m{SPECTRUM_BINS};
    std::vector<double> average = std::vector<double>(SPECTRUM_BINS, 1.0);
};

// A hit is a block whose magnitude is non-zero and above the previous block's.
std::vector<int> HitBlocks(const std::vector<std::uint32_t>& mags) {
    std::vector<int> hits;
    for (std::size_t i = 0; i < mags.size(); ++i) {
        if (mags[i] > 0 && (i == 0 || mags[i] > mags[i - 1])) hits.push_back(static_cast<int>(i));
    }
    return hits;
}

TEST(HitsMode, ClickTrainFiresOnEachClickAndRestsBetween) {
    // Silence with a click every 20 blocks (0.46 s), in band 1 and in band 2.
    for (auto band : {std::pair{kBand1Low, kBand1High}, std::pair{kBand2Low, kBand2High}}) {
        Mapper mapper(band.first, band.second);
        std::vector<std::uint32_t> mags;
        std::vector<int> clicks;
        for (int i = 0; i < 400; ++i) {
            const bool click = i % 20 == 10;
            if (click) clicks.push_back(i);
            mags.push_back(mapper.Send(click ? 1e4 : 0.0));
        }
        EXPECT_EQ(HitBlocks(mags), clicks) << band.first;
        for (std::size_t k = 0; k < clicks.size(); ++k) {
            const int c = clicks[k];
            // Equal clicks never grow stronger as the band gets used to them.
            if (k > 0) {
                EXPECT_LE(mags[c], mags[clicks[k - 1]]) << c;
            }
            // A click fades within two blocks and the band rests until the next click.
            EXPECT_LT(mags[c + 1], mags[c]) << c;
            for (int i = c + 2; i < c + 20 && i < 400; ++i) EXPECT_EQ(mags[i], 0u) << i;
        }
        // The first click, out of silence, is the strongest hit there is: full strength, or the
        // band's ceiling (9000 above the lowest band).
        EXPECT_EQ(mags[clicks[0]], band.first == 0 ? 10000u : 9000u);
    }
}

TEST(HitsMode, SteadyToneAndSilenceNeverFire) {
    Mapper tone(kBand1Low, kBand1High);
    Mapper silence(kBand1Low, kBand1High);
    for (int i = 0; i < 10 * kBlocksPerSecond; ++i) {
        ASSERT_EQ(tone.Send(5e5), 0u) << i;
        ASSERT_EQ(silence.Send(0.0), 0u) << i;
    }
}

// A background tone with a 6 dB burst (power x4) in every 15th block; after 10 s everything
// steps down 6 dB (power / 4).
TEST(HitsMode, PulsedToneFeltAgainWithinOneSecondAfterSixDbDrop) {
    Mapper mapper(kBand1Low, kBand1High);
    const int drop = 10 * kBlocksPerSecond;
    std::vector<std::uint32_t> mags;
    for (int i = 0; i < drop + 3 * kBlocksPerSecond; ++i) {
        const double gain = i < drop ? 1.0 : 0.25;
        const double level = (i % 15 == 7 ? 4e6 : 1e6) * gain;
        mags.push_back(mapper.Send(level));
    }
    std::vector<std::uint32_t> before(mags.begin() + drop - 2 * kBlocksPerSecond,
                                      mags.begin() + drop);
    std::vector<std::uint32_t> after(mags.begin() + drop, mags.end());
    EXPECT_FALSE(HitBlocks(before).empty());
    const std::vector<int> hitsAfter = HitBlocks(after);
    ASSERT_FALSE(hitsAfter.empty());
    EXPECT_LT(hitsAfter.front(), kBlocksPerSecond);
    // The step itself is a fall, not an onset: nothing fires on it.
    EXPECT_EQ(after[0], 0u);
}

TEST(HitsMode, BassAndTrebleAtEqualRelativeRisesFireAlike) {
    // Band 1 at a loud level, band 5 30 dB lower, with the same relative fluctuations and the
    // same rises (x3 to x10 in power) at the same blocks.
    Mapper bass(kBand1Low, kBand1High);
    Mapper treble(kBand5Low, kBand5High);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> wobble(0.8, 1.25);
    std::uniform_real_distribution<double> rise(3.0, 10.0);
    std::vector<std::uint32_t> bassMags, trebleMags;
    for (int i = 0; i < 20 * kBlocksPerSecond; ++i) {
        double relative = wobble(random);
        if (i % 11 == 5) relative *= rise(random);
        bassMags.push_back(bass.Send(1e6 * relative));
        trebleMags.push_back(treble.Send(1e3 * relative));
    }
    const std::vector<int> bassHits = HitBlocks(bassMags);
    EXPECT_GE(bassHits.size(), 20u * kBlocksPerSecond / 11 - 2);
    EXPECT_EQ(HitBlocks(trebleMags), bassHits);
    for (std::size_t i = 0; i < bassMags.size(); ++i) {
        // The same strength (the treble nearer the noise floor), within the top band's ceilings
        // (the classic rule's: 10000 is sent as 9999, 9000 to 9999 as 9000).
        const std::uint32_t b = bassMags[i];
        const std::uint32_t expected = b >= 10000 ? 9999 : (b >= 9000 ? 9000 : b);
        EXPECT_NEAR(trebleMags[i], expected, 100.0) << i;  // within 1 % of full strength
    }
}

TEST(HitsMode, HigherSliderFiresLess) {
    // Slider position 0 is the most responsive; position 100 asks for the largest rises.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> level(0.2, 5.0);
    Mapper keen(kBand1Low, kBand1High, 0);
    Mapper middle(kBand1Low, kBand1High, 20);
    Mapper dull(kBand1Low, kBand1High, 100);
    std::vector<std::uint32_t> a, b, c;
    for (int i = 0; i < 2000; ++i) {
        const double x = level(random) * 1e5;
        a.push_back(keen.Send(x));
        b.push_back(middle.Send(x));
        c.push_back(dull.Send(x));
    }
    EXPECT_GT(HitBlocks(a).size(), HitBlocks(b).size());
    EXPECT_GT(HitBlocks(b).size(), HitBlocks(c).size());
}

// The blocks in which each of the five bands (the main window's) sends a magnitude, for 1.5 s of
// white noise at -70 dBFS with a 120 ms tone (10 ms raised-cosine ramps) from 0.7 s on.
std::vector<std::vector<int>> FiringBlocks(double hz, double dbfs) {
    constexpr std::uint32_t kEdges[5][2] = {{kBand1Low, kBand1High},
                                            {kBand2Low, kBand2High},
                                            {484, 2000},
                                            {2030, 10000},
                                            {kBand5Low, kBand5High}};
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 32767.0 * std::pow(10.0, -70.0 / 20.0));
    const int start = 30870, length = 5292, ramp = 441;  // 0.7 s, 120 ms, 10 ms
    std::vector<std::int16_t> sound(64 * 1024);
    for (int n = 0; n < static_cast<int>(sound.size()); ++n) {
        double x = noise(random);
        const int t = n - start;
        if (t >= 0 && t < length) {
            const int edge = std::min(t, length - 1 - t);
            const double gain = edge < ramp ? 0.5 - 0.5 * std::cos(M_PI * edge / ramp) : 1.0;
            x += gain * 32767.0 * std::pow(10.0, dbfs / 20.0) * std::sin(2 * M_PI * hz * n / 44100);
        }
        sound[n] = static_cast<std::int16_t>(std::lround(x));
    }
    CSpectrumFrame frame;
    std::vector<std::unique_ptr<Mapper>> mappers;
    for (const auto& e : kEdges) mappers.push_back(std::make_unique<Mapper>(e[0], e[1]));
    std::vector<std::vector<int>> firing(5);
    for (int b = 0; b < 64; ++b) {
        const double* s = frame.TransformWindowed(&sound[b * 1024], 1024);
        for (int m = 0; m < 5; ++m) {
            mappers[m]->m.OnSpectrum(s, mappers[m]->average.data(), 2 * kBytes);
            if (mappers[m]->m.LastReport().mag > 0) firing[m].push_back(b);
        }
    }
    return firing;
}

TEST(HitsMode, ToneBurstInsideOneBandFiresThatBandOnly) {
    const struct {
        int band;  // 1..5
        double hz, dbfs;
    } cases[] = {{1, 65, -6},    {1, 150, -30},   {2, 258, -6},   {2, 430, -18},
                 {3, 520, -6},   {3, 1900, -30},  {4, 2100, -6},  {4, 9800, -30},
                 {5, 10100, -6}, {5, 18000, -18}, {3, 1000, -12}, {4, 5000, -24}};
    for (const auto& c : cases) {
        const std::vector<std::vector<int>> firing = FiringBlocks(c.hz, c.dbfs);
        for (int m = 0; m < 5; ++m) {
            if (m + 1 != c.band) {
                EXPECT_TRUE(firing[m].empty()) << c.hz << " Hz fired band " << m + 1;
                continue;
            }
            // Within the burst's blocks (30 .. 35) or the next.
            ASSERT_FALSE(firing[m].empty()) << c.hz << " Hz";
            EXPECT_GE(firing[m].front(), 30) << c.hz << " Hz";
            EXPECT_LE(firing[m].back(), 37) << c.hz << " Hz";
        }
    }
}

TEST(HitsMode, ToneRisingOutOfNearSilenceFiresNoBand) {
    // 4 dB above the noise: the band's energy grows 2.5-fold, but it stays all but silent.
    for (const std::vector<int>& band : FiringBlocks(1000, -66)) EXPECT_TRUE(band.empty());
}

TEST(HitsMode, ClassicIsTheDefaultAndKeepsItsStateAcrossHits) {
    CBandMapper plain(SPECTRUM_BINS);
    EXPECT_EQ(plain.Mode(), MapperMode::kClassic);
    // Two classic mappers see the same blocks, one of them with a stretch in hits mode between.
    CBandMapper a(SPECTRUM_BINS), b(SPECTRUM_BINS);
    for (CBandMapper* m : {&a, &b}) {
        m->SetBand(kBand2Low, kBand2High);
        m->SetThreshold(0);
    }
    std::vector<double> average(SPECTRUM_BINS, 1.0);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> level(0.5, 12.0);
    auto block = [&] {
        std::vector<double> s(SPECTRUM_BINS);
        for (double& v : s) v = level(random);
        return s;
    };
    for (int i = 0; i < 300; ++i) {
        const std::vector<double> s = block();
        a.OnSpectrum(s.data(), average.data(), kBytes);
        b.OnSpectrum(s.data(), average.data(), kBytes);
    }
    b.SetMode(MapperMode::kHits);
    for (int i = 0; i < 100; ++i) {
        const std::vector<double> s = block();
        b.OnSpectrum(s.data(), average.data(), kBytes);
    }
    b.SetMode(MapperMode::kClassic);
    for (int i = 0; i < 300; ++i) {
        const std::vector<double> s = block();
        a.OnSpectrum(s.data(), average.data(), kBytes);
        b.OnSpectrum(s.data(), average.data(), kBytes);
        ASSERT_EQ(b.LastReport().mag, a.LastReport().mag) << i;
        ASSERT_EQ(b.Scale(), a.Scale()) << i;
    }
}

}  // namespace
