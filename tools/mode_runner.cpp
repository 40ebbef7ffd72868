// kinetra-mode-runner SOUNDFILE OUTPREFIX [LEVEL]: runs a sound file through the spectrum frame,
// the capture engine's running average and five band mappers of the main window, once in the
// classic mode and once in hits mode, and writes
//   OUTPREFIX.pcm        the decoded sound, 16-bit mono 44100 Hz, little-endian, no header
//   OUTPREFIX.mags.csv   one row per block: block, classic1..classic5, hits1..hits5
// LEVEL is the position of every level slider (default 20, a first run's).
// For the figure script (bench/hits_figures.py).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/band_mapper.h"
#include "analysis/running_average.h"
#include "analysis/spectrum_frame.h"
#include "capture/audio_input.h"
#include "capture/capture_engine.h"
#include "pipeline/band_plan.h"

namespace {

using kinetra::pipeline::kBands;
constexpr int kModes = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "kinetra-mode-runner: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: kinetra-mode-runner SOUNDFILE OUTPREFIX [LEVEL]\n", stderr);
        return 2;
    }
    std::uint32_t level = 20;
    if (argc == 4) {
        char* end = nullptr;
        const long v = std::strtol(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || v < 0 || v > 100) {
            return Fail("LEVEL is a slider position from 0 to 100");
        }
        level = static_cast<std::uint32_t>(v);
    }
    std::vector<std::int16_t> samples;
    std::string error;
    if (!kinetra::capture::DecodeSoundFile(argv[1], &samples, &error)) return Fail(error);
    const std::string prefix = argv[2];

    std::FILE* pcm = std::fopen((prefix + ".pcm").c_str(), "wb");
    if (pcm == nullptr) return Fail("cannot write " + prefix + ".pcm");
    const bool pcmOk =
        std::fwrite(samples.data(), sizeof(std::int16_t), samples.size(), pcm) == samples.size();
    if (std::fclose(pcm) != 0 || !pcmOk) return Fail("cannot write " + prefix + ".pcm");

    CSpectrumFrame frame;
    if (!frame.IsComplete()) return Fail("the spectrum frame could not be made");
    std::vector<double> average(SPECTRUM_BINS, 0.0);
    std::unique_ptr<CBandMapper> mappers[kModes][kBands];
    for (int mode = 0; mode < kModes; ++mode) {
        for (int b = 0; b < kBands; ++b) {
            auto& m = mappers[mode][b];
            m = std::make_unique<CBandMapper>(SPECTRUM_BINS);
            m->SetBand(kinetra::pipeline::kBandEdges[b].lowHz,
                       kinetra::pipeline::kBandEdges[b].highHz);
            m->SetThreshold(level);
            m->SetMode(mode == 0 ? MapperMode::kClassic : MapperMode::kHits);
        }
    }

    std::FILE* csv = std::fopen((prefix + ".mags.csv").c_str(), "w");
    if (csv == nullptr) return Fail("cannot write " + prefix + ".mags.csv");
    std::fputs("block,classic1,classic2,classic3,classic4,classic5,hits1,hits2,hits3,hits4,hits5\n",
               csv);
    const std::size_t blocks = samples.size() / CSpectrumFrame::kFrames;
    for (std::size_t i = 0; i < blocks; ++i) {
        // With the windowed powers after the plain ones, as the capture engine gives them while
        // a mapper is in hits mode (the classic rule reads the plain ones only).
        const double* spectrum =
            frame.TransformWindowed(&samples[i * CSpectrumFrame::kFrames], CSpectrumFrame::kFrames);
        if (spectrum == nullptr) return Fail("the spectrum frame refused a block");
        // The capture engine's running average, updated before the listeners see the block.
        kinetra::analysis::UpdateRunningAverage(average.data(), spectrum, SPECTRUM_BINS,
                                                CCaptureEngine::kAverageWeight);
        std::fprintf(csv, "%zu", i);
        for (int mode = 0; mode < kModes; ++mode) {
            for (int b = 0; b < kBands; ++b) {
                mappers[mode][b]->OnSpectrum(spectrum, average.data(),
                                             2 * CCaptureEngine::kSpectrumBytes);
                std::fprintf(csv, ",%u", mappers[mode][b]->LastReport().mag);
            }
        }
        std::fputc('\n', csv);
    }
    const bool ok = std::fflush(csv) == 0 && std::ferror(csv) == 0;
    if (std::fclose(csv) != 0 || !ok) return Fail("cannot write " + prefix + ".mags.csv");
    return 0;
}
