#include "capture/backends/backend_table.h"

namespace kinetra::capture {

// Each row is defined next to its backend.
extern const CaptureBackend kFileCaptureBackend;
extern const CaptureBackend kMemoryCaptureBackend;
extern const CaptureBackend kPulseCaptureBackend;
extern const CaptureBackend kSdlCaptureBackend;

namespace {

// Files and memory sources first (they serve only their own kinds); then the live backends,
// PulseAudio before SDL: SDL's own PulseAudio capture delivers only part of the sound on some
// systems, and SDL finds the input elsewhere (ALSA, ...).
constexpr const CaptureBackend* kRows[] = {
    &kFileCaptureBackend,
    &kMemoryCaptureBackend,
    &kPulseCaptureBackend,
    &kSdlCaptureBackend,
};

}  // namespace

std::span<const CaptureBackend* const> CaptureBackends() {
    return kRows;
}

const CaptureBackend* FindCaptureBackend(std::string_view name) {
    for (const CaptureBackend* row : kRows) {
        if (name == row->name) return row;
    }
    return nullptr;
}

}  // namespace kinetra::capture
