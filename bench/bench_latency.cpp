// Sound-to-force latency through a real sound server: clicks are played into a null sink of a
// private PulseAudio server, captured from the sink's monitor through the SDL capture backend,
// pumped by the capture engine's own thread through the spectrum frame and the five band
// mappers (the window's band edges and the virtual mouse's frequencies), and timed at the
// virtual force device's update that carries the click.
//
// Timing. All times are CLOCK_MONOTONIC (std::chrono::steady_clock), the clock PulseAudio's
// timing also runs on.
//  - A click's reference time is the moment the sink plays its first sample. A player thread
//    keeps a playback stream (40 ms target latency) fed in chunks of 256 frames. Right after
//    the chunk holding a click has been written, it asks the stream for its latency, which is
//    how long until the last frame written so far is played (queued data plus the sink's own
//    latency, from the server's timing reports, interpolated). The click plays that latency
//    minus the frames that follow it in the chunk after the write returned.
//  - The force time is taken by the virtual device's call hook at the start of the update call,
//    on the capture thread. A listener registered after the five mappers looks, once per block,
//    for the first mapper (in band order) whose block set a non-zero magnitude, and keeps the
//    time of that mapper's update in this block.
// Each click is a single full-scale sample: it lies wholly in one block, its spectrum is flat,
// so it passes every band's threshold, and the silence after it fires nothing, so each click
// gives exactly one firing block. Clicks come 300 to 600 ms apart at random (fixed seed), so
// they land at random points of the capture blocks; the first 30 clicks only let the running
// average and the mappers' scales settle and are not counted.
//
// Two routes into SDL are measured, each with a server of its own: SDL's PulseAudio driver
// capturing from the monitor by name (KINETRA_AUDIO_INPUT=monitor), and SDL's ALSA driver through
// ALSA's PulseAudio plugin, whose default capture device is the server's PULSE_SOURCE (the
// monitor). A route that leaves more than a tenth of the clicks without a firing block within
// 250 ms gets no latency figure (its matches could be chance); the first and the last delay of
// clicks and firing blocks taken in order then show how far behind that route falls.
//
// The null sink's monitor receives a sample when the sink renders it, which is when the sink
// counts it as played: the figure holds no output-device delay.
//
// KINETRA_LATENCY_CLICKS overrides the number of counted clicks (default 200).
#include <benchmark/benchmark.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/band_mapper.h"
#include "bench/e2e_figures.h"
#include "bench/pulse_server.h"
#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "force/device_choice.h"
#include "force/virtual_device.h"
#include "pipeline/sound_to_force.h"
#include "platform/block_format.h"

namespace {

using kinetra::bench::ClickMatch;
using kinetra::bench::FireEvent;
using kinetra::bench::FramesToNs;
using kinetra::bench::MatchClicks;
using kinetra::bench::NearestRank;
using kinetra::bench::NsToMs;
using kinetra::force::VirtualCall;

constexpr double kTargetMedianMs = 25.0;
constexpr double kTargetP95Ms = 40.0;
constexpr int kDefaultClicks = 200;
constexpr int kWarmUpClicks = 30;
constexpr int kRate = kinetra::kSampleRate;
constexpr int kChunkFrames = 256;
constexpr std::uint32_t kTargetLatencyBytes = kRate * 2 * 40 / 1000;  // 40 ms of 16-bit mono
constexpr std::int16_t kClickLevel = 30000;
constexpr int kMinGapMs = 300;
constexpr int kMaxGapMs = 600;
constexpr int kLevelPosition = 20;  // threshold e^4
// A firing block is taken for a click from this long before its reference time (to show a
// reference that is late) to this long after it.
constexpr std::int64_t kMatchBeforeNs = 30'000'000;
constexpr std::int64_t kMatchAfterNs = 250'000'000;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// --- force side: the virtual device's call hook and the per-block probe ---

std::array<std::atomic<std::int64_t>, kinetra::force::kVirtualEffectSlots> g_lastUpdateNs{};

void OnDeviceCall(void*, VirtualCall call, int slot) {
    if (call == VirtualCall::Update && slot >= 0 && slot < kinetra::force::kVirtualEffectSlots) {
        g_lastUpdateNs[static_cast<std::size_t>(slot)].store(NowNs(), std::memory_order_relaxed);
    }
}

constexpr int kBands = kinetra::pipeline::kBands;

// The five lowest slots free in before: the ones the bands' effects get, in band order (the device
// gives each new effect its lowest free slot and the bands are created 1 to 5).
bool FreeSlots(const kinetra::force::VirtualDeviceSnapshot& before, int* slots) {
    int found = 0;
    for (int i = 0; i < kinetra::force::kVirtualEffectSlots && found < kBands; ++i) {
        if (!before.effects[i].created) slots[found++] = i;
    }
    return found == kBands;
}

// True when every one of slots holds an effect now.
bool SlotsCreated(const int* slots) {
    const kinetra::force::VirtualDeviceSnapshot now = kinetra::force::GetVirtualDeviceSnapshot();
    for (int k = 0; k < kBands; ++k) {
        if (!now.effects[slots[k]].created) return false;
    }
    return true;
}

// Registered after the five mappers: notes each block in which a mapper set a magnitude.
class FireProbe final : public CSpectrumListener {
public:
    // The mappers are the pipeline's, read with each block (they exist before its capture
    // thread starts and change only after it has stopped).
    FireProbe(const kinetra::pipeline::SoundToForcePipeline* chain, const int* effectSlots)
        : m_chain(chain) {
        for (int k = 0; k < kBands; ++k) m_slots[k] = effectSlots[k];
    }

    // Thread: capture thread. Allocates nothing.
    int OnSpectrum(const double*, const double*, std::uint32_t) override {
        for (int k = 0; k < kBands; ++k) {
            const CBandMapper* mapper = m_chain->Mapper(k + 1);
            if (mapper == nullptr || mapper->LastReport().mag == 0) continue;
            const std::int64_t t = g_lastUpdateNs[static_cast<std::size_t>(m_slots[k])].load(
                std::memory_order_relaxed);
            // Only an update made for this block counts.
            if (t > m_lastBlockNs && m_count < m_events.size()) m_events[m_count++] = {t, k + 1};
            break;
        }
        m_lastBlockNs = NowNs();
        if (m_blocks == 0) m_firstBlockNs = m_lastBlockNs;
        ++m_blocks;
        return 1;
    }

    // Blocks analysed, and blocks the sound between the first and the last of them held.
    // Thread: any, once the capture thread has been joined.
    std::int64_t BlocksAnalysed() const { return m_blocks; }
    std::int64_t BlocksPassed() const {
        return m_blocks == 0
                   ? 0
                   : 1 + (m_lastBlockNs - m_firstBlockNs) / FramesToNs(kinetra::kBlockFrames);
    }

    // Thread: any, once the capture thread has been joined.
    std::vector<FireEvent> Events() const {
        return std::vector<FireEvent>(m_events.begin(), m_events.begin() + m_count);
    }

private:
    const kinetra::pipeline::SoundToForcePipeline* m_chain;
    int m_slots[kBands] = {};
    std::array<FireEvent, 4096> m_events{};
    std::size_t m_count = 0;
    std::int64_t m_lastBlockNs = 0;
    std::int64_t m_firstBlockNs = 0;
    std::int64_t m_blocks = 0;
};

// --- sound side: the click player ---

struct PlayResult {
    std::vector<std::int64_t> clickNs;  // reference time of each click, in order
    std::string error;
};

// Plays silence with count clicks in it through the default sink (PULSE_SINK) and notes when
// each click's first sample is played. Thread: its own; ends on its own (a fixed amount of sound).
void PlayClicks(int count, PlayResult* result) {
    const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = kTargetLatencyBytes;
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = kChunkFrames * 2;
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int err = 0;
    pa_simple* stream = pa_simple_new(nullptr, "kinetra-bench-latency", PA_STREAM_PLAYBACK, nullptr,
                                      "clicks", &sampleSpec, nullptr, &attr, &err);
    if (stream == nullptr) {
        result->error = std::string("cannot open a playback stream: ") + pa_strerror(err);
        return;
    }
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> gapMs(kMinGapMs, kMaxGapMs);
    std::uniform_int_distribution<int> phase(0, kChunkFrames - 1);
    std::int64_t pos = 0;                                // frames written so far
    std::int64_t nextClick = kRate + phase(rng);         // one second of silence first
    const std::int64_t tail = kRate * kMaxGapMs / 1000;  // silence after the last click
    std::int64_t end = -1;
    std::int16_t chunk[kChunkFrames];
    result->clickNs.reserve(static_cast<std::size_t>(count));
    while (end < 0 || pos < end) {
        std::memset(chunk, 0, sizeof chunk);
        std::int64_t clickAt = -1;
        if (end < 0 && nextClick >= pos && nextClick < pos + kChunkFrames) {
            clickAt = nextClick;
            chunk[nextClick - pos] = kClickLevel;
        }
        if (pa_simple_write(stream, chunk, sizeof chunk, &err) < 0) {
            result->error = std::string("cannot play: ") + pa_strerror(err);
            break;
        }
        pos += kChunkFrames;
        if (clickAt >= 0) {
            const std::int64_t written = NowNs();
            const pa_usec_t latency = pa_simple_get_latency(stream, &err);
            if (latency == static_cast<pa_usec_t>(-1)) {
                result->error = std::string("no stream latency: ") + pa_strerror(err);
                break;
            }
            result->clickNs.push_back(written + static_cast<std::int64_t>(latency) * 1000 -
                                      FramesToNs(pos - clickAt));
            if (static_cast<int>(result->clickNs.size()) == count) {
                end = pos + tail;
            } else {
                nextClick = pos + kRate * gapMs(rng) / 1000 + phase(rng) - kChunkFrames;
            }
        }
    }
    if (result->error.empty()) pa_simple_drain(stream, &err);
    pa_simple_free(stream);
}

// --- the run ---

struct LatencyFigures {
    bool measured = false;
    std::string error;
    std::vector<double> latenciesMs;  // sorted
    int missed = 0;
    std::int64_t blocksAnalysed = 0;
    std::int64_t blocksPassed = 0;
    // The k-th firing block against the k-th click, whatever their distance: the first and
    // the last such delay show a capture path that falls further and further behind.
    int inOrderPairs = 0;
    double firstInOrderMs = 0.0;
    double lastInOrderMs = 0.0;
};
// Figures of the routes measured so far, in the order they ran.
std::vector<std::pair<std::string, LatencyFigures>> g_routes;

int ClickCount() {
    const char* text = std::getenv("KINETRA_LATENCY_CLICKS");
    if (text != nullptr) {
        const int v = std::atoi(text);
        if (v >= 1 && v <= 2000) return v;
    }
    return kDefaultClicks;
}

// One whole measurement: server, capture chain, player, with SDL's audio driver driver:
// "pulseaudio" captures from the monitor by its name (KINETRA_AUDIO_INPUT=monitor); "alsa" goes
// through ALSA's PulseAudio plugin, whose default capture device is the server's PULSE_SOURCE,
// the monitor.
void MeasureLatency(const std::string& driver, LatencyFigures* figures) {
    LatencyFigures& out = *figures;
    kinetra::bench::PulseServer server;
    if (!server.Start(&out.error)) return;
    // "pulse" is the program's own route where a server answers: the direct PulseAudio backend.
    setenv("SDL_AUDIODRIVER", driver == "pulse" ? "pulseaudio" : driver.c_str(), 1);
    kinetra::pipeline::StartOptions options;
    kinetra::capture::AudioInputChoice input;
    kinetra::force::ForceDeviceChoice device;
    if (!kinetra::capture::ParseAudioInputChoice(driver == "alsa" ? "default" : "monitor",
                                                 driver == "pulse" ? "pulse" : "sdl", &input,
                                                 &out.error) ||
        !kinetra::force::ParseForceDeviceChoice("virtual", &device, &out.error)) {
        return;
    }
    options.input = input;
    options.device = device;
    for (auto& t : g_lastUpdateNs) t.store(0);
    kinetra::force::SetVirtualDeviceCallHook(&OnDeviceCall, nullptr);

    {
        kinetra::pipeline::SoundToForcePipeline chain;
        kinetra::pipeline::PipelineSettings settings;
        for (int& level : settings.level) level = kLevelPosition;
        settings.strength = 0;  // gain 10000
        int effectSlots[kBands] = {};
        const bool slotsFree = FreeSlots(kinetra::force::GetVirtualDeviceSnapshot(), effectSlots);
        FireProbe probe(&chain, effectSlots);
        options.observer = &probe;
        const kinetra::pipeline::StartResult started = chain.Start(settings, nullptr, options);
        bool ready = chain.Engine().HasDevice();
        if (!ready) {
            out.error = "the capture engine could not open the sink's monitor";
        } else if (started == kinetra::pipeline::StartResult::kNoDevice ||
                   started == kinetra::pipeline::StartResult::kBandMissing ||
                   chain.Mapper(kBands) == nullptr || !slotsFree || !SlotsCreated(effectSlots)) {
            out.error = "the virtual force device refused an effect";
            ready = false;
        } else if (started == kinetra::pipeline::StartResult::kNoCaptureBuffer) {
            out.error = "the capture engine could not open its ring";
            ready = false;
        } else if (started == kinetra::pipeline::StartResult::kNoCaptureThread) {
            out.error = "the capture thread did not start";
            ready = false;
        }
        PlayResult played;
        if (ready) {
            std::thread player(PlayClicks, kWarmUpClicks + ClickCount(), &played);
            player.join();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (!chain.Stop()) out.error = "the capture thread did not stop";
            if (!played.error.empty()) out.error = played.error;
        }
        chain.Stop();
        if (ready && out.error.empty()) {
            if (const char* dump = std::getenv("KINETRA_LATENCY_DUMP")) {
                // Every click and firing block, for a closer look.
                const std::string path = std::string(dump) + "." + driver;
                if (std::FILE* f = std::fopen(path.c_str(), "w")) {
                    for (std::int64_t c : played.clickNs)
                        std::fprintf(f, "click %lld\n", static_cast<long long>(c));
                    for (const FireEvent& e : probe.Events())
                        std::fprintf(f, "fire %lld %d\n", static_cast<long long>(e.ns), e.band);
                    std::fclose(f);
                }
            }
            const ClickMatch match = MatchClicks(played.clickNs, probe.Events(), kWarmUpClicks,
                                                 kMatchBeforeNs, kMatchAfterNs);
            out.latenciesMs = match.latenciesMs;
            out.missed = match.missed;
            out.inOrderPairs = match.inOrderPairs;
            out.firstInOrderMs = match.firstInOrderMs;
            out.lastInOrderMs = match.lastInOrderMs;
            out.blocksAnalysed = probe.BlocksAnalysed();
            out.blocksPassed = probe.BlocksPassed();
            out.measured = true;
        }
    }
    kinetra::force::SetVirtualDeviceCallHook(nullptr, nullptr);
    server.Stop();
}

void BM_SoundToForceLatency(benchmark::State& state, const char* driver) {
    LatencyFigures figures;
    for (auto _ : state) MeasureLatency(driver, &figures);
    g_routes.emplace_back(driver, figures);
    if (!figures.measured) {
        state.SkipWithError(figures.error.c_str());
        return;
    }
    state.counters["median_ms"] = NearestRank(figures.latenciesMs, 0.5);
    state.counters["p95_ms"] = NearestRank(figures.latenciesMs, 0.95);
    state.counters["clicks"] = static_cast<double>(figures.latenciesMs.size());
    state.counters["missed"] = figures.missed;
}
BENCHMARK_CAPTURE(BM_SoundToForceLatency, pulse_direct, "pulse")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SoundToForceLatency, sdl_pulseaudio, "pulseaudio")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SoundToForceLatency, sdl_alsa, "alsa")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// The figure lines of one route.
void PrintRoute(const std::string& driver, const LatencyFigures& f) {
    const int counted = static_cast<int>(f.latenciesMs.size()) + f.missed;
    // With more than a tenth of the clicks unmatched, matches may be chance: no figure then.
    const bool reliable = f.measured && !f.latenciesMs.empty() && f.missed * 10 <= counted;
    if (reliable) {
        std::printf(
            "Sound-to-force latency (%s): median %.1f ms, p95 %.1f ms over %zu clicks (min "
            "%.1f, max %.1f ms) (target: median <= %.0f ms, p95 <= %.0f ms)\n",
            kinetra::bench::RouteName(driver), NearestRank(f.latenciesMs, 0.5),
            NearestRank(f.latenciesMs, 0.95), f.latenciesMs.size(), f.latenciesMs.front(),
            f.latenciesMs.back(), kTargetMedianMs, kTargetP95Ms);
    } else if (f.measured) {
        std::printf(
            "Sound-to-force latency (%s): not measurable, %d of %d clicks reached no force "
            "update within %.0f ms; taken in order, the first firing block came %.0f ms after "
            "the first click and firing block %d came %.0f ms after click %d (target: median "
            "<= %.0f ms, p95 <= %.0f ms)\n",
            kinetra::bench::RouteName(driver), f.missed, counted, NsToMs(kMatchAfterNs),
            f.firstInOrderMs, f.inOrderPairs, f.lastInOrderMs, f.inOrderPairs, kTargetMedianMs,
            kTargetP95Ms);
    } else {
        std::printf(
            "Sound-to-force latency (%s): not measured (%s) (target: median <= %.0f ms, p95 "
            "<= %.0f ms)\n",
            kinetra::bench::RouteName(driver), f.error.empty() ? "no result" : f.error.c_str(),
            kTargetMedianMs, kTargetP95Ms);
        return;
    }
    std::printf(
        "  %s: clicks without a force update within %.0f ms: %d of %d (target: 0); blocks "
        "analysed: %lld of %lld the sound held (target: all)\n",
        kinetra::bench::RouteName(driver), NsToMs(kMatchAfterNs), f.missed, counted,
        static_cast<long long>(f.blocksAnalysed), static_cast<long long>(f.blocksPassed));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bool allMeasured = true;
    for (const auto& [driver, figures] : g_routes) {
        PrintRoute(driver, figures);
        allMeasured = allMeasured && figures.measured;
    }
    return allMeasured ? 0 : 1;
}
