// The audio-input backends on Windows for now: memory sources alone (sound files need libsndfile
// and libsamplerate, which Debian has not for MinGW; live capture comes with the Windows
// program). There is no PulseAudio server to ask.
#include "capture/backends/backend_table.h"

namespace kinetra::capture {

extern const CaptureBackend kMemoryCaptureBackend;

std::span<const CaptureBackend* const> CaptureBackends() {
    static constexpr const CaptureBackend* kRows[] = {&kMemoryCaptureBackend};
    return kRows;
}

PulseServerState ProbePulseServer() {
    return PulseServerState::kAbsent;
}

AudioSourceList ListPulseSources(int) {
    return {};
}

}  // namespace kinetra::capture
