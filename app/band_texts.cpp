#include "app/band_texts.h"

#include "pipeline/band_plan.h"

namespace kinetra::app {

namespace {

bool IsBand(int band) {
    return band >= 1 && band <= kinetra::pipeline::kBands;
}

}  // namespace

QString BandNickname(int band) {
    static const char* const kNicknames[kinetra::pipeline::kBands] = {"bass", "low mid", "mid",
                                                                      "high mid", "treble"};
    return IsBand(band) ? QString::fromLatin1(kNicknames[band - 1]) : QString();
}

QString BandLabel(int band) {
    if (!IsBand(band)) return {};
    const kinetra::pipeline::BandEdges& edges = kinetra::pipeline::kBandEdges[band - 1];
    return QStringLiteral("band %1 (%2, %3\u2013%4 Hz)")
        .arg(band)
        .arg(BandNickname(band))
        .arg(edges.lowHz)
        .arg(edges.highHz);
}

QString DisableBoxName(int band) {
    return IsBand(band) ? QStringLiteral("Disable ") + BandLabel(band) : QString();
}

QString LevelSliderName(int band) {
    return IsBand(band) ? QStringLiteral("Response level of ") + BandLabel(band) : QString();
}

}  // namespace kinetra::app
