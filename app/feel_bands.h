// "Feel each band": each band's effect plays alone on the force device for 300 ms, bands 1 to 5
// in turn, without the sound: the mappers' output is held meanwhile (SoundToForcePipeline::
// HoldMappers) and given back as it was at the end. Driven by a timer on the user-interface
// thread, which it never blocks.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace kinetra::pipeline {
class SoundToForcePipeline;
}

namespace kinetra::app {

class FeelBands : public QObject {
    Q_OBJECT

public:
    // How long each band plays, the quiet before band 1 and between two bands (so that bands on
    // the same motor of a rumble pad still feel apart), and the magnitude it plays at (0..10000;
    // the Strength's gain applies as to every effect).
    static constexpr int kBandMs = 300;
    static constexpr int kGapMs = 200;
    static constexpr std::uint32_t kMagnitude = 8000;

    // pipeline gives the pipeline to play on at each step (null: none; the sequence then ends).
    // Thread (all operations): user-interface thread.
    using PipelineGetter = std::function<kinetra::pipeline::SoundToForcePipeline*()>;
    explicit FeelBands(PipelineGetter pipeline, QObject* parent = nullptr);
    // Cancels a running sequence.
    ~FeelBands() override;

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
    int PendingStepMs() const { return m_timer.isActive() ? m_timer.interval() : -1; }

signals:
    // The sequence has ended (after band 5, cancelled, or the pipeline gone) and the mappers are
    // released.
    void Finished();

private:
    void Finish();

    PipelineGetter m_pipeline;
    QTimer m_timer;
    int m_band = 0;          // the band playing, or the last one played
    bool m_playing = false;  // m_band plays now
    bool m_running = false;
};

}  // namespace kinetra::app
