#include "window/meters.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "analysis/band_mapper.h"
#include "pipeline/band_plan.h"
#include "window/band_texts.h"

namespace kinetra::window {

namespace {

// A meter falls back by at most 120 positions a second, the Strength meter by 12000 of
// magnitude; a lamp stays on this many ticks after a block sent (150-225 ms).
constexpr double kFallPerTick = 120.0 * LiveMeters::kIntervalMs / 1000.0;
constexpr double kStrengthFallPerTick = 12000.0 * LiveMeters::kIntervalMs / 1000.0;
constexpr int kLitTicks = 2;

constexpr int kBands = kinetra::pipeline::kBands;
static_assert(kBands <= LiveMeters::kMaxBands);

}  // namespace

MeterRedraw MeterChange(const SliderMeter& drawn, const SliderMeter& next) {
    using Look = SliderMeter::Look;
    MeterRedraw redraw;
    const bool liveBefore = drawn.look == Look::kLive;
    const bool liveAfter = next.look == Look::kLive;
    redraw.lamp = (liveBefore && drawn.lit) != (liveAfter && next.lit);
    if (drawn.look != next.look) {
        redraw.track = true;
        redraw.top = 0.0;
        redraw.bottom = 100.0;
        return redraw;
    }
    if (!liveAfter) return redraw;
    // Each end and the mark colours what lies between where it was and where it is now. A mark
    // below 0 (none) counts as the meter's end, as the meter draws it.
    const double markBefore = drawn.mark < 0 ? drawn.to : drawn.mark;
    const double markAfter = next.mark < 0 ? next.to : next.mark;
    for (const auto& [before, after] :
         {std::pair{drawn.from, next.from}, std::pair{drawn.to, next.to},
          std::pair{markBefore, markAfter}}) {
        if (before == after) continue;
        const double low = std::min(before, after);
        const double high = std::max(before, after);
        redraw.top = redraw.track ? std::min(redraw.top, low) : low;
        redraw.bottom = redraw.track ? std::max(redraw.bottom, high) : high;
        redraw.track = true;
    }
    return redraw;
}

double LevelToSliderPosition(double level) {
    if (!(level > 1.0)) return 0.0;
    return std::min(100.0, 5.0 * std::log(level));
}

double MagnitudeToStrengthPosition(std::uint32_t magnitude) {
    return std::clamp(100.0 - static_cast<double>(magnitude) / 100.0, 0.0, 100.0);
}

const char* const SoundHint::kListening = "listening";
const char* const SoundHint::kNoSound = "no sound for 10 s";

std::string SoundHint::Update(std::int64_t nowMs, bool heard) {
    if (heard) {
        m_lastSoundMs = nowMs;
        m_everHeard = true;
    }
    if (nowMs - m_lastSoundMs >= kQuietMs) return kNoSound;
    return m_everHeard ? kListening : "";
}

LiveMeters::LiveMeters(MapperGetter mapper, MeterView& meters, StatusView& status, Timers& timers)
    : m_mapper(std::move(mapper)),
      m_meters(meters),
      m_status(status),
      m_timers(timers),
      m_startMs(timers.NowMs()),
      m_timer(timers.MakeTimer(false, [this] { Tick(m_timers.NowMs() - m_startMs); })) {
    m_timer->Start(kIntervalMs);
}

void LiveMeters::SetShown(bool shown) {
    if (shown == m_shown) return;
    m_shown = shown;
    if (!shown) {
        m_timer->Stop();
        return;
    }
    m_sentValid = false;
    m_timer->Start(kIntervalMs);
    Tick(m_timers.NowMs() - m_startMs);
}

void LiveMeters::Refresh() {
    if (!m_shown) return;
    m_timer->Start(kIntervalMs);
    Tick(m_timers.NowMs() - m_startMs);
}

void LiveMeters::Tick(std::int64_t nowMs) {
    using Look = SliderMeter::Look;
    bool arrived = false;
    bool anyMeasuring = false;
    bool audible = false;
    std::uint32_t strongest = 0;
    CBandMapper::LiveReading reading[kMaxBands];
    for (int k = 0; k < kMaxBands; ++k) {
        BandState& band = m_band[k];
        const CBandMapper* mapper = k < kBands ? m_mapper(k + 1) : nullptr;
        if (mapper != band.mapper) band = BandState{mapper};
        if (mapper == nullptr) continue;
        reading[k] = mapper->Live();
        arrived = arrived || reading[k].blocks != band.blocks;
        band.blocks = reading[k].blocks;
        if (!mapper->Enabled()) continue;
        anyMeasuring = true;
        audible = audible || reading[k].loudestLevel > kAudibleLevel;
        std::uint32_t sent = reading[k].mag;
        if (reading[k].lastSendingBlock != band.sendingBlock) {
            band.sendingBlock = reading[k].lastSendingBlock;
            sent = std::max(sent, reading[k].lastSendingMag);
        }
        if (sent != 0) band.litTicks = kLitTicks + 1;
        strongest = std::max(strongest, sent);
    }
    if (arrived) m_lastBlockMs = nowMs;
    // With every band disabled nothing is measured: arriving blocks are all there is to go by.
    const bool heard = arrived && (audible || !anyMeasuring);
    if (heard) m_lastSoundMs = nowMs;
    m_signal = m_lastBlockMs >= 0 && nowMs - m_lastBlockMs < kNoSignalMs && m_lastSoundMs >= 0 &&
               nowMs - m_lastSoundMs < kNoSignalMs;

    const int felt = m_feltBand ? m_feltBand() : -1;
    SliderMeter levels[kMaxBands];
    for (int k = 0; k < kBands; ++k) {
        BandState& band = m_band[k];
        SliderMeter& meter = levels[k];
        if (band.litTicks > 0) --band.litTicks;
        if (band.mapper == nullptr || !band.mapper->Enabled()) {
            band.shown = 0.0;
            band.litTicks = 0;
            meter.look = Look::kBandOff;
        } else if (!m_signal) {
            band.shown = 0.0;
            meter.look = Look::kNoSignal;
        } else {
            band.shown =
                std::max(LevelToSliderPosition(reading[k].loudestLevel), band.shown - kFallPerTick);
            meter.look = Look::kLive;
            meter.to = band.shown;
            meter.mark = LevelToSliderPosition(band.mapper->Threshold());
            meter.lit = band.litTicks > 0;
        }
    }
    if (felt > 0 && felt <= kBands) {
        // "Feel each band": the playing band's groove full and lit, the others plain.
        for (int k = 0; k < kBands; ++k) levels[k] = SliderMeter{};
        levels[felt - 1] = SliderMeter{Look::kLive, 0.0, 100.0, 0.0, true};
    }
    for (int k = 0; k < kBands; ++k) {
        if (m_sentValid && levels[k] == m_sentLevel[k]) continue;
        m_sentLevel[k] = levels[k];
        m_meters.SetLevelMeter(k + 1, levels[k]);
    }

    SliderMeter strength;
    if (strongest != 0) m_strengthLitTicks = kLitTicks + 1;
    if (m_strengthLitTicks > 0) --m_strengthLitTicks;
    if (m_signal) {
        m_strengthShown =
            std::max(static_cast<double>(strongest), m_strengthShown - kStrengthFallPerTick);
        m_strengthShown = std::max(m_strengthShown, 0.0);
        // Grows down from the top, as the level meters do.
        strength.look = Look::kLive;
        strength.from = 0.0;
        strength.to =
            100.0 - MagnitudeToStrengthPosition(static_cast<std::uint32_t>(m_strengthShown));
        strength.lit = m_strengthLitTicks > 0;
    } else {
        m_strengthShown = 0.0;
        strength.look = Look::kNoSignal;
    }
    if (!m_sentValid || !(strength == m_sentStrength)) {
        m_sentStrength = strength;
        m_meters.SetStrengthMeter(strength);
    }

    // Without a pipeline there is nothing to listen to: no hint, and the quiet time starts anew.
    bool running = false;
    for (const BandState& band : m_band) running = running || band.mapper != nullptr;
    if (!running) m_hint = SoundHint(nowMs);
    std::string hint = running ? m_hint.Update(nowMs, heard) : std::string();
    if (felt > 0 && felt <= kBands) hint = "Feel each band: " + BandCaptionLabel(felt);
    if (!m_sentValid || hint != m_sentHint) {
        m_sentHint = hint;
        m_status.SetHintText(hint);
    }
    m_sentValid = true;

    // Without sound nothing moves (the meters show no signal): a slower timer, until sound comes.
    const int interval = !m_signal && felt < 0 ? kIdleIntervalMs : kIntervalMs;
    if (m_shown && m_timer->IntervalMs() != interval) m_timer->Start(interval);
    if (m_afterTick) m_afterTick();
}

}  // namespace kinetra::window
