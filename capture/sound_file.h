// Sound files decoded to the capture format: 16-bit mono at 44100 Hz (channels averaged, other
// rates resampled). No length a file's header claims is trusted: the sound is decoded in chunks,
// what was decoded is kept, and the length limit counts decoded sound. Inputs that are not
// regular files (pipes, FIFOs, character devices, /dev/stdin) are read into memory with a
// deadline, so that one with no writer, or one that stops delivering, cannot hang the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kinetra::capture {

// Rate of the decoded sound, in frames per second.
inline constexpr std::int64_t kSoundFileRate = 44100;
// Longest sound accepted, in seconds of decoded sound at kSoundFileRate.
inline constexpr std::int64_t kMaxSoundFileSeconds = 20 * 60;
// How long an input that is not a regular file may stay silent (before its first byte and
// between later ones) before it is refused.
inline constexpr int kSoundInputWaitMs = 5000;
// Most bytes read from an input that is not a regular file (it is held in memory while it is
// decoded): enough for 12 minutes of CD-quality stereo WAV, and for hours of FLAC or Ogg.
inline constexpr std::size_t kMaxSoundStreamBytes = std::size_t{128} << 20;

// How much decoded sound a caller takes.
struct SoundLimit {
    // Most decoded frames at kSoundFileRate.
    std::int64_t maxFrames = kMaxSoundFileSeconds * kSoundFileRate;
    // false: a longer sound is refused ("longer than 20 minutes"); true: its first maxFrames are
    // kept and the rest is not decoded.
    bool cut = false;
};

// Frames of decoded sound in that many seconds at kSoundFileRate. Thread: any.
constexpr std::int64_t SoundFramesForSeconds(std::int64_t seconds) {
    return seconds * kSoundFileRate;
}

// Decodes a WAV, FLAC or Ogg file (or any format libsndfile reads) at path to 16-bit mono at
// 44100 Hz, refusing sounds longer than 20 minutes. False with a one-line reason in error (which
// names path) when the input cannot be used; samples is then left as it was.
// Thread: any; allocates as needed; blocks at most kSoundInputWaitMs per silence of a stream.
bool DecodeSoundFile(const std::string& path, std::vector<std::int16_t>* samples,
                     std::string* error);
// The same with a limit of the caller's.
bool DecodeSoundFile(const std::string& path, const SoundLimit& limit,
                     std::vector<std::int16_t>* samples, std::string* error);

// Decodes a sound file held in memory (name is only for the messages). Thread: any.
bool DecodeSoundBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                      const SoundLimit& limit, std::vector<std::int16_t>* samples,
                      std::string* error);

}  // namespace kinetra::capture
