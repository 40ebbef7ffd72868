// DZFFT1DC side by side with FFTW3 and KissFFT on real input, then one block through the spectrum
// frame. After the usual output a summary table gives, per length, our time on each vector path
// the processor runs, FFTW's, and their ratios (ours / FFTW: below 1 means faster than FFTW).
//
// Every benchmark runs many short repetitions, and Google Benchmark's random interleaving runs
// the repetitions of all benchmarks in one shuffled order, so ours and FFTW's are taken mixed
// together in time. The summary gives two ratios per length: of the fastest repetitions (the
// figure least disturbed by other work on a shared machine) and of the medians (which shows how
// each transform holds up when the machine is loaded).
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "bench/ratio_reporter.h"
#include "fft/dzfft1dc.h"
#include "fft/fft_testing.h"
#include "platform/block_format.h"

namespace {

namespace hooks = kinetra::fft::testing;

constexpr int kRepetitions = 21;
constexpr double kSecondsPerRepetition = 0.04;
// Every power of two from 64 to 2^20.
const std::vector<int> kSizes = [] {
    std::vector<int> sizes;
    for (int n = 64; n <= (1 << 20); n *= 2) sizes.push_back(n);
    return sizes;
}();
// The paths timed, as far as the processor runs them (the scalar one is for reference only).
const hooks::Path kPaths[] = {hooks::Path::kAvx2};

std::vector<double> Signal(int n) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> x(n);
    for (double& v : x) v = dist(rng);
    return x;
}

// A caller's array of `count` doubles starting `offset` doubles past a 64-byte boundary, as
// FFTW's own allocator aligns its arrays (offset 0).
struct CallerArray {
    explicit CallerArray(std::size_t count, std::size_t offset = 0)
        : block(static_cast<double*>(std::aligned_alloc(64, (count + offset + 7) / 8 * 64))),
          data(block + offset) {}
    ~CallerArray() { std::free(block); }
    CallerArray(const CallerArray&) = delete;
    CallerArray& operator=(const CallerArray&) = delete;
    double* block;
    double* data;
};

// Arguments: length, path, and the offset in doubles of the caller's array from a 64-byte
// boundary (0 unless given).
void BM_Dzfft1dc(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    if (!hooks::ForcePath(static_cast<hooks::Path>(state.range(1)))) {
        state.SkipWithError("path not supported");
        return;
    }
    const auto x = Signal(n);
    std::vector<double> table(2 * n + 4);
    CallerArray array(n + 2, state.range(2));
    double* data = array.data;
    DZFFT1DC(data, n, 0, table.data());
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), data);
        DZFFT1DC(data, n, -1, table.data());
        benchmark::DoNotOptimize(data);
        benchmark::ClobberMemory();
    }
    hooks::ResetPath();
}

void BM_Fftw(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto x = Signal(n);
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    // Planned once per length: later repetitions find the measured plan in FFTW's wisdom.
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

void Register() {
    auto configure = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kNanosecond)
            ->MinTime(kSecondsPerRepetition)
            ->Repetitions(kRepetitions)
            ->ComputeStatistics("min", Minimum)
            ->ReportAggregatesOnly(true);
    };
    for (int n : kSizes) {
        for (hooks::Path path : kPaths) {
            if (!hooks::PathSupported(path)) continue;
            configure(benchmark::RegisterBenchmark("BM_Dzfft1dc", BM_Dzfft1dc)
                          ->Args({n, static_cast<int>(path), 0}));
        }
        configure(benchmark::RegisterBenchmark("BM_Fftw", BM_Fftw)->Arg(n));
        configure(benchmark::RegisterBenchmark("BM_KissFft", BM_KissFft)->Arg(n));
    }
    configure(benchmark::RegisterBenchmark("BM_SpectrumFrame", BM_SpectrumFrame));
    // The program's length in an array one double off alignment (a plain malloc's array is
    // 16-byte aligned, so one in two is): see the summary.
    configure(benchmark::RegisterBenchmark("BM_Dzfft1dcOffAlignment", BM_Dzfft1dc)
                  ->Args({1024, static_cast<int>(hooks::ActivePath()), 1}));
}

// The processor's vector-instruction flags (avx*, fma), as /proc/cpuinfo lists them.
std::string VectorFlags() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("flags", 0) != 0) continue;
        std::istringstream words(line.substr(line.find(':') + 1));
        std::set<std::string> flags;
        for (std::string word; words >> word;) {
            if (word.rfind("avx", 0) == 0 || word == "fma") flags.insert(word);
        }
        std::string joined;
        for (const std::string& flag : flags) joined += (joined.empty() ? "" : " ") + flag;
        return joined;
    }
    return "(unknown)";
}

// The console output as usual, plus the fastest and the median CPU time of each benchmark.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate) continue;
            const bool fastest = run.aggregate_name == "min";
            if (!fastest && run.aggregate_name != "median") continue;
            Key key{run.run_name.function_name, 0, -1};
            std::istringstream args(run.run_name.args);
            std::string part;
            if (std::getline(args, part, '/')) key.n = std::stol(part);
            if (std::getline(args, part, '/')) key.path = std::stoi(part);
            (fastest ? m_fastest : m_median)[key] = run.GetAdjustedCPUTime();
        }
    }

    void PrintSummary() const {
        std::printf(
            "\nSummary: CPU time in ns, fastest and median of %d interleaved repetitions; "
            "ratio = DZFFT1DC / FFTW (below 1.00: faster than FFTW)\n",
            kRepetitions);
        std::printf("Processor flags: %s\n", VectorFlags().c_str());
        std::printf("Path chosen by the program: %s\n", hooks::PathName(hooks::ActivePath()));
        std::printf(
            "KissFFT: Debian ships only its single-precision (float) build, so its column "
            "is for float, not double\n");
        for (hooks::Path path : kPaths) {
            if (!hooks::PathSupported(path)) {
                std::printf("\n%s path: not run, this processor lacks it\n", hooks::PathName(path));
                continue;
            }
            std::printf("\n%s path\n", hooks::PathName(path));
            std::printf("%9s %11s %11s %11s %11s %8s %8s %14s\n", "n", "ours fast", "FFTW fast",
                        "ours med", "FFTW med", "r fast", "r med", "KissFFT (med)");
            for (int n : kSizes) {
                const int p = static_cast<int>(path);
                const double ours = Get(m_fastest, "BM_Dzfft1dc", n, p);
                const double fftw = Get(m_fastest, "BM_Fftw", n, -1);
                const double oursMed = Get(m_median, "BM_Dzfft1dc", n, p);
                const double fftwMed = Get(m_median, "BM_Fftw", n, -1);
                const double kiss = Get(m_median, "BM_KissFft", n, -1);
                if (ours < 0 && fftw < 0) continue;
                std::printf("%9d %11.0f %11.0f %11.0f %11.0f %8.2f %8.2f %14.0f\n", n, ours, fftw,
                            oursMed, fftwMed, Ratio(ours, fftw), Ratio(oursMed, fftwMed), kiss);
            }
        }
        const double off =
            Get(m_fastest, "BM_Dzfft1dcOffAlignment", 1024, static_cast<int>(hooks::ActivePath()));
        if (off > 0) {
            std::printf(
                "\n1024 points in a caller's array 8 bytes off a 32-byte boundary (%s path): %.0f "
                "ns fastest, %.0f ns median\n",
                hooks::PathName(hooks::ActivePath()), off,
                Get(m_median, "BM_Dzfft1dcOffAlignment", 1024,
                    static_cast<int>(hooks::ActivePath())));
        }
        const double frame = Get(m_fastest, "BM_SpectrumFrame", 0, -1);
        if (frame > 0) {
            std::printf(
                "\nOne block through CSpectrumFrame (1024 int16 samples to 513 powers): "
                "%.0f ns fastest, %.0f ns median\n",
                frame, Get(m_median, "BM_SpectrumFrame", 0, -1));
        }
    }

private:
    struct Key {
        std::string name;
        long n;
        int path;
        bool operator<(const Key& other) const {
            if (name != other.name) return name < other.name;
            if (n != other.n) return n < other.n;
            return path < other.path;
        }
    };
    using Times = std::map<Key, double>;

    static double Get(const Times& times, const char* name, long n, int path) {
        const auto it = times.find(Key{name, n, path});
        return it == times.end() ? -1.0 : it->second;
    }
    static double Ratio(double ours, double theirs) {
        return (ours > 0 && theirs > 0) ? ours / theirs : 0.0;
    }

    Times m_fastest;
    Times m_median;
};

}  // namespace

int main(int argc, char** argv) {
    Register();
    if (!kinetra::bench::InitializeInterleaved(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    fftw_cleanup();
    return 0;
}
