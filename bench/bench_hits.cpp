// Five band mappers over one block, classic rule against hits mode, on the spectra of a music-like
// sound (with the windowed powers after the plain ones, as the capture engine gives them in hits
// mode). The figures are what hits mode adds per block for the five bands, and what the spectrum
// frame's windowed copy adds to the transform.
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
    std::vector<std::int16_t> sound;
    std::vector<std::vector<double>> spectrum;  // plain, then windowed powers
    std::vector<std::vector<double>> average;
};

// Spectra and running averages of kBlocks blocks of the music-like sound.
const Spectra& MakeSpectra() {
    static const Spectra spectra = [] {
        Spectra s;
        s.sound = kinetra::bench::MakeMusic(kBlocks * 1024.0 / kinetra::bench::kMusicRate);
        CSpectrumFrame frame;
        std::vector<double> average(SPECTRUM_BINS, 0.0);
        for (int b = 0; b < kBlocks; ++b) {
            const double* p = frame.TransformWindowed(&s.sound[b * 1024], 1024);
            for (std::uint32_t k = 0; k < SPECTRUM_BINS; ++k) {
                average[k] += (p[k] - average[k]) * 0.02;
            }
            s.spectrum.emplace_back(p, p + 2 * SPECTRUM_BINS);
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
            m->OnSpectrum(s.spectrum[next].data(), s.average[next].data(), 2 * SPECTRUM_BINS * 8);
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

// The spectrum frame alone, plain powers against plain and windowed ones.
void RunFrame(benchmark::State& state, bool windowed) {
    const Spectra& s = MakeSpectra();
    CSpectrumFrame frame;
    int next = 0;
    for (auto _ : state) {
        const std::int16_t* block = &s.sound[next * 1024];
        benchmark::DoNotOptimize(windowed ? frame.TransformWindowed(block, 1024)
                                          : frame.Transform(block, 1024));
        next = (next + 1) % kBlocks;
    }
}

void BM_Frame_Plain(benchmark::State& state) {
    RunFrame(state, false);
}

void BM_Frame_Windowed(benchmark::State& state) {
    RunFrame(state, true);
}

BENCHMARK(BM_FiveMappers_Classic)->Repetitions(5);
BENCHMARK(BM_FiveMappers_Hits)->Repetitions(5);
BENCHMARK(BM_Frame_Plain)->Repetitions(5);
BENCHMARK(BM_Frame_Windowed)->Repetitions(5);

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
    const double plain = reporter.Nanoseconds("BM_Frame_Plain/repeats:5");
    const double windowed = reporter.Nanoseconds("BM_Frame_Windowed/repeats:5");
    if (plain > 0 && windowed > 0) {
        std::printf(
            "Spectrum frame per block: plain %.0f ns, with the windowed copy %.0f ns "
            "(adds %.0f ns in hits mode)\n",
            plain, windowed, windowed - plain);
    }
    benchmark::Shutdown();
    return 0;
}
