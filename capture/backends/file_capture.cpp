// A sound file as the audio input: decoded once to 16-bit mono at 44100 Hz and written into the
// ring by a feeder thread at the pace a capture device would, looping at the end of the file.
#include <samplerate.h>
#include <sndfile.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "capture/audio_input.h"
#include "capture/backends/backend_table.h"
#include "capture/backends/ring_capture_buffer.h"

namespace kinetra::capture {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFeedFrames = 256;  // about 5.8 ms per write

class SoundFile {
public:
    explicit SoundFile(const std::string& path) {
        m_file = sf_open(path.c_str(), SFM_READ, &m_info);
    }
    ~SoundFile() {
        if (m_file != nullptr) sf_close(m_file);
    }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
    SNDFILE* Get() const { return m_file; }
    const SF_INFO& Info() const { return m_info; }

private:
    SF_INFO m_info{};
    SNDFILE* m_file = nullptr;
};

class FileCaptureBuffer final : public RingCaptureBuffer {
public:
    FileCaptureBuffer(std::uint32_t bytes, std::shared_ptr<const std::vector<std::int16_t>> samples)
        : RingCaptureBuffer(bytes), m_samples(std::move(samples)) {}
    ~FileCaptureBuffer() override { Stop(); }

    Result Start(bool) override {
        std::lock_guard<std::mutex> lock(m_control);
        if (m_feeder.joinable()) return kOk;
        m_stop = false;
        m_running.store(true);
        try {
            m_feeder = std::thread(&FileCaptureBuffer::Feed, this);
        } catch (const std::system_error&) {
            m_running.store(false);
            return kFail;
        }
        return kOk;
    }

    Result Stop() override {
        std::thread feeder;
        {
            std::lock_guard<std::mutex> lock(m_control);
            m_stop = true;
            feeder = std::move(m_feeder);
        }
        m_wake.notify_all();
        if (feeder.joinable()) feeder.join();
        m_running.store(false);
        return kOk;
    }

private:
    void Feed() {
        using Clock = std::chrono::steady_clock;
        const std::vector<std::int16_t>& samples = *m_samples;
        const Clock::time_point start = Clock::now();
        std::uint64_t produced = 0;
        std::size_t position = 0;
        std::int16_t chunk[kFeedFrames];
        for (;;) {
            const auto due = start + std::chrono::nanoseconds(produced * 1000000000ull / kRate);
            {
                std::unique_lock<std::mutex> lock(m_control);
                if (m_wake.wait_until(lock, due, [this] { return m_stop; })) return;
            }
            for (std::uint32_t i = 0; i < kFeedFrames; ++i) {
                chunk[i] = samples[position];
                if (++position == samples.size()) position = 0;
            }
            Produce(reinterpret_cast<const std::uint8_t*>(chunk), sizeof chunk);
            produced += kFeedFrames;
        }
    }

    std::shared_ptr<const std::vector<std::int16_t>> m_samples;
    std::mutex m_control;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_feeder;
};

class FileCaptureDevice final : public ICaptureDevice {
public:
    explicit FileCaptureDevice(std::shared_ptr<const std::vector<std::int16_t>> samples)
        : m_samples(std::move(samples)) {}

    Result CreateCaptureBuffer(const WaveFormat& format, std::uint32_t bufferBytes,
                               std::unique_ptr<ICaptureBuffer>* buffer) override {
        if (buffer == nullptr) return kInvalidArg;
        if (format.wFormatTag != kWaveFormatPcm || format.nSamplesPerSec != kRate ||
            format.wBitsPerSample != 16 || format.nChannels != 1 || format.nBlockAlign != 2) {
            return kBadFormat;  // the file is delivered as 44100 Hz 16-bit mono only
        }
        if (bufferBytes == 0 || bufferBytes % 2 != 0) return kInvalidArg;
        auto created = std::make_unique<FileCaptureBuffer>(bufferBytes, m_samples);
        if (!created->IsValid()) return kOutOfMemory;
        *buffer = std::move(created);
        return kOk;
    }

private:
    std::shared_ptr<const std::vector<std::int16_t>> m_samples;
};

}  // namespace

bool DecodeSoundFile(const std::string& path, std::vector<std::int16_t>* samples,
                     std::string* error) {
    SoundFile file(path);
    if (file.Get() == nullptr) {
        *error = "cannot read sound file " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const SF_INFO& info = file.Info();
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames <= 0) {
        *error = "sound file " + path + " holds no sound";
        return false;
    }
    if (info.frames > kMaxSoundFileSeconds * info.samplerate) {
        *error = "sound file " + path + " is longer than 20 minutes";
        return false;
    }
    // 16-bit mono at the capture rate is read as it is: the same samples the float route below
    // gives, without its copies.
    if (info.channels == 1 && info.samplerate == static_cast<int>(kRate) &&
        (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
        samples->assign(static_cast<std::size_t>(info.frames), 0);
        const sf_count_t got = sf_readf_short(file.Get(), samples->data(), info.frames);
        if (got <= 0) {
            *error = "cannot decode sound file " + path + ": " + sf_strerror(file.Get());
            samples->clear();
            return false;
        }
        samples->resize(static_cast<std::size_t>(got));
        return true;
    }
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * channels);
    const sf_count_t got = sf_readf_float(file.Get(), interleaved.data(), info.frames);
    if (got <= 0) {
        *error = "cannot decode sound file " + path + ": " + sf_strerror(file.Get());
        return false;
    }
    std::vector<float> mono(static_cast<std::size_t>(got));
    for (std::size_t i = 0; i < mono.size(); ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < channels; ++c) sum += interleaved[i * channels + c];
        mono[i] = static_cast<float>(sum / static_cast<double>(channels));
    }
    interleaved.clear();
    interleaved.shrink_to_fit();

    if (info.samplerate != static_cast<int>(kRate)) {
        const double ratio = static_cast<double>(kRate) / info.samplerate;
        std::vector<float> resampled(static_cast<std::size_t>(mono.size() * ratio) + 64);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(mono.size());
        data.data_out = resampled.data();
        data.output_frames = static_cast<long>(resampled.size());
        data.src_ratio = ratio;
        const int rc = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
        if (rc != 0) {
            *error = "cannot resample sound file " + path + ": " + src_strerror(rc);
            return false;
        }
        resampled.resize(static_cast<std::size_t>(data.output_frames_gen));
        mono.swap(resampled);
    }
    if (mono.empty()) {
        *error = "sound file " + path + " holds no sound";
        return false;
    }
    samples->assign(mono.size(), 0);
    src_float_to_short_array(mono.data(), samples->data(), static_cast<int>(mono.size()));
    return true;
}

Result OpenFileCaptureDevice(const std::string& path, std::unique_ptr<ICaptureDevice>* device) {
    auto samples = std::make_shared<std::vector<std::int16_t>>();
    std::string error;
    if (!DecodeSoundFile(path, samples.get(), &error)) {
        ReportAudioInputProblem(error);
        return kNoDriver;
    }
    *device = std::make_unique<FileCaptureDevice>(std::move(samples));
    return kOk;
}

namespace {

bool ServesFile(const AudioInputChoice& choice) {
    return choice.kind == AudioInputKind::kFile;
}

Result OpenFile(const AudioInputChoice& choice, bool, std::unique_ptr<ICaptureDevice>* device) {
    return OpenFileCaptureDevice(choice.value, device);
}

}  // namespace

extern const CaptureBackend kFileCaptureBackend{"file", ServesFile, OpenFile, nullptr};

}  // namespace kinetra::capture
