#include "window/feel_bands.h"

#include "pipeline/sound_to_force.h"

namespace kinetra::window {

FeelBands::FeelBands(PipelineGetter pipeline, Timers& timers)
    : m_pipeline(std::move(pipeline)), m_timer(timers.MakeTimer(true, [this] { Step(); })) {}

FeelBands::~FeelBands() {
    Cancel();
}

bool FeelBands::Start() {
    kinetra::pipeline::SoundToForcePipeline* pipeline = m_pipeline ? m_pipeline() : nullptr;
    if (m_running || pipeline == nullptr || !pipeline->Started() || pipeline->Stopped() ||
        pipeline->MappersHeld() || pipeline->Mapper(1) == nullptr) {
        return false;
    }
    pipeline->HoldMappers(true);
    m_running = true;
    m_band = 0;
    m_playing = false;
    m_timer->Start(kGapMs);
    return true;
}

void FeelBands::Cancel() {
    if (!m_running) return;
    kinetra::pipeline::SoundToForcePipeline* pipeline = m_pipeline ? m_pipeline() : nullptr;
    if (m_playing && pipeline != nullptr) pipeline->PlayBand(m_band, 0);
    m_playing = false;
    Finish();
}

void FeelBands::Step() {
    if (!m_running) return;
    m_timer->Stop();
    kinetra::pipeline::SoundToForcePipeline* pipeline = m_pipeline ? m_pipeline() : nullptr;
    if (pipeline == nullptr || pipeline->Stopped() || !pipeline->MappersHeld()) {
        m_playing = false;
        Finish();
        return;
    }
    if (m_playing) {
        pipeline->PlayBand(m_band, 0);
        m_playing = false;
        if (m_band >= kinetra::pipeline::kBands) {
            Finish();
        } else {
            m_timer->Start(kGapMs);
        }
        return;
    }
    // The next band that has an effect (a device with four effects has no band 5).
    do {
        ++m_band;
    } while (m_band <= kinetra::pipeline::kBands && !pipeline->PlayBand(m_band, kMagnitude));
    if (m_band > kinetra::pipeline::kBands) {
        Finish();
        return;
    }
    m_playing = true;
    m_timer->Start(kBandMs);
}

void FeelBands::Finish() {
    m_timer->Stop();
    m_running = false;
    kinetra::pipeline::SoundToForcePipeline* pipeline = m_pipeline ? m_pipeline() : nullptr;
    if (pipeline != nullptr && !pipeline->Stopped()) pipeline->HoldMappers(false);
}

}  // namespace kinetra::window
