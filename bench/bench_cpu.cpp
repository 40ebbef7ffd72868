// CPU use of the running program: the real Qt program (build/bench/app/kinetra, offscreen, the
// virtual force device) captures from the monitor of a private PulseAudio null sink while
// generated music-like sound plays into that sink. After start-up has settled, its user and
// system time (/proc/<pid>/stat) is read at the start and at the end of a 60 s window; the
// figure is that CPU time over the window's wall time, in percent of one core. On the program's
// own route two copies run at once, side by side, one with its window shown and one with it
// hidden (minimised: nothing drawn), so that both see the same machine load; the targets: at
// most 0.6 % of one core shown, 0.3 % hidden.
//
// Measured for two routes into SDL, as the latency benchmark does: SDL's PulseAudio driver and
// SDL's ALSA driver through ALSA's PulseAudio plugin (window shown).
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

// The busiest threads of a process over the window, from the thread ticks at its start and end:
// "name 0.52%, ..." (at most four). Threads that ended within the window are left out; their
// time is in the total.
std::string BusiestThreads(const std::map<int, std::pair<std::string, long long>>& before,
                           const std::map<int, std::pair<std::string, long long>>& after,
                           double wallSeconds) {
    std::vector<std::pair<long long, std::string>> used;
    for (const auto& [tid, now] : after) {
        const auto start = before.find(tid);
        const long long from = start == before.end() ? 0 : start->second.second;
        if (now.second > from) used.emplace_back(now.second - from, now.first);
    }
    std::sort(used.rbegin(), used.rend());
    std::string text;
    for (std::size_t i = 0; i < used.size() && i < 4; ++i) {
        char part[96];
        std::snprintf(part, sizeof part, "%s%s %.2f%%", i == 0 ? "" : ", ", used[i].second.c_str(),
                      100.0 * TicksToSeconds(used[i].first) / wallSeconds);
        text += part;
    }
    return text;
}

// One measurement with SDL's audio driver driver ("pulseaudio": the monitor by name; "alsa":
// ALSA's PulseAudio plugin, whose default capture device is the monitor through PULSE_SOURCE)
// or the program's own route ("pulse"): a copy of the program for each entry of hidden, all at
// once on one server, each with its own home; figures[i] is the copy of hidden[i].
void MeasureCpu(const std::string& driver, const std::vector<bool>& hidden,
                std::vector<CpuFigures>* figures) {
    figures->assign(hidden.size(), CpuFigures{});
    auto failAll = [&](const std::string& error) {
        for (CpuFigures& f : *figures) f.error = error;
    };
    const std::string app = AppPath();
    if (app.empty() || access(app.c_str(), X_OK) != 0) {
        failAll("program not found at '" + app + "'");
        return;
    }
    kinetra::bench::PulseServer server;
    std::string error;
    if (!server.Start(&error)) {
        failAll(error);
        return;
    }
    const std::string dir = server.Directory();
    const int window = WindowSeconds();
    const int quitAfterMs = kSettleMs + window * 1000 + 3000;
    const std::string music = dir + "/music.wav";
    if (!kinetra::bench::WriteWav(music, kinetra::bench::MakeMusic(quitAfterMs / 1000.0 + 5.0))) {
        failAll("cannot write the music file");
        return;
    }
    const pid_t player = kinetra::bench::SpawnChild({"paplay", music}, {}, dir + "/paplay.log");
    std::vector<pid_t> pids;
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        const std::string home = dir + "/app-home-" + std::to_string(i);
        std::filesystem::create_directories(home + "/.config");
        pids.push_back(kinetra::bench::SpawnChild(
            {app},
            {"QT_QPA_PLATFORM=offscreen", "KINETRA_FORCE_DEVICE=virtual",
             "KINETRA_AUDIO_INPUT=" + std::string(driver == "alsa" ? "default" : "monitor"),
             "KINETRA_AUDIO_BACKEND=" + std::string(driver == "pulse" ? "pulse" : "sdl"),
             "SDL_AUDIODRIVER=" + std::string(driver == "pulse" ? "pulseaudio" : driver),
             "KINETRA_QUIT_AFTER_MS=" + std::to_string(quitAfterMs), "HOME=" + home,
             "XDG_CONFIG_HOME=" + home + "/.config",
             std::string("KINETRA_MINIMISED=") + (hidden[i] ? "1" : "0")},
            dir + "/kinetra-" + std::to_string(i) + ".log"));
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    const int streams = CaptureStreams();
    std::vector<long long> ticks0;
    std::vector<std::map<int, std::pair<std::string, long long>>> threads0;
    for (const pid_t pid : pids) {
        ticks0.push_back(pid < 0 ? -1 : CpuTicks(pid));
        threads0.push_back(pid < 0 ? decltype(threads0)::value_type{} : ThreadTicks(pid));
    }
    const auto wall0 = std::chrono::steady_clock::now();
    auto allAlive = [&] {
        for (std::size_t i = 0; i < pids.size(); ++i) {
            if (pids[i] < 0 || ticks0[i] < 0 || !Alive(pids[i])) return false;
        }
        return true;
    };
    bool alive = allAlive();
    for (int s = 0; alive && s < window; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        alive = allAlive();
    }
    std::vector<long long> ticks1;
    std::vector<std::map<int, std::pair<std::string, long long>>> threads1;
    for (const pid_t pid : pids) {
        ticks1.push_back(alive ? CpuTicks(pid) : -1);
        threads1.push_back(alive ? ThreadTicks(pid) : decltype(threads1)::value_type{});
    }
    const auto wall1 = std::chrono::steady_clock::now();
    const double wallSeconds = std::chrono::duration<double>(wall1 - wall0).count();

    for (std::size_t i = 0; i < pids.size(); ++i) {
        CpuFigures& out = (*figures)[i];
        out.captureStreams = streams;
        const std::string log = dir + "/kinetra-" + std::to_string(i) + ".log";
        if (pids[i] < 0) {
            out.error = "cannot start the program";
        } else if (!alive || ticks1[i] < 0) {
            out.error = "a program ended early";
        } else if (streams < static_cast<int>(pids.size())) {
            out.error = "the program did not capture from the sound server";
        } else {
            out.cpuSeconds = TicksToSeconds(ticks1[i] - ticks0[i]);
            out.wallSeconds = wallSeconds;
            out.percent = 100.0 * out.cpuSeconds / out.wallSeconds;
            out.measured = true;
            out.busiestThreads = BusiestThreads(threads0[i], threads1[i], wallSeconds);
        }
        // It quits by itself (KINETRA_QUIT_AFTER_MS); otherwise it is told to.
        if (pids[i] >= 0 && kinetra::bench::WaitForChild(
                                pids[i], quitAfterMs + 10000 - (kSettleMs + window * 1000))) {
            out.exitHow = "quit by itself";
        } else if (pids[i] >= 0) {
            kinetra::bench::EndChild(pids[i]);
            out.exitHow = "stopped with SIGTERM";
        }
        if (!out.measured) {
            // Keep the log for a look: copy it out of the server's directory.
            const std::string keep = "/tmp/kinetra-bench-cpu-kinetra-" + std::to_string(i) + ".log";
            std::error_code ignored;
            std::filesystem::copy_file(log, keep, std::filesystem::copy_options::overwrite_existing,
                                       ignored);
            out.error += "; program log kept in " + keep;
        }
    }
    kinetra::bench::EndChild(player);
    server.Stop();
}

// hidden: the copies to run at once (window shown or hidden each).
void BM_ProgramCpu(benchmark::State& state, const char* driver, std::vector<bool> hidden) {
    std::vector<CpuFigures> figures;
    for (auto _ : state) MeasureCpu(driver, hidden, &figures);
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        g_routes.push_back({driver, hidden[i], figures[i]});
        if (!figures[i].measured) {
            state.SkipWithError(figures[i].error.c_str());
            return;
        }
        const std::string which = hidden.size() == 1 ? "" : hidden[i] ? "_hidden" : "_shown";
        state.counters["cpu_percent" + which] = figures[i].percent;
        state.counters["cpu_s" + which] = figures[i].cpuSeconds;
    }
    state.counters["window_s"] = figures.empty() ? 0.0 : figures[0].wallSeconds;
}
BENCHMARK_CAPTURE(BM_ProgramCpu, pulse_direct, "pulse", {false, true})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ProgramCpu, sdl_pulseaudio, "pulseaudio", {false})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ProgramCpu, sdl_alsa, "alsa", {false})
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
    // The program's route, shown and hidden side by side (measured at the same time).
    const Route* shown = nullptr;
    const Route* hidden = nullptr;
    for (const Route& route : g_routes) {
        if (route.driver != "pulse" || !route.figures.measured) continue;
        (route.hidden ? hidden : shown) = &route;
    }
    if (shown != nullptr && hidden != nullptr) {
        std::printf(
            "Program CPU use (%s), shown | hidden: %.2f%% | %.2f%% of one core, measured together "
            "(target: <= %.1f%% | <= %.1f%% of one core)\n",
            kinetra::bench::RouteName("pulse"), shown->figures.percent, hidden->figures.percent,
            kShownTargetPercent, kHiddenTargetPercent);
    }
    return allMeasured ? 0 : 1;
}
