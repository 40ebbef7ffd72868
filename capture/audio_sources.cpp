#include "capture/audio_sources.h"

namespace kinetra::capture {

AudioSourceList ListAudioSources(int /*timeoutMs*/) {
    return {};
}

std::string CurrentCaptureSourceDescription() {
    return {};
}

}  // namespace kinetra::capture
