// The texts that name a band in the window: its short nickname and edges, in the accessible names
// and tooltips of its Disable box and level slider.
#pragma once

#include <QString>

namespace kinetra::app {

// Nickname of band (1..5): "bass", "low mid", "mid", "high mid", "treble"; empty outside 1..5.
// Thread: any.
QString BandNickname(int band);
// "band 1 (bass, 0–177 Hz)": number, nickname and edges (pipeline/band_plan.h), an en dash
// between the edges; empty outside 1..5. Thread: any.
QString BandLabel(int band);
// Accessible names: "Disable band 1 (bass, 0–177 Hz)", "Response level of band 1 (bass,
// 0–177 Hz)". Thread: any.
QString DisableBoxName(int band);
QString LevelSliderName(int band);

}  // namespace kinetra::app
