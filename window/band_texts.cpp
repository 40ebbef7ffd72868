#include "window/band_texts.h"

#include "pipeline/band_plan.h"

namespace kinetra::window {

namespace {

bool IsBand(int band) {
    return band >= 1 && band <= kinetra::pipeline::kBands;
}

}  // namespace

std::string BandNickname(int band) {
    static const char* const kNicknames[kinetra::pipeline::kBands] = {"bass", "low mid", "mid",
                                                                      "high mid", "treble"};
    return IsBand(band) ? kNicknames[band - 1] : "";
}

std::string BandLabel(int band) {
    if (!IsBand(band)) return {};
    const kinetra::pipeline::BandEdges& edges = kinetra::pipeline::kBandEdges[band - 1];
    return "band " + std::to_string(band) + " (" + BandNickname(band) + ", " +
           std::to_string(edges.lowHz) + "\u2013" + std::to_string(edges.highHz) + " Hz)";
}

std::string BandCaption(int band) {
    static const char* const kCaptions[kinetra::pipeline::kBands] = {"Bass", "Low mids", "Mids",
                                                                     "Highs", "Air"};
    return IsBand(band) ? kCaptions[band - 1] : "";
}

std::string BandCaptionLabel(int band) {
    if (!IsBand(band)) return {};
    const kinetra::pipeline::BandEdges& edges = kinetra::pipeline::kBandEdges[band - 1];
    return BandCaption(band) + " (" + std::to_string(edges.lowHz) + "\u2013" +
           std::to_string(edges.highHz) + " Hz)";
}

std::string DisableBoxName(int band) {
    return IsBand(band) ? "Disable " + BandLabel(band) : "";
}

std::string LevelSliderName(int band) {
    return IsBand(band) ? "Response level of " + BandLabel(band) : "";
}

}  // namespace kinetra::window
