// What every system's sound-file decoder agrees on, whatever decodes the sound: which rates can be
// resampled to kSoundFileRate, and the texts of the refusals (each names the file).
#pragma once

#include <cstdint>
#include <string>

namespace kinetra::capture {

// A rate is used when it is within this factor of kSoundFileRate, either way.
inline constexpr double kMaxResampleRatio = 256.0;

// Decoded frames per frame of a sound at rate (rate > 0). Thread: any.
double ResampleRatio(std::int64_t rate);

// Refuses a sound that has no channels or no rate ("holds no sound"), or a rate too far from
// kSoundFileRate: false with the reason in error. Thread: any.
bool CheckSoundFormat(const std::string& name, std::int64_t channels, std::int64_t rate,
                      std::string* error);

// "cannot read sound file NAME: REASON". Thread: any.
std::string CannotReadSoundError(const std::string& name, const std::string& reason);
// "cannot read sound file NAME: it is a folder".
std::string SoundFolderError(const std::string& name);
// "sound file NAME holds no sound".
std::string NoSoundError(const std::string& name);
// "sound file NAME is longer than 20 minutes": more sound than the limit takes.
std::string SoundTooLongError(const std::string& name);

}  // namespace kinetra::capture
