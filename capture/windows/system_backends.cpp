// The audio-input backends on Windows: memory sources, WAV files (windows/sound_file.cpp) and
// DirectSound capture (windows/dsound_capture.cpp).
// There is no PulseAudio server to ask.
#include "capture/backends/backend_table.h"

namespace kinetra::capture {

extern const CaptureBackend kMemoryCaptureBackend;
extern const CaptureBackend kFileCaptureBackend;
extern const CaptureBackend kDirectSoundCaptureBackend;

std::span<const CaptureBackend* const> CaptureBackends() {
    static constexpr const CaptureBackend* kRows[] = {&kMemoryCaptureBackend, &kFileCaptureBackend,
                                                      &kDirectSoundCaptureBackend};
    return kRows;
}

PulseServerState ProbePulseServer() {
    return PulseServerState::kAbsent;
}

AudioSourceList ListPulseSources(int) {
    return {};
}

}  // namespace kinetra::capture
