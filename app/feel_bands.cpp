#include "app/feel_bands.h"

#include "pipeline/sound_to_force.h"

namespace kinetra::app {

FeelBands::FeelBands(PipelineGetter pipeline, QObject* parent)
    : QObject(parent), m_pipeline(std::move(pipeline)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FeelBands::Step);
}

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
    m_timer.start(kGapMs);
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
    m_timer.stop();
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
            m_timer.start(kGapMs);
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
    m_timer.start(kBandMs);
}

void FeelBands::Finish() {
    m_timer.stop();
    m_running = false;
    kinetra::pipeline::SoundToForcePipeline* pipeline = m_pipeline ? m_pipeline() : nullptr;
    if (pipeline != nullptr && !pipeline->Stopped()) pipeline->HoldMappers(false);
    emit Finished();
}

}  // namespace kinetra::app
