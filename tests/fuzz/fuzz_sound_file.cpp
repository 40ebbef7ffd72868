// libFuzzer target: the sound-file decoder on any bytes, read through libsndfile's virtual I/O.
// Whatever the bytes claim, decoding must end with sound within the limit or with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/sound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kinetra::capture::SoundLimit limit;
    // A minute keeps each run short; the limit's own arithmetic is the same at 20 minutes.
    limit.maxFrames = kinetra::capture::SoundFramesForSeconds(60);
    limit.cut = (size % 2) == 0;
    std::vector<std::int16_t> samples;
    std::string error;
    const bool ok = kinetra::capture::DecodeSoundBytes(data, size, "fuzz", limit, &samples, &error);
    if (ok && (samples.empty() || static_cast<std::int64_t>(samples.size()) > limit.maxFrames)) {
        std::abort();
    }
    if (!ok && (error.empty() || error.find("No Error") != std::string::npos)) std::abort();
    return 0;
}
