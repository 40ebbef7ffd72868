// The per-block cost of the whole analysis path: one block of 1024 int16 samples arrives in the
// ring, the pump takes it, the spectrum frame transforms it, the average is updated, and five
// band mappers send five effect updates to the virtual force device. Beside it, the same
// pipeline built on FFTW with plainly written band loops.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/spectrum_frame.h"
#include "bench/ratio_reporter.h"
#include "capture/capture_engine.h"
#include "capture/capture_format.h"
#include "capture/memory_source.h"
#include "force/device_choice.h"
#include "force/force_channel.h"
#include "pipeline/band_plan.h"
#include "pipeline/sound_to_force.h"
#include "platform/block_format.h"

namespace {

// The virtual device.
kinetra::force::ForceDeviceChoice VirtualDevice() {
    kinetra::force::ForceDeviceChoice choice;
    std::string error;
    kinetra::force::ParseForceDeviceChoice("virtual", &choice, &error);
    return choice;
}

// Every force channel opened from here on uses the virtual device.
void UseVirtualDevice() {
    kinetra::force::SetForceDeviceChoice(VirtualDevice());
}

constexpr int kBlocks = 64;
constexpr double kRate = kinetra::kSampleRate;
using kinetra::pipeline::kBandEdges;
// The virtual device's product is not in the table: row 0.
const std::uint32_t kEffectHz[5] = {
    kinetra::pipeline::EffectFrequencyFor(0, 1), kinetra::pipeline::EffectFrequencyFor(0, 2),
    kinetra::pipeline::EffectFrequencyFor(0, 3), kinetra::pipeline::EffectFrequencyFor(0, 4),
    kinetra::pipeline::EffectFrequencyFor(0, 5)};

// Quiet noise with hits in every band now and then, so that the mappers have work to do.
std::vector<std::vector<std::int16_t>> MakeBlocks() {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 300.0);
    const double hitHz[5] = {80, 330, 1000, 5000, 14000};
    const double twoPi = 8.0 * std::atan(1.0);
    std::vector<std::vector<std::int16_t>> blocks(kBlocks,
                                                  std::vector<std::int16_t>(kinetra::kBlockFrames));
    for (int b = 0; b < kBlocks; ++b) {
        for (std::uint32_t j = 0; j < kinetra::kBlockFrames; ++j) {
            double v = noise(rng);
            if (b % 8 == 3) v += 8000.0 * std::sin(twoPi * hitHz[(b / 8) % 5] * j / kRate);
            blocks[b][j] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        }
    }
    return blocks;
}

void BM_Pipeline_Kinetra(benchmark::State& state) {
    const auto blocks = MakeBlocks();
    std::string error;
    const auto source = kinetra::capture::MemorySource::Create("bench_pipeline", &error);
    if (source == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    {
        kinetra::pipeline::SoundToForcePipeline chain;
        kinetra::pipeline::StartOptions options;
        options.input = source->Choice();
        options.device = VirtualDevice();
        options.startThread = false;
        if (chain.Start(kinetra::pipeline::PipelineSettings{}, nullptr, options) !=
            kinetra::pipeline::StartResult::kRunning) {
            state.SkipWithError("the pipeline did not start");
        }
        int next = 0;
        for (auto _ : state) {
            source->Push(blocks[next].data(), kinetra::kBlockFrames, 0);
            chain.PumpBlock();
            next = (next + 1) % kBlocks;
        }
        chain.Stop();
    }
}

// The same work written plainly on FFTW: convert, transform, square, average, five band loops
// with the same rules, five effect updates.
struct PlainBand {
    std::uint32_t lo, hi, scale = 50;
    std::int32_t hysteresis = 0;
    double threshold = std::exp(4.0);

    std::uint32_t Map(const double* spectrum, const double* average) {
        double peak = 0.0, highest = 0.0;
        for (std::uint32_t i = lo; i <= hi; ++i) {
            const double ratio = spectrum[i] / average[i];
            if (ratio > peak) peak = ratio;
            if (spectrum[i] > highest) highest = spectrum[i];
        }
        if (peak < 1.0) peak = 0.0;
        if (!(highest > threshold)) return 0;
        std::uint32_t mag = static_cast<std::uint32_t>(std::min(scale * peak * peak, 4e9));
        if (mag > 5000) {
            hysteresis += 3;
            if (lo == 1) mag = 10000;
        } else {
            --hysteresis;
        }
        if (hysteresis > 15 && scale > 0) {
            scale -= 10;
            hysteresis = 0;
        } else if (hysteresis < -7) {
            if (scale < 2000) scale += 10;
            hysteresis = 0;
        }
        if (mag >= 10000 && hi >= 512) return 9999;
        if (mag >= 9000 && lo > 1) return 9000;
        if (lo <= 1) return mag > 5000 ? 10000 : mag > 1000 ? mag / 1000 * 1000 : 0;
        return mag;
    }
};

void BM_Pipeline_Fftw(benchmark::State& state) {
    UseVirtualDevice();
    const auto blocks = MakeBlocks();
    double* in = fftw_alloc_real(kinetra::kBlockFrames);
    fftw_complex* out = fftw_alloc_complex(kinetra::kSpectrumBins);
    fftw_plan plan = fftw_plan_dft_r2c_1d(kinetra::kBlockFrames, in, out, FFTW_MEASURE);
    std::vector<double> spectrum(kinetra::kSpectrumBins), average(kinetra::kSpectrumBins, 0.0);
    std::vector<PlainBand> bands;
    std::vector<std::unique_ptr<CForceChannel>> channels;
    const double binWidth = kRate / (kinetra::kSpectrumBins - 1) * 0.5;
    auto binOf = [&](std::uint32_t hz) {
        return hz < binWidth
                   ? 1u
                   : static_cast<std::uint32_t>(std::ceil(std::min(hz, 22050u) / binWidth));
    };
    for (int k = 0; k < 5; ++k) {
        bands.push_back(PlainBand{binOf(kBandEdges[k].lowHz), binOf(kBandEdges[k].highHz)});
        channels.push_back(std::make_unique<CForceChannel>());
        channels.back()->CreateEffect(0, kEffectHz[k]);
    }
    std::vector<std::int16_t> ring(kinetra::kBlockFrames * 16);
    std::uint32_t offset = 0;
    int next = 0;
    for (auto _ : state) {
        // The arrival of the block, as in the memory ring above.
        std::copy(blocks[next].begin(), blocks[next].end(), ring.begin() + offset);
        const std::int16_t* block = &ring[offset];
        for (std::uint32_t j = 0; j < kinetra::kBlockFrames; ++j) in[j] = block[j];
        fftw_execute(plan);
        for (std::uint32_t k = 0; k < kinetra::kSpectrumBins; ++k) {
            spectrum[k] = (out[k][0] * out[k][0] + out[k][1] * out[k][1]) / 1048576.0;
            average[k] += (spectrum[k] - average[k]) * 0.02;
        }
        for (int b = 0; b < 5; ++b) {
            channels[b]->ChangeParameters(bands[b].Map(spectrum.data(), average.data()),
                                          kEffectHz[b]);
        }
        offset = (offset + kinetra::kBlockFrames) % ring.size();
        next = (next + 1) % kBlocks;
    }
    channels.clear();
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    kinetra::force::ClearForceDeviceChoice();
}

// The parts, to see where a block's time goes.
void BM_Stage_FiveMappers(benchmark::State& state) {
    const auto blocks = MakeBlocks();
    CSpectrumFrame frame;
    std::vector<std::vector<double>> spectra;
    std::vector<double> average(kinetra::kSpectrumBins, 0.0);
    for (const auto& b : blocks) {
        const double* s = frame.Transform(b.data(), kinetra::kBlockFrames);
        spectra.emplace_back(s, s + kinetra::kSpectrumBins);
        for (std::uint32_t k = 0; k < kinetra::kSpectrumBins; ++k)
            average[k] += (s[k] - average[k]) * 0.02;
    }
    std::vector<std::unique_ptr<CBandMapper>> mappers;
    for (int k = 0; k < 5; ++k) {
        mappers.push_back(std::make_unique<CBandMapper>(SPECTRUM_BINS));
        mappers.back()->SetBand(kBandEdges[k].lowHz, kBandEdges[k].highHz);
        mappers.back()->SetThreshold(20);
    }
    int next = 0;
    for (auto _ : state) {
        for (auto& m : mappers) m->OnSpectrum(spectra[next].data(), average.data(), 4104);
        next = (next + 1) % kBlocks;
    }
}

void BM_Stage_SpectrumFrame(benchmark::State& state) {
    const auto blocks = MakeBlocks();
    CSpectrumFrame frame;
    int next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(frame.Transform(blocks[next].data(), 1024));
        next = (next + 1) % kBlocks;
    }
}

// A block through the engine with no listener: its arrival in the ring and the pump, and with the
// spectrum frame also the frame and the running average.
void EngineStage(benchmark::State& state, const char* sourceName, bool withFrame) {
    const auto blocks = MakeBlocks();
    std::string error;
    const auto source = kinetra::capture::MemorySource::Create(sourceName, &error);
    if (source == nullptr) {
        state.SkipWithError(error.c_str());
        return;
    }
    CCaptureEngine engine;
    engine.SetAudioInput(source->Choice());
    engine.Init(nullptr);
    if (!withFrame) engine.DropSpectrumFrameForTesting();
    if (engine.OpenCaptureBuffer(kinetra::capture::kFormat44100Mono16) != 0) {
        state.SkipWithError("the capture ring did not open");
        engine.Shutdown();
        return;
    }
    int next = 0;
    for (auto _ : state) {
        source->Push(blocks[next].data(), kinetra::kBlockFrames, 0);
        engine.PumpBlock();
        next = (next + 1) % kBlocks;
    }
    engine.Shutdown();
}

// Less the spectrum frame, what the engine itself costs per block.
void BM_Stage_RingPumpAverage(benchmark::State& state) {
    EngineStage(state, "bench_pump", true);
}

// The block's arrival in the ring and the pump alone.
void BM_Stage_RingPump(benchmark::State& state) {
    EngineStage(state, "bench_ring_pump", false);
}

void BM_Stage_FiveEffectUpdates(benchmark::State& state) {
    UseVirtualDevice();
    {
        std::vector<std::unique_ptr<CForceChannel>> channels;
        for (int k = 0; k < 5; ++k) {
            channels.push_back(std::make_unique<CForceChannel>());
            channels.back()->CreateEffect(0, kEffectHz[k]);
        }
        std::uint32_t mag = 0;
        for (auto _ : state) {
            for (int k = 0; k < 5; ++k) channels[k]->ChangeParameters(mag, kEffectHz[k]);
            mag = (mag + 1000) % 10000;
        }
    }
    kinetra::force::ClearForceDeviceChoice();
}

// Every benchmark runs kRepetitions short repetitions, interleaved in random order with the
// others' (unless the command line says otherwise), and reports its median and fastest one.
constexpr int kRepetitions = 15;
constexpr double kSecondsPerRepetition = 0.05;

double Minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void Register() {
    const std::pair<const char*, void (*)(benchmark::State&)> benchmarks[] = {
        {"BM_Stage_SpectrumFrame", BM_Stage_SpectrumFrame},
        {"BM_Stage_FiveMappers", BM_Stage_FiveMappers},
        {"BM_Stage_FiveEffectUpdates", BM_Stage_FiveEffectUpdates},
        {"BM_Stage_RingPumpAverage", BM_Stage_RingPumpAverage},
        {"BM_Stage_RingPump", BM_Stage_RingPump},
        {"BM_Pipeline_Kinetra", BM_Pipeline_Kinetra},
        {"BM_Pipeline_Fftw", BM_Pipeline_Fftw}};
    for (const auto& [name, function] : benchmarks) {
        benchmark::RegisterBenchmark(name, function)
            ->MinTime(kSecondsPerRepetition)
            ->Repetitions(kRepetitions)
            ->ComputeStatistics("min", Minimum)
            ->ReportAggregatesOnly(true);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    if (!kinetra::bench::InitializeInterleaved(argc, argv)) return 1;
    kinetra::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.Nanoseconds("BM_Pipeline_Kinetra");
    const double peer = reporter.Nanoseconds("BM_Pipeline_Fftw");
    if (ours > 0 && peer > 0) {
        std::printf(
            "\nPer block, int16 block to five effect updates (median CPU time of %d interleaved "
            "repetitions; fastest in brackets): Kinetra %.0f ns (%.0f), FFTW pipeline %.0f ns "
            "(%.0f), ratio %.2f (target: Kinetra <= 1000 ns)\n",
            kRepetitions, ours, reporter.Fastest("BM_Pipeline_Kinetra"), peer,
            reporter.Fastest("BM_Pipeline_Fftw"), ours / peer);
    }
    const double frame = reporter.Nanoseconds("BM_Stage_SpectrumFrame");
    const double mappers = reporter.Nanoseconds("BM_Stage_FiveMappers");
    const double effects = reporter.Nanoseconds("BM_Stage_FiveEffectUpdates");
    const double engine = reporter.Nanoseconds("BM_Stage_RingPumpAverage");
    if (ours > 0 && frame > 0 && mappers > 0 && effects > 0 && engine > 0) {
        std::printf(
            "Where a block's time goes (medians; fastest in brackets): spectrum frame "
            "(conversion, transform, powers) %.0f ns (%.0f), five mappers %.0f ns (%.0f), five "
            "effect updates %.0f ns (%.0f), ring, pump and average %.0f ns (%.0f; a block through "
            "the engine without listeners, less the spectrum frame), the rest (listener calls) "
            "%.0f ns\n",
            frame, reporter.Fastest("BM_Stage_SpectrumFrame"), mappers,
            reporter.Fastest("BM_Stage_FiveMappers"), effects,
            reporter.Fastest("BM_Stage_FiveEffectUpdates"), engine - frame,
            reporter.Fastest("BM_Stage_RingPumpAverage") -
                reporter.Fastest("BM_Stage_SpectrumFrame"),
            ours - frame - mappers - effects - (engine - frame));
    }
    const double ringPump = reporter.Nanoseconds("BM_Stage_RingPump");
    if (ringPump > 0 && engine > 0 && frame > 0) {
        std::printf(
            "Of the ring, pump and average: the block's arrival and the pump %.0f ns (%.0f; the "
            "engine without a spectrum frame), the running average %.0f ns (the rest)\n",
            ringPump, reporter.Fastest("BM_Stage_RingPump"), engine - frame - ringPump);
    }
    benchmark::Shutdown();
    return 0;
}
