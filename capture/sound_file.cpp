#include "capture/sound_file.h"

#include <fcntl.h>
#include <poll.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "capture/sound_file_rules.h"

namespace kinetra::capture {
namespace {

// Frames asked of libsndfile at once, times the channels: a chunk holds at most this many
// samples whatever the file's channel count.
constexpr std::size_t kChunkSamples = 65536;
// Frames the resampler writes at once.
constexpr std::size_t kResampledFrames = 16384;
// Bytes of a stream held per piece (pieces are never moved once filled).
constexpr std::size_t kStreamPieceBytes = std::size_t{1} << 20;

std::string Megabytes(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

std::string Seconds(int milliseconds) {
    return std::to_string(milliseconds / 1000) + " s";
}

// A sound held in memory as pieces of equal size (the last may be shorter), read by libsndfile
// through its virtual I/O.
struct MemorySound {
    std::vector<const std::uint8_t*> pieces;
    std::size_t pieceBytes = 1;
    sf_count_t size = 0;
    sf_count_t position = 0;
};

sf_count_t MemoryLength(void* user) {
    return static_cast<MemorySound*>(user)->size;
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
    auto* sound = static_cast<MemorySound*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = sound->position;
    if (whence == SEEK_END) base = sound->size;
    // Never before the start, and never so far past the end that the sum could overflow.
    if (offset < -base || offset > sound->size - base) return -1;
    sound->position = base + offset;
    return sound->position;
}

sf_count_t MemoryRead(void* destination, sf_count_t count, void* user) {
    auto* sound = static_cast<MemorySound*>(user);
    if (count <= 0 || sound->position >= sound->size) return 0;
    const sf_count_t wanted = std::min(count, sound->size - sound->position);
    auto* out = static_cast<std::uint8_t*>(destination);
    sf_count_t done = 0;
    while (done < wanted) {
        const auto at = static_cast<std::size_t>(sound->position);
        const std::size_t piece = at / sound->pieceBytes;
        const std::size_t within = at % sound->pieceBytes;
        const std::size_t n =
            std::min(static_cast<std::size_t>(wanted - done), sound->pieceBytes - within);
        std::memcpy(out + done, sound->pieces[piece] + within, n);
        done += static_cast<sf_count_t>(n);
        sound->position += static_cast<sf_count_t>(n);
    }
    return done;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t MemoryTell(void* user) {
    return static_cast<MemorySound*>(user)->position;
}

class SoundFileHandle {
public:
    explicit SoundFileHandle(SNDFILE* file) : m_file(file) {}
    ~SoundFileHandle() {
        if (m_file != nullptr) sf_close(m_file);
    }
    SoundFileHandle(const SoundFileHandle&) = delete;
    SoundFileHandle& operator=(const SoundFileHandle&) = delete;
    SNDFILE* Get() const { return m_file; }

private:
    SNDFILE* m_file;
};

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Collects decoded sound up to the limit.
class DecodedSound {
public:
    explicit DecodedSound(const SoundLimit& limit)
        : m_max(static_cast<std::size_t>(std::max<std::int64_t>(1, limit.maxFrames))),
          m_cut(limit.cut) {
        // Address space only: pages that are never written take no memory, so the limit (and no
        // header's claim) decides, and the sound never moves while it grows.
        m_samples.reserve(m_max);
    }

    // Appends n decoded frames converted to 16 bits. False when the limit is reached: Full()
    // then tells whether the sound was cut there (true) or is too long (false).
    bool Append(const float* mono, std::size_t n) {
        const std::size_t room = m_max - m_samples.size();
        const std::size_t taken = std::min(n, room);
        AppendConverted(mono, taken);
        if (taken == n) return true;
        m_tooLong = !m_cut;
        return false;
    }
    bool AppendShorts(const short* mono, std::size_t n) {
        const std::size_t room = m_max - m_samples.size();
        const std::size_t taken = std::min(n, room);
        m_samples.insert(m_samples.end(), mono, mono + taken);
        if (taken == n) return true;
        m_tooLong = !m_cut;
        return false;
    }

    bool TooLong() const { return m_tooLong; }
    std::vector<std::int16_t>& Samples() { return m_samples; }

private:
    void AppendConverted(const float* mono, std::size_t n) {
        const std::size_t old = m_samples.size();
        m_samples.resize(old + n);
        // libsamplerate's converter scales by 32768 and clips (NaN included) to 16 bits.
        if (n > 0) {
            src_float_to_short_array(mono, m_samples.data() + old, static_cast<int>(n));
        }
    }

    std::size_t m_max;
    bool m_cut;
    bool m_tooLong = false;
    std::vector<std::int16_t> m_samples;
};

// Reads 16-bit mono at the capture rate as it is: the same samples the float route gives,
// without its conversions. False when the limit stopped it.
bool DecodeShorts(SNDFILE* file, DecodedSound* out) {
    std::vector<short> chunk(kChunkSamples);
    for (;;) {
        const sf_count_t got =
            sf_readf_short(file, chunk.data(), static_cast<sf_count_t>(chunk.size()));
        if (got <= 0) return true;
        if (!out->AppendShorts(chunk.data(), static_cast<std::size_t>(got))) return false;
    }
}

// Any other sound: read as float in chunks, channels averaged, resampled as it streams. False
// with error set when resampling failed, false with error empty when the limit stopped it.
bool DecodeFloats(SNDFILE* file, const SF_INFO& info, const std::string& name, DecodedSound* out,
                  std::string* error) {
    const auto channels = static_cast<std::size_t>(info.channels);
    const std::size_t chunkFrames = std::max<std::size_t>(1, kChunkSamples / channels);
    std::vector<float> interleaved(chunkFrames * channels);
    std::vector<float> mono(chunkFrames);
    std::vector<float> resampled(kResampledFrames);
    const double ratio = ResampleRatio(info.samplerate);
    struct SrcDeleter {
        void operator()(SRC_STATE* state) const { src_delete(state); }
    };
    std::unique_ptr<SRC_STATE, SrcDeleter> resampler;
    if (info.samplerate != kSoundFileRate) {
        int rc = 0;
        resampler.reset(src_new(SRC_SINC_MEDIUM_QUALITY, 1, &rc));
        if (resampler == nullptr) {
            *error = "cannot resample sound file " + name + ": " + src_strerror(rc);
            return false;
        }
    }
    for (;;) {
        const sf_count_t got =
            sf_readf_float(file, interleaved.data(), static_cast<sf_count_t>(chunkFrames));
        const std::size_t frames = got > 0 ? static_cast<std::size_t>(got) : 0;
        for (std::size_t i = 0; i < frames; ++i) {
            double sum = 0.0;
            for (std::size_t c = 0; c < channels; ++c) sum += interleaved[i * channels + c];
            mono[i] = static_cast<float>(sum / static_cast<double>(channels));
        }
        const bool last = frames == 0;
        if (!resampler) {
            if (last) return true;
            if (!out->Append(mono.data(), frames)) return false;
            continue;
        }
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(frames);
        data.end_of_input = last ? 1 : 0;
        data.src_ratio = ratio;
        for (;;) {
            data.data_out = resampled.data();
            data.output_frames = static_cast<long>(resampled.size());
            const int rc = src_process(resampler.get(), &data);
            if (rc != 0) {
                *error = "cannot resample sound file " + name + ": " + src_strerror(rc);
                return false;
            }
            if (!out->Append(resampled.data(), static_cast<std::size_t>(data.output_frames_gen))) {
                return false;
            }
            data.data_in += data.input_frames_used;
            data.input_frames -= data.input_frames_used;
            // Fed: once the chunk is taken (and, at the end, once nothing more comes out).
            if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) break;
        }
        if (last) return true;
    }
}

// Decodes an opened sound into samples (untouched on failure).
bool DecodeOpened(SNDFILE* file, const SF_INFO& info, const std::string& name,
                  const SoundLimit& limit, std::vector<std::int16_t>* samples, std::string* error) {
    // libsamplerate converts at ratios from 1/256 to 256, which is what the check lets through.
    if (!CheckSoundFormat(name, info.channels, info.samplerate, error)) return false;
    DecodedSound out(limit);
    bool whole = true;
    if (info.channels == 1 && info.samplerate == kSoundFileRate &&
        (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
        whole = DecodeShorts(file, &out);
    } else {
        std::string problem;
        whole = DecodeFloats(file, info, name, &out, &problem);
        if (!problem.empty()) {
            *error = problem;
            return false;
        }
    }
    if (!whole && out.TooLong()) {
        *error = SoundTooLongError(name);
        return false;
    }
    if (out.Samples().empty()) {
        // A decoder error explains it; without one there is simply no sound after the headers.
        if (sf_error(file) != SF_ERR_NO_ERROR) {
            *error = "cannot decode sound file " + name + ": " + sf_strerror(file);
        } else {
            *error = NoSoundError(name);
        }
        return false;
    }
    samples->swap(out.Samples());
    return true;
}

bool DecodePieces(MemorySound sound, const std::string& name, const SoundLimit& limit,
                  std::vector<std::int16_t>* samples, std::string* error) {
    if (sound.size == 0) {
        *error = NoSoundError(name);
        return false;
    }
    SF_VIRTUAL_IO io{};
    io.get_filelen = &MemoryLength;
    io.seek = &MemorySeek;
    io.read = &MemoryRead;
    io.write = &MemoryWrite;
    io.tell = &MemoryTell;
    SF_INFO info{};
    SoundFileHandle file(sf_open_virtual(&io, SFM_READ, &info, &sound));
    if (file.Get() == nullptr) {
        *error = CannotReadSoundError(name, sf_strerror(nullptr));
        return false;
    }
    return DecodeOpened(file.Get(), info, name, limit, samples, error);
}

// A stream held in pieces that never move.
struct StreamBytes {
    std::vector<std::unique_ptr<std::uint8_t[]>> pieces;
    std::size_t size = 0;
};

// Reads fd (opened without blocking) to its end, waiting at most waitMs for each delivery.
bool ReadStream(int fd, const std::string& path, int waitMs, std::size_t maxBytes,
                StreamBytes* bytes, std::string* error) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd wanted{fd, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&wanted, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            *error = CannotReadSoundError(path, std::strerror(errno));
            return false;
        }
        if (ready == 0) {
            *error = CannotReadSoundError(
                path, bytes->size == 0
                          ? "nothing arrived within " + Seconds(waitMs)
                          : "nothing more arrived within " + Seconds(waitMs) + " before its end");
            return false;
        }
        if ((wanted.revents & POLLNVAL) != 0) {
            *error = CannotReadSoundError(path, "it cannot be waited for");
            return false;
        }
        if (bytes->size % kStreamPieceBytes == 0) {
            if (bytes->size >= maxBytes) {
                *error = CannotReadSoundError(path, "more than " + Megabytes(maxBytes) +
                                                        " arrived through it; save the sound "
                                                        "to a file first");
                return false;
            }
            bytes->pieces.push_back(std::make_unique<std::uint8_t[]>(kStreamPieceBytes));
        }
        const std::size_t within = bytes->size % kStreamPieceBytes;
        const ssize_t got =
            read(fd, bytes->pieces.back().get() + within, kStreamPieceBytes - within);
        if (got == 0) return true;  // the end: every writer has gone
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            *error = CannotReadSoundError(path, std::strerror(errno));
            return false;
        }
        bytes->size += static_cast<std::size_t>(got);
        deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    }
}

}  // namespace

bool DecodeSoundFile(const std::string& path, const SoundLimit& limit,
                     std::vector<std::int16_t>* samples, std::string* error) {
    // Opening without blocking: a FIFO with no writer would otherwise hold open() forever.
    Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        *error = CannotReadSoundError(path, std::strerror(errno));
        return false;
    }
    struct stat status {};
    if (fstat(fd.Get(), &status) != 0) {
        *error = CannotReadSoundError(path, std::strerror(errno));
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        *error = SoundFolderError(path);
        return false;
    }
    if (S_ISREG(status.st_mode)) {
        // By name, so that libsndfile may also go by the file's extension.
        SF_INFO info{};
        SoundFileHandle file(sf_open(path.c_str(), SFM_READ, &info));
        if (file.Get() == nullptr) {
            *error = CannotReadSoundError(path, sf_strerror(nullptr));
            return false;
        }
        return DecodeOpened(file.Get(), info, path, limit, samples, error);
    }
    // A pipe, FIFO or device: read to its end with a deadline, then decoded from memory.
    StreamBytes bytes;
    if (!ReadStream(fd.Get(), path, kSoundInputWaitMs, kMaxSoundStreamBytes, &bytes, error)) {
        return false;
    }
    MemorySound sound;
    for (const auto& piece : bytes.pieces) sound.pieces.push_back(piece.get());
    sound.pieceBytes = kStreamPieceBytes;
    sound.size = static_cast<sf_count_t>(bytes.size);
    return DecodePieces(std::move(sound), path, limit, samples, error);
}

bool DecodeSoundBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                      const SoundLimit& limit, std::vector<std::int16_t>* samples,
                      std::string* error) {
    MemorySound sound;
    sound.pieces.push_back(data);
    sound.pieceBytes = std::max<std::size_t>(1, size);
    sound.size = static_cast<sf_count_t>(size);
    return DecodePieces(std::move(sound), name, limit, samples, error);
}

}  // namespace kinetra::capture
