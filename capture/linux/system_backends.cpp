// The audio-input backends on Linux.
#include "capture/backends/backend_table.h"

namespace kinetra::capture {

// Each row is defined next to its backend.
extern const CaptureBackend kFileCaptureBackend;
extern const CaptureBackend kMemoryCaptureBackend;
extern const CaptureBackend kPulseCaptureBackend;
extern const CaptureBackend kSdlCaptureBackend;

// Files and memory sources first (they serve only their own kinds); then the live backends,
// PulseAudio before SDL: SDL's own PulseAudio capture delivers only part of the sound on some
// systems, and SDL finds the input elsewhere (ALSA, ...).
std::span<const CaptureBackend* const> CaptureBackends() {
    static constexpr const CaptureBackend* kRows[] = {
        &kFileCaptureBackend,
        &kMemoryCaptureBackend,
        &kPulseCaptureBackend,
        &kSdlCaptureBackend,
    };
    return kRows;
}

}  // namespace kinetra::capture
