// The audio-input backends on Windows: memory sources, WAV files (windows/sound_file.cpp),
// what this computer plays (WASAPI loopback, windows/wasapi_loopback.cpp), what one application
// plays (process loopback, windows/process_loopback.cpp) and DirectSound capture
// (windows/dsound_capture.cpp). The system's audio engine stands where a sound server
// stands on Linux: it always answers, so a first run listens to what the computer plays; the
// inputs it lists come from WASAPI (windows/wasapi_endpoints.cpp).
#include "capture/backends/backend_table.h"

namespace kinetra::capture {

extern const CaptureBackend kMemoryCaptureBackend;
extern const CaptureBackend kFileCaptureBackend;
extern const CaptureBackend kProcessLoopbackBackend;
extern const CaptureBackend kDirectSoundCaptureBackend;
extern const CaptureBackend kWasapiLoopbackBackend;

std::span<const CaptureBackend* const> CaptureBackends() {
    static constexpr const CaptureBackend* kRows[] = {
        &kMemoryCaptureBackend, &kFileCaptureBackend, &kWasapiLoopbackBackend,
        &kProcessLoopbackBackend, &kDirectSoundCaptureBackend};
    return kRows;
}

PulseServerState ProbePulseServer() {
    return PulseServerState::kAnswers;
}

}  // namespace kinetra::capture
