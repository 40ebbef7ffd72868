// The "hits" response of one band: it marks the onsets in the band and rests between them.
//
// Each block the band's energy (the sum of its bins, from the windowed powers when the block has
// them; in a bass band, the geometric mean of the windowed and the plain sums) is taken as a
// natural logarithm. The rise of that log energy over the previous block, in
// half nepers (about 2.2 dB), is the onset strength: it means the same in a five-bin bass band as
// in a 279-bin treble band, and it does not change when the whole band gets louder or quieter. The
// rise counts only when it is the band's own: larger than what the two bins on either side of the
// band could have spilled into it (their rise over the last two blocks, and a share of their level
// now or one block ago) or, in a band of five bins or more, when its core (the band without the two
// bins next to each edge that has a neighbour) rose by more than 0.3 % of that spill; not 30 dB
// below the bins 4 to 32 past its edges (the skirt of a loud sound nearby), and audible (the band's
// energy at least kHitsAudibleEnergy). A loud tone next door or a stir in near-silence is no onset.
// A block is a hit when its strength exceeds the sensitivity, the band is not far (some 17 dB)
// below its own running level, and neither of the last two blocks was a hit (one attack is one
// hit). A hit's magnitude grows with how far its strength passes the sensitivity, measured against
// the running mean of that excess over past hits (a normaliser that settles instead of drifting).
// After a hit the magnitude decays block by block and stops when it falls below a floor.
//
// Everything is decided from the current block and the state left by earlier ones: no look-ahead.
#pragma once

#include <cstdint>

namespace kinetra::analysis {

// Length of one block in seconds: 1024 frames at 44100 Hz.
constexpr double kHitsBlockSeconds = 1024.0 / 44100.0;

// Weight of one block in a running mean with time constant `seconds`.
double HitsWeightOf(double seconds);

// The least energy a band has in a block that counts as an onset: 100 in units of the spectrum
// frame's powers, some 62 dB below the windowed bin of a full-scale sine.
constexpr double kHitsAudibleEnergy = 100.0;

// The onset strength a block must exceed at slider step `step` (level slider position / 5,
// 0..20; 0 is the most responsive). Thread: any.
double HitsSensitivityOf(std::uint32_t step);

// What one block gave.
struct HitsBlock {
    double energy = 0.0;    // sum of the band's bins
    double loudest = 0.0;   // the band's loudest bin
    double strength = 0.0;  // the band's own rise over the previous block, in half nepers
                            // (0 if falling, spilled over from the neighbours or inaudible)
    bool hit = false;       // an onset was marked in this block
    std::uint32_t mag = 0;  // magnitude to send, 0..10000
};

class HitsRule {
public:
    // Thread (all): the capture thread, or any thread while no capture thread runs. Allocates
    // nothing.

    // Forgets every running value, as before the first block.
    void Reset() { *this = HitsRule{}; }

    // Takes bins lo .. hi of one block's plain powers and of its windowed ones (spectrum: the
    // same pointer as plain when the block has no windowed copy), binCount bins each (of the
    // windowed ones also 32 bins on either side of the band, bin 0 left out), and the
    // sensitivity (HitsSensitivityOf). lo <= hi < binCount.
    HitsBlock Process(const double* plain, const double* spectrum, std::uint32_t binCount,
                      std::uint32_t lo, std::uint32_t hi, double sensitivity);

    // Read-only views for tools and tests.
    double Level() const { return m_level; }
    double MeanExcess() const { return m_meanExcess; }

private:
    static constexpr int kSides = 4;   // lo - 1, lo - 2, hi + 1, hi + 2
    static constexpr int kSkirts = 8;  // 4, 8, 16 and 32 bins below lo, then above hi

    bool m_primed = false;
    double m_previousLog = 0.0;      // log energy of the previous block
    double m_previousEnergy = 0.0;   // energy of the previous block
    double m_previousCore = 0.0;     // energy of the band's core in the previous block
    double m_sides[2][kSides] = {};  // the side bins one and two blocks ago
    double m_skirts[kSkirts] = {};   // the skirt bins one block ago
    double m_level = 0.0;            // running mean of the log energy
    double m_meanExcess = 1.0;       // running mean over hits of strength - sensitivity
    double m_envelope = 0.0;         // magnitude share felt now, 0..1
    bool m_lastWasHit = false;
    bool m_hitTwoBlocksAgo = false;
};

}  // namespace kinetra::analysis
