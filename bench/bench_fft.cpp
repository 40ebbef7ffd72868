// DZFFT1DC side by side with FFTW3 and KissFFT on real input.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <random>
#include <vector>

#include "analysis/spectrum_frame.h"
#include "fft/dzfft1dc.h"

namespace {

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
    }
    kiss_fftr_free(cfg);
}

void BM_SpectrumFrame(benchmark::State& state) {
    CSpectrumFrame frame;
    std::vector<std::int16_t> block(1024);
    std::mt19937 rng(7);
    for (auto& s : block) s = static_cast<std::int16_t>(rng() % 20000 - 10000);
    for (auto _ : state) benchmark::DoNotOptimize(frame.Transform(block.data(), 1024));
}

#define KINETRA_FFT_SIZES ->Arg(64)->Arg(256)->Arg(1024)->Arg(4096)->Arg(65536)->Arg(1 << 20)
BENCHMARK(BM_Dzfft1dc) KINETRA_FFT_SIZES;
BENCHMARK(BM_Fftw) KINETRA_FFT_SIZES;
BENCHMARK(BM_KissFft) KINETRA_FFT_SIZES;
BENCHMARK(BM_SpectrumFrame);

}  // namespace

BENCHMARK_MAIN();
