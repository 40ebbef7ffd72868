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

}  // namespace kinetra::window
