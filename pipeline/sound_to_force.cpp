#include "pipeline/sound_to_force.h"

#include <string>

#include "analysis/band_mapper.h"
#include "capture/capture_format.h"
#include "force/force_channel.h"
#include "pipeline/slider_rules.h"
#include "platform/block_format.h"
#include "platform/debug_output.h"

namespace kinetra::pipeline {
namespace {

// The format the program captures in: 44100 samples per second, 16 bits, mono.
constexpr int kCaptureFormat = capture::kFormat44100Mono16;

}  // namespace

SoundToForcePipeline::SoundToForcePipeline() = default;

SoundToForcePipeline::~SoundToForcePipeline() {
    if (m_bStarted) Stop();
}

StartResult SoundToForcePipeline::Start(const PipelineSettings& settings,
                                        capture::CaptureErrorReporter* owner,
                                        const StartOptions& options) {
    m_bStarted = true;
    if (options.input.has_value()) m_engine.SetAudioInput(*options.input);
    if (options.device.has_value()) {
        force::SetForceDeviceChoice(*options.device);
        m_bSetDevice = true;
    }
    m_engine.Init(owner);

    CForceChannel::SetOwner(options.ownerInstance, options.ownerWindow);
    for (int k = 0; k < kBands; ++k) {
        m_mapper[k] = new CBandMapper(kSpectrumBins);
        if (m_mapper[k]->AttachEffect() == 0) {
            delete m_mapper[k];
            m_mapper[k] = nullptr;
            if (k == 0) return StartResult::kNoDevice;
            if (k < kBands - 1) return StartResult::kBandMissing;
            break;  // without band 5 the pipeline runs with four bands
        }
        m_mapper[k]->SetBand(kBandEdges[k].lowHz, kBandEdges[k].highHz);
        m_productIndex = GetProductIndex();
        m_mapper[k]->SetEffectFrequency(EffectFrequencyFor(m_productIndex, k + 1));
        m_mapper[k]->SetThreshold(static_cast<std::uint32_t>(settings.level[k]));
        if (options.fullReports) m_mapper[k]->SetFullReport(true);
        m_engine.AddListener(m_mapper[k]);
    }

    SetStrength(settings.strength);
    for (int k = 0; k < kBands; ++k) {
        m_enabled[k] = true;
        if (settings.disabled[k]) EnableBand(k + 1, false);
    }
    if (options.observer != nullptr) {
        m_observer = options.observer;
        m_engine.AddListener(m_observer);
    }

    if (m_engine.OpenCaptureBuffer(kCaptureFormat) != 0) return StartResult::kNoCaptureBuffer;
    if (options.startThread && !m_engine.StartThread()) return StartResult::kNoCaptureThread;
    return StartResult::kRunning;
}

bool SoundToForcePipeline::Stop() {
    if (m_bStopped) return true;
    m_bStopped = true;
    const bool stopped = m_engine.StopThread();
    if (!stopped) {
        // The capture thread may still be inside a mapper: leave the mappers alive rather than
        // pull them from under it.
        kinetra::DebugOutput("CAPTURE: the capture thread did not stop; mappers kept\n");
    } else {
        for (CBandMapper*& mapper : m_mapper) {
            if (mapper == nullptr) continue;
            m_engine.RemoveListener(mapper);
            delete mapper;
            mapper = nullptr;
        }
        if (m_observer != nullptr) {
            m_engine.RemoveListener(m_observer);
            m_observer = nullptr;
        }
    }
    m_engine.Shutdown();
    if (m_bSetDevice) {
        force::ClearForceDeviceChoice();
        m_bSetDevice = false;
    }
    return stopped;
}

StartResult SoundToForcePipeline::Restart(const PipelineSettings& settings,
                                          capture::CaptureErrorReporter* owner,
                                          const StartOptions& options) {
    if (m_bStarted && !Stop()) return StartResult::kNoCaptureThread;
    if (m_engine.IsThreadRunning()) return StartResult::kNoCaptureThread;  // an earlier Stop failed
    m_bStarted = false;
    m_bStopped = false;
    m_productIndex = 0;
    // The device the last input enumerated belongs to that input: the new one enumerates its own.
    m_engine.SetDeviceGuid(std::string());
    return Start(settings, owner, options);
}

CBandMapper* SoundToForcePipeline::Mapper(int band) const {
    if (band < 1 || band > kBands) return nullptr;
    return m_mapper[band - 1];
}

void SoundToForcePipeline::SetLevel(int band, int position) {
    CBandMapper* mapper = Mapper(band);
    if (mapper != nullptr) mapper->SetThreshold(static_cast<std::uint32_t>(position));
}

void SoundToForcePipeline::SetStrength(int position) {
    const std::uint32_t gain = GainForStrength(position);
    for (CBandMapper* mapper : m_mapper) {
        if (mapper != nullptr) mapper->SetGain(gain);
    }
}

void SoundToForcePipeline::EnableBand(int band, bool on) {
    if (band < 1 || band > kBands) return;
    m_enabled[band - 1] = on;
    if (m_bHeld) return;
    CBandMapper* mapper = Mapper(band);
    if (mapper != nullptr) mapper->Enable(on ? 1 : 0);
}

bool SoundToForcePipeline::BandEnabled(int band) const {
    return band >= 1 && band <= kBands && m_enabled[band - 1];
}

void SoundToForcePipeline::HoldMappers(bool held) {
    if (held == m_bHeld) return;
    m_bHeld = held;
    for (int k = 0; k < kBands; ++k) {
        if (m_mapper[k] != nullptr) m_mapper[k]->Enable(!held && m_enabled[k] ? 1 : 0);
    }
}

bool SoundToForcePipeline::PlayBand(int band, std::uint32_t magnitude) {
    CBandMapper* mapper = Mapper(band);
    if (!m_bHeld || mapper == nullptr || mapper->Channel() == nullptr) return false;
    CForceChannel* channel = mapper->Channel();
    channel->ChangeParameters(magnitude, mapper->EffectFrequency());
    if (magnitude != 0) {
        channel->Start();
    } else {
        channel->Stop();
    }
    return true;
}

}  // namespace kinetra::pipeline
