#include "capture/sound_file_rules.h"

#include "capture/sound_file.h"

namespace kinetra::capture {

double ResampleRatio(std::int64_t rate) {
    return static_cast<double>(kSoundFileRate) / static_cast<double>(rate);
}

bool CheckSoundFormat(const std::string& name, std::int64_t channels, std::int64_t rate,
                      std::string* error) {
    if (channels <= 0 || rate <= 0) {
        *error = NoSoundError(name);
        return false;
    }
    const double ratio = ResampleRatio(rate);
    if (ratio > kMaxResampleRatio || ratio < 1.0 / kMaxResampleRatio) {
        *error = "sound file " + name + " has a sample rate that cannot be used (" +
                 std::to_string(rate) + " Hz)";
        return false;
    }
    return true;
}

std::string CannotReadSoundError(const std::string& name, const std::string& reason) {
    return "cannot read sound file " + name + ": " + reason;
}

std::string SoundFolderError(const std::string& name) {
    return CannotReadSoundError(name, "it is a folder");
}

std::string NoSoundError(const std::string& name) {
    return "sound file " + name + " holds no sound";
}

std::string SoundTooLongError(const std::string& name) {
    return "sound file " + name + " is longer than 20 minutes";
}

// The same on every system: the default limit.
bool DecodeSoundFile(const std::string& path, std::vector<std::int16_t>* samples,
                     std::string* error) {
    return DecodeSoundFile(path, SoundLimit{}, samples, error);
}

}  // namespace kinetra::capture
