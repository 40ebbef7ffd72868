// Windows does not play a sound-file input aloud yet: it is felt only.
#include "capture/backends/sound_output.h"

namespace kinetra::capture {

std::unique_ptr<SoundOutput> OpenSoundOutput() {
    return nullptr;
}

}  // namespace kinetra::capture
