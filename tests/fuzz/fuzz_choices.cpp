// libFuzzer target: the parsers of the audio input (KINETRA_AUDIO_INPUT with
// KINETRA_AUDIO_BACKEND) and of the force device (KINETRA_FORCE_DEVICE) on any text. A refusal
// has a reason and leaves the default choice; an accepted force device is within its limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture/audio_input.h"
#include "force/device_choice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    // Up to the first NUL: the input text; after it: the backend text.
    const std::size_t nul = all.find('\0');
    const std::string_view first = all.substr(0, nul);
    const std::string_view second =
        nul == std::string_view::npos ? std::string_view{} : all.substr(nul + 1);

    kinetra::capture::AudioInputChoice input;
    std::string error;
    if (!kinetra::capture::ParseAudioInputChoice(first, second, &input, &error)) {
        if (error.empty() || input.kind != kinetra::capture::AudioInputKind::kDefault ||
            !input.value.empty()) {
            std::abort();
        }
    }
    kinetra::capture::DescribeAudioInput(kinetra::capture::ParseAudioInput(first));

    kinetra::force::ForceDeviceChoice force;
    error.clear();
    if (kinetra::force::ParseForceDeviceChoice(first, &force, &error)) {
        if (force.effectLimit < 0 || force.effectLimit > 16 || force.sdlIndex < -1 ||
            force.lostAfter < -1) {
            std::abort();
        }
    } else if (error.empty() || force.kind != kinetra::force::ForceDeviceChoice::Kind::Sdl ||
               !force.virtualName.empty()) {
        std::abort();
    }
    return 0;
}
