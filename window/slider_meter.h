// What a slider's groove shows besides the slider, as the meters decide it and the window draws
// it.
#pragma once

namespace kinetra::window {

// What a slider's groove shows besides the slider: a meter between two positions on the slider's
// own scale, the part past a mark (the threshold) in a stronger colour, and a lamp around the
// handle.
struct SliderMeter {
    enum class Look {
        kNone,      // a plain slider
        kLive,      // a meter: from .. to filled, the part past mark stronger
        kNoSignal,  // an empty meter with a dashed outline: no sound arrives
        kBandOff,   // a hatched groove, no meter: the band is disabled
    };
    Look look = Look::kNone;
    double from = 0.0;   // positions 0..100 on the slider's scale (0 at the top)
    double to = 0.0;     // from <= to; nothing is filled when they are equal
    double mark = -1.0;  // the meter is stronger past this position; below 0 for no mark
    bool lit = false;    // the lamp around the handle
    bool operator==(const SliderMeter&) const = default;
};

// What of a groove a change of its meter draws again: the track between two positions (top <=
// bottom, on the slider's scale) when track is set, and the lamp around the handle when lamp is.
// Nothing when neither is: the change does not show.
struct MeterRedraw {
    bool track = false;
    double top = 0.0;
    double bottom = 0.0;
    bool lamp = false;
    bool operator==(const MeterRedraw&) const = default;
};

// The part of the groove that differs between the meter drawn and the next one: the whole track
// when the look changes; for a live meter the spans its ends and its mark moved over; the lamp
// when it goes on or off. A meter that is not live draws no ends, mark or lamp, so their changes
// draw nothing. Thread: any.
MeterRedraw MeterChange(const SliderMeter& drawn, const SliderMeter& next);

// MeterChange for a front end that draws on pixel rows, row(position) giving a position's row: a
// track change whose ends and mark all stay on their rows draws nothing, and *drawn (the meter on
// screen) keeps those ends until they move further, taking only the lamp; otherwise *drawn
// becomes next. Thread: any.
template <typename RowOf>
MeterRedraw MeterChangeOnRows(SliderMeter* drawn, const SliderMeter& next, const RowOf& row) {
    MeterRedraw redraw = MeterChange(*drawn, next);
    auto mark = [](const SliderMeter& m) { return m.mark < 0 ? m.to : m.mark; };
    if (redraw.track && drawn->look == next.look && row(drawn->from) == row(next.from) &&
        row(drawn->to) == row(next.to) && row(mark(*drawn)) == row(mark(next))) {
        redraw.track = false;
        drawn->lit = next.lit;
    } else {
        *drawn = next;
    }
    return redraw;
}

}  // namespace kinetra::window
