// DZFFT1DC side by side with FFTW3 and KissFFT on real input, then one block through the spectrum
// frame. After the usual output a summary table gives, per length, our time, FFTW's, their ratio
// (ours / FFTW: below 1 means faster than FFTW) and KissFFT's time.
//
// Each benchmark runs several repetitions and the summary uses the fastest repetition's CPU time:
// on a shared machine the minimum is the figure least disturbed by other work.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "fft/dzfft1dc.h"
#include "fft/fft_testing.h"
#include "platform/block_format.h"

namespace {

constexpr int kRepetitions = 5;
const int kSizes[] = {64, 256, 1024, 4096, 65536, 1 << 20};

std::vector<double> Signal(int n) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> x(n);
    for (double& v : x) v = dist(rng);
    return x;
}

void BM_Dzfft1dc(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto x = Signal(n);
    std::vector<double> table(2 * n + 4), data(n + 2);
    DZFFT1DC(data.data(), n, 0, table.data());
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), data.begin());
        DZFFT1DC(data.data(), n, -1, table.data());
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
}

void BM_Fftw(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto x = Signal(n);
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), in);
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}

void BM_KissFft(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto x = Signal(n);
    std::vector<kiss_fft_scalar> in(n);
    std::vector<kiss_fft_cpx> out(n / 2 + 1);
    kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), in.begin());
        kiss_fftr(cfg, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(cfg);
}

void BM_SpectrumFrame(benchmark::State& state) {
    CSpectrumFrame frame;
    std::vector<std::int16_t> block(kinetra::kBlockFrames);
    std::mt19937 rng(7);
    for (auto& s : block) s = static_cast<std::int16_t>(rng() % 20000 - 10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(frame.Transform(block.data(), kinetra::kBlockFrames));
}

double Minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// Per length, ours, FFTW and KissFFT one after another, so that the three figures of a length
// are taken close together in time.
void Register() {
    auto configure = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kNanosecond)
            ->Repetitions(kRepetitions)
            ->ComputeStatistics("min", Minimum)
            ->ReportAggregatesOnly(true);
    };
    for (int n : kSizes) {
        configure(benchmark::RegisterBenchmark("BM_Dzfft1dc", BM_Dzfft1dc)->Arg(n));
        configure(benchmark::RegisterBenchmark("BM_Fftw", BM_Fftw)->Arg(n));
        configure(benchmark::RegisterBenchmark("BM_KissFft", BM_KissFft)->Arg(n));
    }
    configure(benchmark::RegisterBenchmark("BM_SpectrumFrame", BM_SpectrumFrame));
}

// The console output as usual, plus the fastest CPU time of each benchmark and length.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "min") continue;
            const std::string& args = run.run_name.args;
            const long n = args.empty() ? 0 : std::stol(args);
            m_times[run.run_name.function_name][n] = run.GetAdjustedCPUTime();
        }
    }

    void PrintSummary() const {
        auto get = [this](const char* name, long n) {
            const auto family = m_times.find(name);
            if (family == m_times.end()) return -1.0;
            const auto time = family->second.find(n);
            return time == family->second.end() ? -1.0 : time->second;
        };
        std::printf(
            "\nSummary: fastest of %d repetitions, CPU time in ns; ratio = DZFFT1DC / FFTW "
            "(below 1.00: faster than FFTW)\n",
            kRepetitions);
        std::printf("Transform path: %s\n",
                    kinetra::fft::testing::PathName(kinetra::fft::testing::ActivePath()));
        std::printf(
            "KissFFT: Debian ships only its single-precision (float) build, so its column "
            "is for float, not double\n\n");
        std::printf("%10s %14s %14s %8s %16s\n", "n", "DZFFT1DC", "FFTW r2c", "ratio",
                    "KissFFT (float)");
        for (int n : kSizes) {
            const double ours = get("BM_Dzfft1dc", n);
            const double fftw = get("BM_Fftw", n);
            const double kiss = get("BM_KissFft", n);
            if (ours < 0 && fftw < 0 && kiss < 0) continue;
            std::printf("%10d %14.0f %14.0f %8.2f %16.0f\n", n, ours, fftw,
                        (ours > 0 && fftw > 0) ? ours / fftw : 0.0, kiss);
        }
        const double frame = get("BM_SpectrumFrame", 0);
        if (frame > 0) {
            std::printf(
                "\nOne block through CSpectrumFrame (1024 int16 samples to 513 powers): "
                "%.0f ns\n",
                frame);
        }
    }

private:
    std::map<std::string, std::map<long, double>> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    fftw_cleanup();
    return 0;
}
