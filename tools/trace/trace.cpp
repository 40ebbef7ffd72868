#include "tools/trace/trace.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include "analysis/band_mapper.h"
#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "capture/memory_source.h"
#include "force/backends/rumble_backend.h"
#include "force/device_choice.h"
#include "force/force_devices.h"
#include "force/virtual_device.h"
#include "pipeline/band_plan.h"
#include "pipeline/slider_rules.h"
#include "pipeline/sound_to_force.h"
#include "platform/block_format.h"

namespace kinetra::trace {
namespace {

constexpr double kRate = kinetra::kSampleRate;
using kinetra::kBlockFrames;

// Reads every mapper's report after the five mappers have seen a block.
class Recorder final : public CSpectrumListener {
public:
    Recorder(const pipeline::SoundToForcePipeline* chain, const std::uint32_t* effectHz,
             Trace* trace)
        : m_chain(chain), m_effectHz(effectHz), m_trace(trace) {}

    // Live: rows get the time since start and stop at the reserved count, so that the capture
    // thread never allocates here. Before the capture thread starts.
    void StartLive(std::size_t rows) {
        m_rows.reserve(rows);
        m_live = true;
        m_virtual = force::CurrentForceDeviceStatus().kind == force::ForceDeviceKind::kVirtual;
        m_start = std::chrono::steady_clock::now();
    }

    int OnSpectrum(const double*, const double*, std::uint32_t) override {
        if (m_live && m_rows.size() == m_rows.capacity()) return 1;
        BlockRow row;
        if (m_live) {
            row.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        }
        for (int b = 0; b < kBands; ++b) {
            const CBandMapper* m = m_chain->Mapper(b + 1);
            BandRow& out = row.band[b];
            out.enabled = !m_trace->settings.disabled[b];
            if (!out.enabled) continue;
            const CBandMapper::BlockReport& r = m->LastReport();
            out.highestLevel = r.highestLevel;
            out.meanLevel = r.avgLevel;
            out.peakLevel = r.peakLevel;
            out.scale = m->Scale();
            out.magnitude = r.mag;
            out.periodMs = m_effectHz[b] != 0 ? 1000 / m_effectHz[b] : 0;
        }
        if (m_trace->rumble) Motors(&row);
        m_rows.push_back(row);
        return 1;
    }

    std::vector<BlockRow>& Rows() { return m_rows; }

private:
    // The motors: what the virtual device holds, or on hardware what the library's rule gives.
    void Motors(BlockRow* row) const {
        if (force::CurrentForceDeviceState() == force::ForceDeviceState::kNone) return;
        if (m_live ? m_virtual
                   : force::CurrentForceDeviceStatus().kind == force::ForceDeviceKind::kVirtual) {
            const force::VirtualDeviceSnapshot s = force::GetVirtualDeviceSnapshot();
            row->lowMotor = s.rumbleLow;
            row->highMotor = s.rumbleHigh;
            return;
        }
        force::RumbleInput inputs[kBands];
        for (int b = 0; b < kBands; ++b) {
            const BandRow& band = row->band[b];
            inputs[b] = {band.enabled && m_chain->Mapper(b + 1) != nullptr, band.magnitude,
                         m_trace->gain, band.periodMs};
        }
        const force::MotorLevels levels = force::CombineRumble(inputs, kBands);
        row->lowMotor = levels.low;
        row->highMotor = levels.high;
    }

    const pipeline::SoundToForcePipeline* m_chain;
    const std::uint32_t* m_effectHz;
    Trace* m_trace;
    std::vector<BlockRow> m_rows;
    bool m_live = false;
    bool m_virtual = false;
    std::chrono::steady_clock::time_point m_start;
};

// The engine reports a failed open through its owner; the trace keeps the text.
class ErrorKeeper final : public capture::CaptureErrorReporter {
public:
    void ReportFatalError(const char* text, const char*, int) override { message = text; }
    std::string message;
};

}  // namespace

std::string MoveLevelSlider(Settings* s, int band, int position) {
    using pipeline::ClampSliderPosition;
    if (band < 1 || band > kBands) return "there are five level sliders";
    if (band == 1) {
        const int delta = position - s->level[0];
        s->level[0] = ClampSliderPosition(position);
        if (s->locked) {
            for (int b = 1; b < kBands; ++b) {
                s->level[b] = pipeline::FollowLockedLevel(s->level[b], delta);
            }
        }
        return {};
    }
    if (s->locked) {
        return "--level" + std::to_string(band) +
               " needs --free: while Locked, sliders 2 to 5 follow slider 1";
    }
    s->level[band - 1] = ClampSliderPosition(position);
    return {};
}

namespace {

// The chain a trace runs: the pipeline on the virtual (or chosen) force device with the
// recorder after the five mappers, for input.
class TraceChain {
public:
    TraceChain(const Settings& settings, Trace* trace)
        : m_recorder(&m_chain, trace->effectHz, trace) {
        trace->settings = settings;
        trace->gain = pipeline::GainForStrength(settings.strength);
        const int row = pipeline::ProductIndexForName(settings.product.c_str());
        for (int b = 0; b < kBands; ++b) {
            trace->threshold[b] =
                pipeline::ThresholdForLevel(static_cast<std::uint32_t>(settings.level[b]));
            trace->effectHz[b] = pipeline::EffectFrequencyFor(row, b + 1);
        }
    }
    // The chain comes down before the recorder goes, on every way out.
    ~TraceChain() { m_chain.Stop(); }

    // Starts the chain on input, without its capture thread. False with a reason.
    bool Start(const Settings& settings, const capture::AudioInputChoice& input, Trace* trace,
               std::string* error);

    pipeline::SoundToForcePipeline& Chain() { return m_chain; }
    Recorder& Rows() { return m_recorder; }

private:
    pipeline::SoundToForcePipeline m_chain;
    Recorder m_recorder;
};

bool TraceChain::Start(const Settings& settings, const capture::AudioInputChoice& input,
                       Trace* trace, std::string* error) {
    pipeline::StartOptions options;
    force::ForceDeviceChoice device;
    const std::string deviceText =
        settings.forceDevice.empty() ? "virtual:" + settings.product : settings.forceDevice;
    if (!force::ParseForceDeviceChoice(deviceText, &device, error)) return false;
    options.device = device;
    options.input = input;

    pipeline::SoundToForcePipeline& chain = m_chain;
    pipeline::PipelineSettings chainSettings;
    for (int b = 0; b < kBands; ++b) {
        chainSettings.level[b] = settings.level[b];
        chainSettings.disabled[b] = settings.disabled[b];
    }
    chainSettings.strength = settings.strength;
    options.startThread = false;  // a live run starts it once the recorder is ready
    options.fullReports = true;
    options.observer = &m_recorder;
    ErrorKeeper errors;
    capture::ClearAudioInputProblems();
    const pipeline::StartResult started = chain.Start(chainSettings, &errors, options);
    if (!errors.message.empty()) {
        const std::string problem = capture::LastAudioInputProblem();
        *error = problem.empty() ? errors.message : problem;
        return false;
    }
    if (started == pipeline::StartResult::kNoDevice && !settings.forceDevice.empty()) {
        const std::string problem = force::LastForceDeviceProblem();
        *error = problem.empty() ? "no force device (" + settings.forceDevice + ")" : problem;
        return false;
    }
    if (started == pipeline::StartResult::kNoDevice ||
        started == pipeline::StartResult::kBandMissing || chain.Mapper(kBands) == nullptr) {
        *error = "the virtual force device refused an effect";
        return false;
    }
    trace->rumble = force::CurrentForceDeviceStatus().twoMotors;
    if (started != pipeline::StartResult::kRunning) {
        *error = "the capture engine could not open its ring";
        return false;
    }

    for (int b = 1; b <= kBands; ++b) {
        if (chain.Mapper(b) != nullptr) chain.Mapper(b)->SetMode(settings.mode);
    }
    return true;
}

}  // namespace

bool RunTrace(const std::string& file, const Settings& settings, Trace* trace, std::string* error,
              Progress progress, void* progressContext) {
    std::vector<std::int16_t> samples;
    if (!capture::DecodeSoundFile(file, &samples, error)) return false;

    const std::size_t total = samples.size();
    const auto first = static_cast<std::size_t>(std::max(0.0, settings.startSeconds) * kRate);
    std::size_t end = total;
    if (settings.endSeconds >= 0) {
        end = std::min(total, static_cast<std::size_t>(settings.endSeconds * kRate));
    }
    if (first >= end || end - first < kBlockFrames) {
        *error = "the time range holds less than one block (23.2 ms) of sound";
        return false;
    }

    *trace = Trace{};
    trace->file = file;
    // Each run feeds its own source, so that runs on several threads do not meet.
    static std::atomic<unsigned> s_runs{0};
    const std::unique_ptr<capture::MemorySource> source =
        capture::MemorySource::Create("trace-" + std::to_string(++s_runs), error);
    if (source == nullptr) return false;
    TraceChain traceChain(settings, trace);
    if (!traceChain.Start(settings, source->Choice(), trace, error)) return false;
    pipeline::SoundToForcePipeline& chain = traceChain.Chain();
    Recorder& recorder = traceChain.Rows();

    const std::size_t blocks = (end - first) / kBlockFrames;
    recorder.Rows().reserve(blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        // The block is taken before the next one is pushed: nothing is dropped.
        if (source->Push(&samples[first + i * kBlockFrames], kBlockFrames, 0) != capture::kOk) {
            *error = "the capture engine did not take a block";
            return false;
        }
        chain.PumpBlock();
        if (progress != nullptr && (i % 256 == 0 || i + 1 == blocks)) {
            progress(static_cast<double>(i + 1) / static_cast<double>(blocks), progressContext);
        }
    }

    trace->rows = std::move(recorder.Rows());
    for (std::size_t i = 0; i < trace->rows.size(); ++i) {
        trace->rows[i].seconds = static_cast<double>(first + (i + 1) * kBlockFrames) / kRate;
    }
    chain.Stop();
    return true;
}

bool RunLiveTrace(const std::string& input, double seconds, const Settings& settings, Trace* trace,
                  std::string* error, Progress progress, void* progressContext) {
    const char* backend = std::getenv("KINETRA_AUDIO_BACKEND");
    capture::AudioInputChoice choice;
    if (!capture::ParseAudioInputChoice(input, backend != nullptr ? backend : "", &choice, error)) {
        return false;
    }
    if (choice.kind == capture::AudioInputKind::kFile) {
        *error = "a sound file is traced as kinetra-trace SOUNDFILE, not with --input";
        return false;
    }
    *trace = Trace{};
    trace->file = input;
    TraceChain traceChain(settings, trace);
    if (!traceChain.Start(settings, choice, trace, error)) return false;
    // Room for every block of the run and then some: the capture thread never allocates here.
    traceChain.Rows().StartLive(static_cast<std::size_t>(seconds * kRate / kBlockFrames) + 64);
    if (!traceChain.Chain().Engine().StartThread()) {
        *error = "the capture thread could not be started";
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto length = std::chrono::duration<double>(seconds);
    for (;;) {
        const auto done = std::chrono::steady_clock::now() - start;
        if (progress != nullptr) {
            progress(std::min(1.0, std::chrono::duration<double>(done) / length), progressContext);
        }
        if (done >= length) break;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(100),
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(length - done)));
    }
    traceChain.Chain().Stop();
    trace->rows = std::move(traceChain.Rows().Rows());
    if (trace->rows.empty()) {
        char text[96];
        std::snprintf(text, sizeof text, "no block of sound came from the input in %g s", seconds);
        *error = text;
        return false;
    }
    return true;
}

namespace {

// Appends a number in the shortest text that reads back as the same value.
template <class Number>
void AppendNumber(std::string& line, Number value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    line.append(text, result.ptr);
}

}  // namespace

bool WriteCsv(const Trace& trace, const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    std::string line = "time_s";
    for (int b = 1; b <= kBands; ++b) {
        const std::string band = "band" + std::to_string(b);
        for (const char* column :
             {"_highest", "_mean", "_peak_ratio", "_scale", "_magnitude", "_period_ms"}) {
            line += "," + band + column;
        }
    }
    if (trace.rumble) line += ",low_motor,high_motor";
    // The last column names the mappers' mode in its heading and in every row.
    const std::string mode = MapperModeName(trace.settings.mode);
    line += ",mode=" + mode + "\n";
    std::fputs(line.c_str(), f);
    for (const BlockRow& row : trace.rows) {
        line.clear();
        char time[32];
        std::snprintf(time, sizeof time, "%.6f", row.seconds);
        line += time;
        for (const BandRow& band : row.band) {
            if (!band.enabled) {
                line += ",,,,,,";
                continue;
            }
            line += ',';
            AppendNumber(line, band.highestLevel);
            line += ',';
            AppendNumber(line, band.meanLevel);
            line += ',';
            AppendNumber(line, band.peakLevel);
            line += ',';
            AppendNumber(line, band.scale);
            line += ',';
            AppendNumber(line, band.magnitude);
            line += ',';
            AppendNumber(line, band.periodMs);
        }
        if (trace.rumble) {
            line += ',';
            AppendNumber(line, row.lowMotor);
            line += ',';
            AppendNumber(line, row.highMotor);
        }
        line += ',' + mode;
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), f);
    }
    const bool ok = std::fflush(f) == 0 && std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

std::string Summary(const Trace& trace) {
    std::ostringstream out;
    const double seconds = static_cast<double>(trace.rows.size()) * kBlockFrames / kRate;
    char line[200];
    std::snprintf(line, sizeof line, "%zu blocks (%.1f s)\n", trace.rows.size(), seconds);
    out << line;
    out << "band  range (Hz)     fired  of blocks  mean magnitude  peak magnitude\n";
    for (int b = 0; b < kBands; ++b) {
        if (trace.settings.disabled[b]) {
            std::snprintf(line, sizeof line, "%4d  %5u-%-5u   disabled\n", b + 1,
                          pipeline::kBandEdges[b].lowHz, pipeline::kBandEdges[b].highHz);
            out << line;
            continue;
        }
        std::size_t fired = 0;
        double sum = 0.0;
        std::uint32_t peak = 0;
        for (const BlockRow& row : trace.rows) {
            const std::uint32_t mag = row.band[b].magnitude;
            if (mag == 0) continue;
            ++fired;
            sum += mag;
            peak = std::max(peak, mag);
        }
        const double share = trace.rows.empty() ? 0.0 : 100.0 * fired / trace.rows.size();
        std::snprintf(line, sizeof line, "%4d  %5u-%-5u  %6zu  %8.1f%%  %14.0f  %14u\n", b + 1,
                      pipeline::kBandEdges[b].lowHz, pipeline::kBandEdges[b].highHz, fired, share,
                      fired ? sum / fired : 0.0, peak);
        out << line;
    }
    return out.str();
}

}  // namespace kinetra::trace
