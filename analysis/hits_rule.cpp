#include "analysis/hits_rule.h"

#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#define KINETRA_HITS_X86 1
#endif

namespace kinetra::analysis {
namespace {

// Running level of the log energy: follows a 6 dB drop within about a second.
constexpr double kLevelSeconds = 0.5;
// The unit of onset strength: a rise of the band's log energy by half a neper (about 2.2 dB)
// from one block to the next. A fixed unit means the same in every band and at every loudness;
// a unit that followed the band's own mean change (tried) let a band whose energy wobbles
// from block to block (a low bass note whose phase moves against the block) demand ever larger
// rises, and a steady band fire on small ones.
constexpr double kRiseUnit = 0.5;
// A rise from near silence counts as this many nepers at most (about 8.7 dB), so one entry does
// not swamp the magnitude normaliser.
constexpr double kRiseClip = 2.0;
// Energy added to every bin before the logarithm: about 84 dB below the bin of a full-scale sine,
// the noise floor of 16-bit recordings and their codecs. The band's log energy does not dive
// into -infinity in silence, and the stirrings of an all but empty band stay small.
constexpr double kEnergyFloorPerBin = 1.0;
// Weight of one hit in the running mean excess.
constexpr double kExcessWeight = 1.0 / 16.0;
// The running mean excess maps to this share of full strength ...
constexpr double kMeanExcessShare = 0.4;
// ... above the weakest hit's share.
constexpr double kWeakestShare = 0.2;
// After a hit the felt share falls by this factor per block, and stops below the floor: a hit
// of at least 60 % strength is felt for two blocks, a weaker one for one.
constexpr double kDecayPerBlock = 0.2;
constexpr double kFeltFloor = 0.12;
constexpr double kFullMagnitude = 10000.0;
// Onset strength at slider step 0, and its growth per step.
// A first run's sliders (step 4) ask for a rise of one unit (half a neper).
constexpr double kSensitivityAtStep0 = 0.4;
constexpr double kSensitivityPerStep = 0.15;
// The band rests while its log energy is more than this many nepers (about 17 dB) below its
// running level (a fade-out, a pause).
constexpr double kLevelGate = 4.0;
// The running mean excess never goes below this, so one weak hit cannot make the next one full.
constexpr double kExcessFloor = 0.05;
// Of a bin's windowed power, up to this much shows up in the band when the bin lies just outside
// it (a tone between the two bins: about 1 in the nearest bin and 0.04 in the next) ...
constexpr double kSpillNear = 1.04;
// ... and when it lies two bins outside.
constexpr double kSpillNext = 0.04;
// A rise is the band's own when it exceeds half of what the side bins' rise could spill ...
constexpr double kSpillRiseShare = 0.5;
// ... plus this share of what their level, now or one block ago, could: a tone that starts late
// or ends early in a block spreads wider than a steady one.
constexpr double kSpillLevelShare = 0.3;
// A band that starts at or below this bin (86 Hz) measures its rise on the geometric mean of its
// windowed and plain energies. The window weighs the block's middle: a bass attack late in the
// block shows only in part, and its rise is split over two blocks, while the plain energy counts
// every sample alike (but leaks more and swings more with a low note's phase; the windowed
// energy still decides whose rise it is). On music the mean finds more of the bass attacks than
// either energy alone (band 1 F1 0.74 to 0.75 and 0.70 to 0.74 on the two sets of
// bench/hits_figures.py); in the higher bands the windowed energy alone scores as well and keeps
// the bands' firing alike at every slider position.
constexpr std::uint32_t kBassTopBin = 2;
// Farther out, bins 4, 8, 16 and 32 past either edge: a band whose energy stays 30 dB below the
// loudest of them, now or one block ago, is only the skirt of a loud sound nearby.
constexpr double kSkirtShare = 1e-3;
constexpr std::uint32_t kSkirtDistance[] = {4, 8, 16, 32};
// A band of at least this many bins also has a core: its bins without the two next to each edge
// that has a neighbour. A rise of the core counts as the band's own when it exceeds this share of
// what the side bins could spill (rise and level): a tone beside the band leaks some 1e-3 of its
// power two bins in and far less beyond, so a note inside the band is not lost to a loud
// neighbour that holds or rises at the same time.
constexpr std::uint32_t kCoreMinBins = 5;
constexpr double kCoreSpillShare = 0.003;

// A power or a sum of powers as it counts: one that is not a finite non-negative number (a broken
// spectrum) counts as silence.
double AsEnergy(double v) {
    return v >= 0.0 && v < 1e300 ? v : 0.0;
}

// Magnitude of a felt share 0..1, rounded to whole units.
std::uint32_t MagnitudeOfShare(double share) {
    return static_cast<std::uint32_t>(share * kFullMagnitude + 0.5);
}

// The sum and the largest of bins lo .. hi (a bin that is not a number is never the largest).
struct SumAndLargest {
    double sum;
    double largest;
};

SumAndLargest MeasureScalar(const double* s, std::uint32_t lo, std::uint32_t hi) {
    // Four running sums and maxima keep the steps independent.
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    double most[4] = {0.0, 0.0, 0.0, 0.0};
    std::uint32_t i = lo;
    for (; i + 3 <= hi; i += 4) {
        for (int k = 0; k < 4; ++k) {
            sum[k] += s[i + k];
            most[k] = s[i + k] > most[k] ? s[i + k] : most[k];
        }
    }
    for (; i <= hi; ++i) {
        sum[0] += s[i];
        most[0] = s[i] > most[0] ? s[i] : most[0];
    }
    const double most01 = most[0] > most[1] ? most[0] : most[1];
    const double most23 = most[2] > most[3] ? most[2] : most[3];
    return {(sum[0] + sum[1]) + (sum[2] + sum[3]), most01 > most23 ? most01 : most23};
}

#ifdef KINETRA_HITS_X86
__attribute__((target("avx2"))) SumAndLargest MeasureAvx2(const double* s, std::uint32_t lo,
                                                          std::uint32_t hi) {
    __m256d sum0 = _mm256_setzero_pd(), sum1 = _mm256_setzero_pd();
    __m256d most0 = _mm256_setzero_pd(), most1 = _mm256_setzero_pd();
    std::uint32_t i = lo;
    for (; i + 7 <= hi; i += 8) {
        const __m256d a = _mm256_loadu_pd(s + i);
        const __m256d b = _mm256_loadu_pd(s + i + 4);
        sum0 = _mm256_add_pd(sum0, a);
        sum1 = _mm256_add_pd(sum1, b);
        most0 = _mm256_max_pd(a, most0);  // a > most ? a : most
        most1 = _mm256_max_pd(b, most1);
    }
    alignas(32) double sums[4], mosts[4];
    _mm256_store_pd(sums, _mm256_add_pd(sum0, sum1));
    _mm256_store_pd(mosts, _mm256_max_pd(most0, most1));
    SumAndLargest rest = i <= hi ? MeasureScalar(s, i, hi) : SumAndLargest{0.0, 0.0};
    double largest = rest.largest;
    for (double m : mosts) largest = m > largest ? m : largest;
    return {((sums[0] + sums[1]) + (sums[2] + sums[3])) + rest.sum, largest};
}
#endif

SumAndLargest Measure(const double* s, std::uint32_t lo, std::uint32_t hi) {
#ifdef KINETRA_HITS_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return MeasureAvx2(s, lo, hi);
#endif
    return MeasureScalar(s, lo, hi);
}

}  // namespace

double HitsWeightOf(double seconds) {
    return 1.0 - std::exp(-kHitsBlockSeconds / seconds);
}

double HitsSensitivityOf(std::uint32_t step) {
    return kSensitivityAtStep0 + kSensitivityPerStep * static_cast<double>(step);
}

HitsBlock HitsRule::Process(const double* plain, const double* spectrum, std::uint32_t binCount,
                            std::uint32_t lo, std::uint32_t hi, double sensitivity) {
    static const double kLevelWeight = HitsWeightOf(kLevelSeconds);
    static constexpr double kSpill[kSides] = {kSpillNear, kSpillNext, kSpillNear, kSpillNext};

    HitsBlock out;
    const SumAndLargest measured = Measure(spectrum, lo, hi);
    out.energy = measured.sum;
    out.loudest = measured.largest;
    const double energy = AsEnergy(out.energy);
    const double floor = kEnergyFloorPerBin * static_cast<double>(hi - lo + 1);
    double logEnergy = std::log(energy + floor);
    if (lo <= kBassTopBin && plain != spectrum) {
        const double plainEnergy = AsEnergy(Measure(plain, lo, hi).sum);
        logEnergy = 0.5 * (logEnergy + std::log(plainEnergy + floor));
    }

    // The side bins: what a louder neighbour can spill into the band. Bin 0 and bins past the
    // spectrum count as silent.
    const std::uint32_t sideBin[kSides] = {lo - 1, lo - 2, hi + 1, hi + 2};
    double side[kSides];
    for (int k = 0; k < kSides; ++k) {
        const bool inside = sideBin[k] >= 1 && sideBin[k] < binCount;
        const double v = inside ? spectrum[sideBin[k]] : 0.0;
        side[k] = AsEnergy(v);
    }

    if (!m_primed) {
        m_primed = true;
        m_previousLog = logEnergy;
        m_previousEnergy = energy;
        m_level = logEnergy;
        for (int k = 0; k < kSides; ++k) m_sides[0][k] = m_sides[1][k] = side[k];
        return out;
    }

    double spillRise = 0.0;
    double spillLevel = 0.0;
    for (int k = 0; k < kSides; ++k) {
        const double before = m_sides[0][k] < m_sides[1][k] ? m_sides[0][k] : m_sides[1][k];
        spillRise += side[k] > before ? kSpill[k] * (side[k] - before) : 0.0;
        spillLevel += kSpill[k] * (side[k] > m_sides[0][k] ? side[k] : m_sides[0][k]);
        m_sides[1][k] = m_sides[0][k];
        m_sides[0][k] = side[k];
    }
    double skirt = 0.0;
    for (int k = 0; k < kSkirts; ++k) {
        const std::uint32_t distance = kSkirtDistance[k % (kSkirts / 2)];
        const std::uint32_t bin = k < kSkirts / 2 ? lo - distance : hi + distance;
        const double v = bin >= 1 && bin < binCount ? spectrum[bin] : 0.0;
        const double now = AsEnergy(v);
        const double louder = now > m_skirts[k] ? now : m_skirts[k];
        skirt = louder > skirt ? louder : skirt;
        m_skirts[k] = now;
    }
    double core = 0.0;
    if (hi - lo + 1 >= kCoreMinBins) {
        core = energy;
        if (lo >= 2) core -= spectrum[lo] + spectrum[lo + 1];
        if (hi + 1 < binCount) core -= spectrum[hi] + spectrum[hi - 1];
        if (!(core > 0.0)) core = 0.0;  // also a bin that is not a number
    }
    const double coreRise = core - m_previousCore;
    m_previousCore = core;
    const bool ownEdges =
        energy - m_previousEnergy > kSpillRiseShare * spillRise + kSpillLevelShare * spillLevel;
    const bool ownCore = coreRise > 0.0 && coreRise > kCoreSpillShare * (spillRise + spillLevel);
    const bool own =
        (ownEdges || ownCore) && energy >= kHitsAudibleEnergy && energy >= kSkirtShare * skirt;

    const double change = logEnergy - m_previousLog;
    const double clipped =
        change > kRiseClip ? kRiseClip : (change < -kRiseClip ? -kRiseClip : change);
    out.strength = clipped > 0.0 && own ? clipped / kRiseUnit : 0.0;
    const bool aboveLevel = logEnergy >= m_level - kLevelGate;
    out.hit = !m_lastWasHit && !m_hitTwoBlocksAgo && aboveLevel && out.strength > sensitivity;

    m_envelope *= kDecayPerBlock;
    if (out.hit) {
        const double excess = out.strength - sensitivity;
        double share =
            kWeakestShare + (1.0 - kWeakestShare) * kMeanExcessShare * (excess / m_meanExcess);
        if (share > 1.0) share = 1.0;
        if (share > m_envelope) m_envelope = share;
        m_meanExcess += (excess - m_meanExcess) * kExcessWeight;
        if (m_meanExcess < kExcessFloor) m_meanExcess = kExcessFloor;
    }
    if (m_envelope < kFeltFloor) m_envelope = 0.0;
    out.mag = MagnitudeOfShare(m_envelope);

    m_level += (logEnergy - m_level) * kLevelWeight;
    m_previousLog = logEnergy;
    m_previousEnergy = energy;
    m_hitTwoBlocksAgo = m_lastWasHit;
    m_lastWasHit = out.hit;
    return out;
}

}  // namespace kinetra::analysis
