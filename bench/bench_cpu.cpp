// CPU use of the running program: the real Qt program (build/bench/app/kinetra, offscreen, the
// virtual force device) captures from the monitor of a private PulseAudio null sink while
// generated music-like sound plays into that sink. After start-up has settled, its user and
// system time (/proc/<pid>/stat) is read at the start and at the end of a 60 s window; the
// figure is that CPU time over the window's wall time, in percent of one core. The targets: at
// most 0.6 % of one core with the window shown, 0.3 % with it hidden (minimised: nothing drawn).
//
// Measured for two routes into SDL, as the latency benchmark does: SDL's PulseAudio driver and
// SDL's ALSA driver through ALSA's PulseAudio plugin.
//
// KINETRA_CPU_SECONDS overrides the window (default 60 s). KINETRA_BENCH_APP names another
// program file (default: app/kinetra beside this program's directory).
#include <benchmark/benchmark.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/e2e_figures.h"
#include "bench/music_sound.h"
#include "bench/pulse_server.h"

namespace {

constexpr double kShownTargetPercent = 0.6;
constexpr double kHiddenTargetPercent = 0.3;
constexpr int kSettleMs = 4000;  // start-up left out of the window
constexpr int kDefaultWindowS = 60;

struct CpuFigures {
    bool measured = false;
    std::string error;
    double percent = 0.0;
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
    int captureStreams = 0;
    std::string exitHow;
    std::string busiestThreads;  // "name 0.52%, ..." over the window, busiest first
};
struct Route {
    std::string driver;
    bool hidden = false;
    CpuFigures figures;
};
std::vector<Route> g_routes;

int WindowSeconds() {
    const char* text = std::getenv("KINETRA_CPU_SECONDS");
    if (text != nullptr) {
        const int v = std::atoi(text);
        if (v >= 1 && v <= 3600) return v;
    }
    return kDefaultWindowS;
}

std::string AppPath() {
    const char* text = std::getenv("KINETRA_BENCH_APP");
    if (text != nullptr && *text != '\0') return text;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (self.parent_path().parent_path() / "app" / "kinetra").string();
}

// utime + stime of a process in clock ticks, or -1 when it cannot be read.
long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return -1;
    return kinetra::bench::CpuTicksOfStatLine(line);
}

// CPU ticks of each thread of a process, by thread id, with the thread's name.
std::map<int, std::pair<std::string, long long>> ThreadTicks(pid_t pid) {
    std::map<int, std::pair<std::string, long long>> threads;
    std::error_code ec;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::ifstream in(entry.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        const long long ticks = kinetra::bench::CpuTicksOfStatLine(line);
        if (ticks < 0) continue;
        threads[std::atoi(entry.path().filename().c_str())] = {
            kinetra::bench::CommandOfStatLine(line), ticks};
    }
    return threads;
}

// Clock ticks to seconds.
double TicksToSeconds(long long ticks) {
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Recording streams the sound server has (one per capturing program).
int CaptureStreams() {
    std::FILE* p = popen("pactl list short source-outputs 2>/dev/null", "r");
    if (p == nullptr) return -1;
    int lines = 0;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) ++lines;
    pclose(p);
    return lines;
}

bool Alive(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

// One measurement with SDL's audio driver driver ("pulseaudio": the monitor by name; "alsa":
// ALSA's PulseAudio plugin, whose default capture device is the monitor through PULSE_SOURCE).
void MeasureCpu(const std::string& driver, bool hidden, CpuFigures* figures) {
    CpuFigures& out = *figures;
    const std::string app = AppPath();
    if (app.empty() || access(app.c_str(), X_OK) != 0) {
        out.error = "program not found at '" + app + "'";
        return;
    }
    kinetra::bench::PulseServer server;
    if (!server.Start(&out.error)) return;
    const std::string dir = server.Directory();
    const int window = WindowSeconds();
    const int quitAfterMs = kSettleMs + window * 1000 + 3000;
    const std::string music = dir + "/music.wav";
    if (!kinetra::bench::WriteWav(music, kinetra::bench::MakeMusic(quitAfterMs / 1000.0 + 5.0))) {
        out.error = "cannot write the music file";
        return;
    }
    const pid_t player = kinetra::bench::SpawnChild({"paplay", music}, {}, dir + "/paplay.log");
    std::filesystem::create_directories(dir + "/app-home/.config");
    const pid_t pid = kinetra::bench::SpawnChild(
        {app},
        {"QT_QPA_PLATFORM=offscreen", "KINETRA_FORCE_DEVICE=virtual",
         "KINETRA_AUDIO_INPUT=" + std::string(driver == "alsa" ? "default" : "monitor"),
         "KINETRA_AUDIO_BACKEND=" + std::string(driver == "pulse" ? "pulse" : "sdl"),
         "SDL_AUDIODRIVER=" + std::string(driver == "pulse" ? "pulseaudio" : driver),
         "KINETRA_QUIT_AFTER_MS=" + std::to_string(quitAfterMs), "HOME=" + dir + "/app-home",
         "XDG_CONFIG_HOME=" + dir + "/app-home/.config",
         std::string("KINETRA_MINIMISED=") + (hidden ? "1" : "0")},
        dir + "/kinetra.log");
    if (pid < 0) {
        out.error = "cannot start the program";
        kinetra::bench::EndChild(player);
        return;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    out.captureStreams = CaptureStreams();
    const long long ticks0 = CpuTicks(pid);
    const auto threads0 = ThreadTicks(pid);
    const auto wall0 = std::chrono::steady_clock::now();
    bool alive = ticks0 >= 0 && Alive(pid);
    for (int s = 0; alive && s < window; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        alive = Alive(pid);
    }
    const long long ticks1 = alive ? CpuTicks(pid) : -1;
    const auto threads1 = ThreadTicks(pid);
    const auto wall1 = std::chrono::steady_clock::now();

    if (!alive || ticks1 < 0) {
        out.error = "the program ended early (log: " + dir + "/kinetra.log)";
    } else if (out.captureStreams < 1) {
        out.error = "the program did not capture from the sound server";
    } else {
        out.cpuSeconds = TicksToSeconds(ticks1 - ticks0);
        out.wallSeconds = std::chrono::duration<double>(wall1 - wall0).count();
        out.percent = 100.0 * out.cpuSeconds / out.wallSeconds;
        out.measured = true;
        // Threads that ended within the window are left out; their time is in the total.
        std::vector<std::pair<long long, std::string>> used;
        for (const auto& [tid, now] : threads1) {
            const auto before = threads0.find(tid);
            const long long start = before == threads0.end() ? 0 : before->second.second;
            if (now.second > start) used.emplace_back(now.second - start, now.first);
        }
        std::sort(used.rbegin(), used.rend());
        for (std::size_t i = 0; i < used.size() && i < 4; ++i) {
            char part[96];
            std::snprintf(part, sizeof part, "%s%s %.2f%%", i == 0 ? "" : ", ",
                          used[i].second.c_str(),
                          100.0 * TicksToSeconds(used[i].first) / out.wallSeconds);
            out.busiestThreads += part;
        }
    }
    // It quits by itself (KINETRA_QUIT_AFTER_MS); otherwise it is told to.
    if (kinetra::bench::WaitForChild(pid, quitAfterMs + 10000 - (kSettleMs + window * 1000))) {
        out.exitHow = "quit by itself";
    } else {
        kinetra::bench::EndChild(pid);
        out.exitHow = "stopped with SIGTERM";
    }
    kinetra::bench::EndChild(player);
    if (!out.measured) {
        // Keep the logs for a look: copy them out of the server's directory.
        const std::string keep = "/tmp/kinetra-bench-cpu-kinetra.log";
        std::error_code ignored;
        std::filesystem::copy_file(dir + "/kinetra.log", keep,
                                   std::filesystem::copy_options::overwrite_existing, ignored);
        out.error += "; program log kept in " + keep;
    }
    server.Stop();
}

void BM_ProgramCpu(benchmark::State& state, const char* driver, bool hidden) {
    CpuFigures figures;
    for (auto _ : state) MeasureCpu(driver, hidden, &figures);
    g_routes.push_back({driver, hidden, figures});
    if (!figures.measured) {
        state.SkipWithError(figures.error.c_str());
        return;
    }
    state.counters["cpu_percent"] = figures.percent;
    state.counters["cpu_s"] = figures.cpuSeconds;
    state.counters["window_s"] = figures.wallSeconds;
}
BENCHMARK_CAPTURE(BM_ProgramCpu, pulse_direct, "pulse", false)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ProgramCpu, pulse_direct_hidden, "pulse", true)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ProgramCpu, sdl_pulseaudio, "pulseaudio", false)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ProgramCpu, sdl_alsa, "alsa", false)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The program's debug lines would add work that is not normally there.
    unsetenv("KINETRA_DEBUG");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bool allMeasured = true;
    for (const Route& route : g_routes) {
        const std::string& driver = route.driver;
        const CpuFigures& f = route.figures;
        const char* shown = route.hidden ? "window hidden" : "window shown";
        const double target = route.hidden ? kHiddenTargetPercent : kShownTargetPercent;
        if (f.measured) {
            std::printf(
                "Program CPU use (%s, %s): %.2f%% of one core (%.2f s CPU over %.1f s with music "
                "flowing; %s) (target: <= %.1f%% of one core)\n",
                kinetra::bench::RouteName(driver), shown, f.percent, f.cpuSeconds, f.wallSeconds,
                f.exitHow.c_str(), target);
            if (!f.busiestThreads.empty()) {
                std::printf("  %s: busiest threads: %s\n", kinetra::bench::RouteName(driver),
                            f.busiestThreads.c_str());
            }
        } else {
            std::printf(
                "Program CPU use (%s, %s): not measured (%s) (target: <= %.1f%% of one core)\n",
                kinetra::bench::RouteName(driver), shown, f.error.c_str(), target);
        }
        allMeasured = allMeasured && f.measured;
    }
    return allMeasured ? 0 : 1;
}
