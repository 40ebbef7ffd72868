// How fast kinetra-trace goes through a long sound: ten minutes of generated music-like sound
// (written once to a temporary directory) run through the trace's analysis, its table and its
// picture, each measured in CPU seconds of this process. The figure is seconds of audio per CPU
// second; the target is 2000 times real time for the analysis.
//
// KINETRA_TRACE_SECONDS overrides the length of the sound (default 600).
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/music_sound.h"
#include "capture/audio_input.h"
#include "platform/block_format.h"
#include "tools/trace/trace.h"

namespace {

constexpr double kTargetSpeed = 2000.0;

struct Figures {
    double audioSeconds = 0.0;
    double analysisCpu = -1.0;  // RunTrace: decoding and analysis
    double decodeCpu = -1.0;    // decoding alone
    double csvCpu = -1.0;
    double pngCpu = -1.0;
    std::string error;
};
Figures g_figures;
std::string g_soundPath;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double SoundSeconds() {
    const char* text = std::getenv("KINETRA_TRACE_SECONDS");
    if (text != nullptr) {
        const double v = std::atof(text);
        if (v >= 1.0 && v <= 1200.0) return v;
    }
    return 600.0;
}

void BM_TraceSpeed(benchmark::State& state) {
    for (auto _ : state) {
        kinetra::trace::Trace trace;
        std::string error;
        const kinetra::trace::Settings settings;
        const double d0 = ProcessCpuSeconds();
        std::vector<std::int16_t> samples;
        if (kinetra::capture::DecodeSoundFile(g_soundPath, &samples, &error)) {
            g_figures.decodeCpu = ProcessCpuSeconds() - d0;
        }
        samples = {};
        const double t0 = ProcessCpuSeconds();
        if (!kinetra::trace::RunTrace(g_soundPath, settings, &trace, &error)) {
            g_figures.error = error;
            state.SkipWithError(error.c_str());
            return;
        }
        const double t1 = ProcessCpuSeconds();
        if (!kinetra::trace::WriteCsv(trace, "/dev/null", &error)) {
            g_figures.error = error;
            state.SkipWithError(error.c_str());
            return;
        }
        const double t2 = ProcessCpuSeconds();
        const std::string png = std::filesystem::path(g_soundPath).replace_extension("png");
        const bool pngOk = kinetra::trace::WritePlot(trace, png, &error);
        const double t3 = ProcessCpuSeconds();
        g_figures.audioSeconds =
            static_cast<double>(trace.rows.size()) * kinetra::kBlockFrames / kinetra::kSampleRate;
        g_figures.analysisCpu = t1 - t0;
        g_figures.csvCpu = t2 - t1;
        g_figures.pngCpu = pngOk ? t3 - t2 : -1.0;
        state.counters["audio_s"] = g_figures.audioSeconds;
        state.counters["x_realtime"] = g_figures.audioSeconds / g_figures.analysisCpu;
        state.counters["x_realtime_csv"] =
            g_figures.audioSeconds / (g_figures.analysisCpu + g_figures.csvCpu);
    }
}
BENCHMARK(BM_TraceSpeed)->Iterations(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    // The picture needs a QGuiApplication; no display is wanted.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    char dirTemplate[] = "/tmp/kinetra-bench-trace.XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) {
        std::fprintf(stderr, "bench_trace_speed: cannot create a temporary directory\n");
        return 1;
    }
    const std::string dir = dirTemplate;
    const double seconds = SoundSeconds();
    g_soundPath = dir + "/music.wav";
    if (!kinetra::bench::WriteWav(g_soundPath, kinetra::bench::MakeMusic(seconds))) {
        std::fprintf(stderr, "bench_trace_speed: cannot write %s\n", g_soundPath.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);

    if (g_figures.analysisCpu > 0.0) {
        const double speed = g_figures.audioSeconds / g_figures.analysisCpu;
        const double withCsv = g_figures.audioSeconds / (g_figures.analysisCpu + g_figures.csvCpu);
        std::printf(
            "Trace speed: %.0fx real time (%.1f s of audio in %.3f s CPU: decoding and analysis); "
            "%.0fx with the CSV table (%.3f s CPU)",
            speed, g_figures.audioSeconds, g_figures.analysisCpu, withCsv, g_figures.csvCpu);
        if (g_figures.pngCpu >= 0.0) std::printf("; picture %.3f s CPU", g_figures.pngCpu);
        if (g_figures.decodeCpu >= 0.0 && g_figures.decodeCpu < g_figures.analysisCpu) {
            std::printf(
                "; of the %.3f s, decoding the file alone takes %.3f s (analysis alone: "
                "%.0fx)",
                g_figures.analysisCpu, g_figures.decodeCpu,
                g_figures.audioSeconds / (g_figures.analysisCpu - g_figures.decodeCpu));
        }
        std::printf(" (target: >= %.0fx real time)\n", kTargetSpeed);
    } else if (!g_figures.error.empty() || g_figures.audioSeconds == 0.0) {
        std::printf("Trace speed: not measured (%s) (target: >= %.0fx real time)\n",
                    g_figures.error.empty() ? "benchmark filtered out" : g_figures.error.c_str(),
                    kTargetSpeed);
    }
    return 0;
}
