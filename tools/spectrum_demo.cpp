// Shows the five bands' power, block by block, for a built-in sound: short hits that land in
// each band in turn. A look at what the analysis sees before anything is felt.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "pipeline/band_plan.h"
#include "platform/block_format.h"

namespace {

constexpr double kRate = kinetra::kSampleRate;
constexpr double kBinHz = kRate / kinetra::kBlockFrames;

using kinetra::pipeline::kBandEdges;
using kinetra::pipeline::kBands;

// The frequency of each band's hit.
constexpr double kHitHz[kBands] = {60, 330, 1000, 5000, 14000};

// Half a second per band: a decaying tone burst at the band's hit frequency.
std::vector<std::int16_t> MakeSound() {
    const int perHit = static_cast<int>(kRate / 2);
    std::vector<std::int16_t> samples(kBands * perHit, 0);
    const double twoPi = 8.0 * std::atan(1.0);
    for (int b = 0; b < kBands; ++b) {
        for (int j = 0; j < perHit / 2; ++j) {
            const double t = j / kRate;
            const double v = 12000.0 * std::exp(-t * 12.0) * std::sin(twoPi * kHitHz[b] * t);
            samples[b * perHit + j] = static_cast<std::int16_t>(std::lround(v));
        }
    }
    return samples;
}

}  // namespace

int main() {
    const auto samples = MakeSound();
    CSpectrumFrame frame;
    if (!frame.IsComplete()) {
        std::fprintf(stderr, "kinetra-spectrum: out of memory\n");
        return 1;
    }
    std::printf("Band power (dB of the loudest bin) per 23.2 ms block of a built-in sound\n");
    std::printf("%6s  %-14s%-14s%-14s%-14s%-14s\n", "t (s)", "band 1", "band 2", "band 3", "band 4",
                "band 5");
    for (std::size_t start = 0; start + kinetra::kBlockFrames <= samples.size();
         start += kinetra::kBlockFrames) {
        const double* power = frame.Transform(&samples[start], kinetra::kBlockFrames);
        std::printf("%6.2f  ", start / kRate);
        for (const auto& band : kBandEdges) {
            double highest = 0.0;
            for (std::uint32_t k = 1; k < kinetra::kSpectrumBins; ++k) {
                const double hz = k * kBinHz;
                if (hz >= band.lowHz && hz <= band.highHz && power[k] > highest) highest = power[k];
            }
            const double db = highest > 1.0 ? 10.0 * std::log10(highest) : 0.0;
            char bar[13] = {};
            const int len = static_cast<int>(db / 8.0);
            for (int i = 0; i < 12; ++i) bar[i] = i < len ? '#' : ' ';
            std::printf("%s  ", bar);
        }
        std::printf("\n");
    }
    return 0;
}
