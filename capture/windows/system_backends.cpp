// The audio-input backends on Windows: memory sources and WAV files (windows/sound_file.cpp).
// There is no PulseAudio server to ask.
#include "capture/backends/backend_table.h"

namespace kinetra::capture {

extern const CaptureBackend kMemoryCaptureBackend;
extern const CaptureBackend kFileCaptureBackend;

std::span<const CaptureBackend* const> CaptureBackends() {
    static constexpr const CaptureBackend* kRows[] = {&kMemoryCaptureBackend, &kFileCaptureBackend};
    return kRows;
}

PulseServerState ProbePulseServer() {
    return PulseServerState::kAbsent;
}

AudioSourceList ListPulseSources(int) {
    return {};
}

}  // namespace kinetra::capture
