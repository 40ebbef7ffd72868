// Sound files on Windows: WAV alone, read by this small decoder (RIFF "fmt " and "data" chunks;
// 8-, 16-, 24- and 32-bit integer PCM, 32- and 64-bit float, WAVE_FORMAT_EXTENSIBLE holding
// either; any channel count, averaged; any rate within 256 times of 44100 Hz, resampled by
// linear interpolation). The limits and the error texts are those of every decoder
// (sound_file_rules.h).
#include "capture/sound_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "capture/sound_file_rules.h"

namespace kinetra::capture {

namespace {

// What libsndfile says of a file it cannot read, so that both systems say the same.
constexpr const char* kNotWav = "Format not recognised.";
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint32_t Le(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

struct WavFormat {
    std::uint16_t tag = 0;
    std::uint32_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t bits = 0;
};

// One frame's channels averaged, -1..1.
double FrameValue(const std::uint8_t* frame, const WavFormat& format) {
    const std::uint32_t bytes = format.bits / 8;
    double sum = 0.0;
    for (std::uint32_t c = 0; c < format.channels; ++c) {
        const std::uint8_t* p = frame + c * bytes;
        double v = 0.0;
        if (format.tag == kFormatFloat) {
            if (bytes == 4) {
                float f;
                std::memcpy(&f, p, 4);
                v = f;
            } else {
                double d;
                std::memcpy(&d, p, 8);
                v = d;
            }
        } else if (bytes == 1) {
            v = (static_cast<int>(p[0]) - 128) / 128.0;
        } else {
            // Sign-extended from the top byte, scaled to -1..1.
            const std::uint32_t raw = Le(p, static_cast<int>(bytes)) << (32 - 8 * bytes);
            v = static_cast<std::int32_t>(raw) / 2147483648.0;
        }
        sum += std::isfinite(v) ? v : 0.0;
    }
    return sum / format.channels;
}

std::int16_t ToSample(double v) {
    // 16-bit input comes back unchanged: the scale is that of the reading above.
    return static_cast<std::int16_t>(std::clamp(std::round(v * 32768.0), -32768.0, 32767.0));
}

}  // namespace

bool DecodeSoundFile(const std::string& path, const SoundLimit& limit,
                     std::vector<std::int16_t>* samples, std::string* error) {
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        *error = SoundFolderError(path);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = CannotReadSoundError(path, std::strerror(errno ? errno : ENOENT));
        return false;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    return DecodeSoundBytes(bytes.data(), bytes.size(), path, limit, samples, error);
}

bool DecodeSoundBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                      const SoundLimit& limit, std::vector<std::int16_t>* samples,
                      std::string* error) {
    if (size == 0) {
        *error = NoSoundError(name);
        return false;
    }
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
        *error = CannotReadSoundError(name, kNotWav);
        return false;
    }
    WavFormat format;
    const std::uint8_t* sound = nullptr;
    std::size_t soundBytes = 0;
    for (std::size_t at = 12; at + 8 <= size;) {
        const std::uint8_t* chunk = data + at;
        const std::size_t length = std::min<std::size_t>(Le(chunk + 4, 4), size - at - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16) {
            format.tag = static_cast<std::uint16_t>(Le(chunk + 8, 2));
            format.channels = Le(chunk + 10, 2);
            format.rate = Le(chunk + 12, 4);
            format.bits = Le(chunk + 22, 2);
            // The extensible form names its sample format in its subformat's first two bytes.
            if (format.tag == kFormatExtensible && length >= 40) {
                format.tag = static_cast<std::uint16_t>(Le(chunk + 32, 2));
            }
        } else if (std::memcmp(chunk, "data", 4) == 0 && format.tag != 0) {
            sound = chunk + 8;
            soundBytes = length;
            break;
        }
        at += 8 + length + (length & 1);
    }
    const bool pcm = format.tag == kFormatPcm && (format.bits == 8 || format.bits == 16 ||
                                                  format.bits == 24 || format.bits == 32);
    const bool floats = format.tag == kFormatFloat && (format.bits == 32 || format.bits == 64);
    if (format.tag == 0 || (!pcm && !floats)) {
        *error = CannotReadSoundError(name, kNotWav);
        return false;
    }
    if (sound == nullptr) {
        *error = NoSoundError(name);
        return false;
    }
    if (!CheckSoundFormat(name, format.channels, format.rate, error)) return false;
    const double ratio = ResampleRatio(format.rate);
    const std::size_t frameBytes = format.channels * (format.bits / 8);
    const std::size_t frames = soundBytes / frameBytes;
    // Decoded frames at 44100 Hz: output frame j sits at input position j / ratio.
    std::int64_t outFrames =
        frames == 0 ? 0 : static_cast<std::int64_t>(std::floor((frames - 1) * ratio)) + 1;
    if (outFrames > limit.maxFrames) {
        if (!limit.cut) {
            *error = SoundTooLongError(name);
            return false;
        }
        outFrames = limit.maxFrames;
    }
    if (outFrames <= 0) {
        *error = NoSoundError(name);
        return false;
    }
    std::vector<std::int16_t> out(static_cast<std::size_t>(outFrames));
    for (std::int64_t j = 0; j < outFrames; ++j) {
        const double position = j / ratio;
        const std::size_t i = std::min(static_cast<std::size_t>(position), frames - 1);
        const double fraction = position - static_cast<double>(i);
        double v = FrameValue(sound + i * frameBytes, format);
        if (fraction > 0.0 && i + 1 < frames) {
            v += (FrameValue(sound + (i + 1) * frameBytes, format) - v) * fraction;
        }
        out[static_cast<std::size_t>(j)] = ToSample(v);
    }
    samples->swap(out);
    return true;
}

}  // namespace kinetra::capture
