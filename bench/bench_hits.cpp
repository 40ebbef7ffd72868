// Five band mappers over one block, classic rule against hits mode, on the spectra of a music-like
// sound. The figure is what hits mode adds per block for the five bands.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/spectrum_frame.h"
#include "bench/music_sound.h"
#include "bench/ratio_reporter.h"

namespace {

constexpr int kBlocks = 256;
constexpr double kTargetAddedNs = 500.0;
constexpr std::uint32_t kBandEdges[5][2] = {
    {0, 177}, {220, 440}, {484, 2000}, {2030, 10000}, {10040, 23000}};

struct Spectra {
    std::vector<std::vector<double>> spectrum;
    std::vector<std::vector<double>> average;
};

// Spectra and running averages of kBlocks blocks of the music-like sound.
const Spectra& MakeSpectra() {
    static const Spectra spectra = [] {
        Spectra s;
        const std::vector<std::int16_t> sound =
            kinetra::bench::MakeMusic(kBlocks * 1024.0 / kinetra::bench::kMusicRate);
        CSpectrumFrame frame;
        std::vector<double> average(SPECTRUM_BINS, 0.0);
        for (int b = 0; b < kBlocks; ++b) {
            const double* p = frame.Transform(&sound[b * 1024], 1024);
            for (std::uint32_t k = 0; k < SPECTRUM_BINS; ++k) {
                average[k] += (p[k] - average[k]) * 0.02;
            }
            s.spectrum.emplace_back(p, p + SPECTRUM_BINS);
            s.average.push_back(average);
        }
        return s;
    }();
    return spectra;
}

void RunMappers(benchmark::State& state, MapperMode mode) {
    const Spectra& s = MakeSpectra();
    std::vector<std::unique_ptr<CBandMapper>> mappers;
    for (const auto& edges : kBandEdges) {
        mappers.push_back(std::make_unique<CBandMapper>(SPECTRUM_BINS));
        mappers.back()->SetBand(edges[0], edges[1]);
        mappers.back()->SetThreshold(20);
        mappers.back()->SetMode(mode);
    }
    int next = 0;
    for (auto _ : state) {
        for (auto& m : mappers) {
            m->OnSpectrum(s.spectrum[next].data(), s.average[next].data(), SPECTRUM_BINS * 8);
        }
        benchmark::DoNotOptimize(mappers[0]->LastReport().mag);
        next = (next + 1) % kBlocks;
    }
}

void BM_FiveMappers_Classic(benchmark::State& state) {
    RunMappers(state, MapperMode::kClassic);
}

void BM_FiveMappers_Hits(benchmark::State& state) {
    RunMappers(state, MapperMode::kHits);
}

BENCHMARK(BM_FiveMappers_Classic)->Repetitions(5);
BENCHMARK(BM_FiveMappers_Hits)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kinetra::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double classic = reporter.Nanoseconds("BM_FiveMappers_Classic/repeats:5");
    const double hits = reporter.Nanoseconds("BM_FiveMappers_Hits/repeats:5");
    if (classic > 0 && hits > 0) {
        std::printf(
            "\nFive mappers per block: classic %.0f ns, hits %.0f ns, hits adds %.0f ns, ratio "
            "%.2f (target: hits adds <= %.0f ns)\n",
            classic, hits, hits - classic, hits / classic, kTargetAddedNs);
    } else {
        std::printf("Hits mode per block: not measured (target: hits adds <= %.0f ns)\n",
                    kTargetAddedNs);
    }
    benchmark::Shutdown();
    return 0;
}
