// The texts that name a band in the window: its short nickname and edges, in the accessible names
// and tooltips of its Disable box and level slider. UTF-8.
#pragma once

#include <string>

namespace kinetra::window {

// Nickname of band (1..5): "bass", "low mid", "mid", "high mid", "treble"; empty outside 1..5.
// Thread: any.
std::string BandNickname(int band);
// "band 1 (bass, 0–177 Hz)": number, nickname and edges (pipeline/band_plan.h), an en dash
// between the edges; empty outside 1..5. Thread: any.
std::string BandLabel(int band);
// The caption under a band's slider: "Bass", "Low mids", "Mids", "Highs", "Air"; empty outside
// 1..5. Thread: any.
std::string BandCaption(int band);
// The caption with the band's edges: "Bass (0–177 Hz)". Thread: any.
std::string BandCaptionLabel(int band);
// Accessible names: "Disable band 1 (bass, 0–177 Hz)", "Response level of band 1 (bass,
// 0–177 Hz)". Thread: any.
std::string DisableBoxName(int band);
std::string LevelSliderName(int band);

}  // namespace kinetra::window
