// The window's live meters: every band's loudest level against its threshold on its level
// slider, whether it sends, the strongest magnitude on the Strength slider, and the status
// line's hint about the sound that arrives. A timer on the user-interface thread reads what the
// band mappers publish (CBandMapper::Live) 13 times a second while sound arrives, 4 times a
// second otherwise; the capture thread is never asked for anything.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "window/slider_meter.h"
#include "window/toolkit.h"

class CBandMapper;

namespace kinetra::window {

// The level slider position (0..100, 0 at the top) whose threshold a level just reaches: the
// inverse of threshold = e^(position / 5), that is 5 ln(level), clamped to 0..100 (0 for levels of
// 1 and below and for what is not a number). A band fires at a position p exactly when its level
// is above the threshold of p, that is when this position is above 5 × (p / 5, integer division).
// Thread: any.
double LevelToSliderPosition(double level);

// The Strength slider position (0 at the top: gain 10000) of a magnitude 0..10000:
// 100 - magnitude / 100, clamped to 0..100. Thread: any.
double MagnitudeToStrengthPosition(std::uint32_t magnitude);

// The status line's hint from what arrives: nothing at first, "listening" from the first block
// with sound, "no sound for 10 s" once 10 s pass without one (from the start, or from the last
// sound). Thread: the owner's.
class SoundHint {
public:
    static constexpr std::int64_t kQuietMs = 10000;
    static const char* const kListening;  // "listening"
    static const char* const kNoSound;    // "no sound for 10 s"

    explicit SoundHint(std::int64_t startMs) : m_lastSoundMs(startMs) {}
    // heard: a block with sound arrived since the last call. Returns the hint to show.
    std::string Update(std::int64_t nowMs, bool heard);

private:
    std::int64_t m_lastSoundMs;
    bool m_everHeard = false;
};

// The meters of one window. Starts its timer when made; reads the window's mappers afresh at
// every tick, so a pipeline that is started, stopped or made again is followed. Without a
// pipeline the hint is empty, and its 10 s count from the pipeline's start.
// Thread (all): user-interface thread.
class LiveMeters {
public:
    // 10 ticks a second: the window's thread is the program's largest CPU cost while shown, and
    // each tick costs it a wake-up and a paint. 13 a second (75 ms) cost 0.03-0.05 % of a core
    // more, 20 a second (50 ms) about 0.15 %.
    static constexpr int kIntervalMs = 100;
    // While no sound arrives (and no band is being felt) nothing on the meters moves: the timer
    // slows to this, and the first tick that hears sound brings it back to kIntervalMs.
    static constexpr int kIdleIntervalMs = 250;
    static constexpr int kMaxBands = 5;
    // A level above this (the lowest threshold, of position 0) counts as sound.
    static constexpr double kAudibleLevel = 1.0;
    // Without a block for this long, or without sound for this long, the meters show no signal.
    static constexpr std::int64_t kNoSignalMs = 500;

    // mapper gives band's mapper (1..5) or null; it is called on the user-interface thread at
    // each tick while this object lives. The views and timers outlive this object.
    using MapperGetter = std::function<const CBandMapper*(int band)>;
    LiveMeters(MapperGetter mapper, MeterView& meters, StatusView& status, Timers& timers);
    LiveMeters(const LiveMeters&) = delete;
    LiveMeters& operator=(const LiveMeters&) = delete;

    // One update, as the timer runs it; nowMs counts from the meters' making. A meter or hint
    // goes to the views only when it differs from the one they show.
    void Tick(std::int64_t nowMs);
    // While the window is hidden, minimised or in the tray the timer stops: nothing is drawn.
    // Shown again, every meter is sent afresh.
    void SetShown(bool shown);
    bool Shown() const { return m_shown; }
    // Ticks now and goes on at the full rate (kIntervalMs), as when something is about to move
    // on the meters; nothing while hidden.
    void Refresh();
    // The band "Feel each band" plays now (1..5): its groove is lit alone and the hint names it;
    // 0 between the bands of a running sequence, -1 when none runs (a sequence keeps the full
    // rate). Called at each tick.
    void SetFeltBand(std::function<int()> feltBand) { m_feltBand = std::move(feltBand); }
    // Called at the end of each tick, for the owner's own periodic work in the same wake-up.
    void SetAfterTick(std::function<void()> afterTick) { m_afterTick = std::move(afterTick); }
    // True while sound arrives (the meters are live).
    bool Signal() const { return m_signal; }

private:
    struct BandState {
        const CBandMapper* mapper = nullptr;
        std::uint64_t blocks = 0;
        std::uint64_t sendingBlock = 0;
        double shown = 0.0;  // the position the meter shows, falling back slowly
        int litTicks = 0;    // ticks the lamp stays on
    };

    MapperGetter m_mapper;
    MeterView& m_meters;
    StatusView& m_status;
    Timers& m_timers;
    std::int64_t m_startMs;
    std::unique_ptr<Timer> m_timer;
    BandState m_band[kMaxBands];
    double m_strengthShown = 0.0;  // magnitude, falling back slowly
    int m_strengthLitTicks = 0;
    std::int64_t m_lastBlockMs = -1;
    std::int64_t m_lastSoundMs = -1;
    bool m_signal = false;
    SoundHint m_hint{0};
    bool m_shown = true;
    std::function<int()> m_feltBand;
    std::function<void()> m_afterTick;
    // What the views show, so that only changes are sent; cleared when shown again.
    SliderMeter m_sentLevel[kMaxBands];
    SliderMeter m_sentStrength;
    std::string m_sentHint;
    bool m_sentValid = false;
};

}  // namespace kinetra::window
