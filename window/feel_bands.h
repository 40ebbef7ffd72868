// "Feel each band": each band's effect plays alone on the force device for 300 ms, bands 1 to 5
// in turn, without the sound: the mappers' output is held meanwhile (SoundToForcePipeline::
// HoldMappers) and given back as it was at the end. Driven by a timer on the user-interface
// thread, which it never blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "window/toolkit.h"

namespace kinetra::pipeline {
class SoundToForcePipeline;
}

namespace kinetra::window {

class FeelBands {
public:
    // How long each band plays, the quiet before band 1 and between two bands (so that bands on
    // the same motor of a rumble pad still feel apart), and the magnitude it plays at (0..10000;
    // the Strength's gain applies as to every effect).
    static constexpr int kBandMs = 300;
    static constexpr int kGapMs = 200;
    static constexpr std::uint32_t kMagnitude = 8000;

    // pipeline gives the pipeline to play on at each step (null: none; the sequence then ends);
    // it is called on the user-interface thread while this object lives. timers makes the step
    // timer and must outlive this object. Thread (all operations): user-interface thread.
    using PipelineGetter = std::function<kinetra::pipeline::SoundToForcePipeline*()>;
    FeelBands(PipelineGetter pipeline, Timers& timers);
    // Cancels a running sequence.
    ~FeelBands();
    FeelBands(const FeelBands&) = delete;
    FeelBands& operator=(const FeelBands&) = delete;

    // Holds the mappers and starts the sequence: after kGapMs band 1 plays, and so on. False (and
    // nothing done) while one runs, or without a running pipeline, or when its mappers are held
    // already.
    bool Start();
    // Ends a running sequence at once: the playing band is silenced and the mappers released.
    void Cancel();
    // The next step now (the timer calls it; tests call it to step through without waiting).
    void Step();

    bool Running() const { return m_running; }
    // The band playing now (1..5), or 0 (before the first, between two, or not running).
    int PlayingBand() const { return m_playing ? m_band : 0; }
    // The delay of the step pending, in milliseconds, or -1 when none is.
    int PendingStepMs() const { return m_timer->Active() ? m_timer->IntervalMs() : -1; }

private:
    void Finish();

    PipelineGetter m_pipeline;
    std::unique_ptr<Timer> m_timer;
    int m_band = 0;          // the band playing, or the last one played
    bool m_playing = false;  // m_band plays now
    bool m_running = false;
};

}  // namespace kinetra::window
